#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "LineRules.h"
#include "VectorBytes.h"

namespace morvane {

// How the bytes of a line span end.
enum class TLineKind : unsigned char {
    Line,    // in its break, LF or CR LF
    Special, // at a byte only the general way takes: a lone CR or a Ctrl-Z
    Cut,     // at the end of the bytes, or at a CR on their last byte whose
             // LF may come with the next bytes
};

// One line's place among the bytes a TLineScanner was given: its text and
// what stands behind it.
struct TLineSpan {
    std::size_t Begin = 0; // from the start of the bytes
    std::size_t Text = 0;  // the text's length, without the break
    std::size_t Break = 0; // the break's length for a Line (1 or 2), else 0
    TLineKind Kind = TLineKind::Cut;

    std::size_t TextEnd() const { return Begin + Text; }
    // One past the break: where the next line starts.
    std::size_t End() const { return Begin + Text + Break; }
};

// The lines of some bytes that start a line, one span at a time: the one
// place where the line controls' bits become lines. The bytes are looked at
// kScanBlock at a time; a CR on a block's last byte is carried to the next
// block, whose first bit tells whether its LF came.
template <typename V>
class TLineScanner {
public:
    // `blocks` outlives the scanner: a caller that scans often keeps one.
    TLineScanner(const TBlockScanner<V>& blocks, const unsigned char* bytes, std::size_t n)
        : blocks_(blocks), bytes_(bytes), n_(n)
    {
        Load(0);
    }

    // The line that starts where the one before ended; a span that is no
    // Line is the last a caller asks for.
    [[gnu::always_inline]] TLineSpan Next()
    {
        while (ends_ == 0) {
            if (stop_ != kNone)
                return {from_, stop_ - from_, 0, TLineKind::Special};
            if (n_ - block_ <= kScanBlock)
                return {from_, n_ - from_ - crOut_, 0, TLineKind::Cut};
            Load(block_ + kScanBlock);
        }
        const auto bit = static_cast<unsigned>(__builtin_ctzll(ends_));
        ends_ &= ends_ - 1;
        const std::size_t lf = block_ + bit;
        // The CR right in front of the LF belongs to the break.
        const auto cr = static_cast<std::size_t>(crBefore_ >> bit & 1);
        const TLineSpan span{from_, lf - cr - from_, 1 + cr, TLineKind::Line};
        from_ = lf + 1;
        return span;
    }

    // The line at `line` of a caller that looks at its bytes a vector at a
    // time, storing each as it goes, and so cannot wait for whole blocks:
    // the first line control among them, at `control`, ends it or stops
    // it. Only the byte behind that control is looked at; `left` bytes
    // from the line's start are known.
    [[gnu::always_inline]] static TLineSpan AtFirstControl(const unsigned char* line, std::size_t control,
                                                           std::size_t left)
    {
        const std::size_t breakLength = BreakLength(line + control, left - control);
        if (breakLength != 0)
            return {0, control, breakLength, TLineKind::Line};
        // A CR on the last byte known waits for the byte behind it.
        const bool waits = line[control] == kCR && left - control == 1;
        return {0, control, 0, waits ? TLineKind::Cut : TLineKind::Special};
    }

    // Passes, before the first span is asked for, over the whole blocks
    // that hold no line control at all: the long middle of a long line,
    // looked at more cheaply than line by line.
    void SkipPlainBlocks()
    {
        if (ends_ != 0 || stop_ != kNone || crOut_ != 0 || n_ - block_ <= kScanBlock)
            return;
        std::size_t at = block_ + kScanBlock;
        while (n_ - at > kScanBlock && !blocks_.AnyControl(bytes_ + at))
            at += kScanBlock;
        if (at < n_)
            Load(at);
    }

private:
    static constexpr std::size_t kNone = ~std::size_t{0};

    // The block at `at`: its LFs up to the first byte only the general way
    // takes, which is where the lines stop.
    void Load(std::size_t at)
    {
        block_ = at;
        const std::size_t left = n_ - at;
        TBlockBits bits;
        if (left >= kScanBlock) {
            bits = blocks_.Scan(bytes_ + at);
        } else {
            // The last bytes, padded with bytes that are no line control
            // (and none at all for no bytes, which may lie nowhere).
            unsigned char last[kScanBlock] = {};
            if (left != 0)
                std::memcpy(last, bytes_ + at, left);
            bits = blocks_.Scan(last);
        }
        const std::uint64_t crIn = crOut_;
        if (crIn != 0 && (bits.Lf & 1) == 0) {
            // The block before's last CR had no LF behind it.
            ends_ = 0;
            stop_ = at - 1;
            return;
        }
        std::uint64_t stop = bits.CtrlZ | LoneCrBits(bits.Cr, bits.Lf);
        // A CR on the last byte known waits for the byte behind it.
        const unsigned last = left >= kScanBlock ? 63 : static_cast<unsigned>(left - 1);
        crOut_ = left == 0 ? 0 : static_cast<std::size_t>(bits.Cr >> last & 1);
        if (left < kScanBlock && left != 0)
            stop &= ~(std::uint64_t{crOut_} << last);
        crBefore_ = bits.Cr << 1 | crIn;
        if (stop == 0) {
            ends_ = bits.Lf;
            stop_ = kNone;
        } else {
            ends_ = bits.Lf & ((stop & (0 - stop)) - 1);
            stop_ = at + static_cast<std::size_t>(__builtin_ctzll(stop));
        }
    }

    const TBlockScanner<V>& blocks_;
    const unsigned char* const bytes_;
    const std::size_t n_;
    std::size_t from_ = 0;    // where the next line starts
    std::size_t block_ = 0;   // where the block at hand starts
    std::uint64_t ends_ = 0;  // its LFs not yet handed out, before stop_
    std::uint64_t crBefore_ = 0; // its bytes with a CR right in front
    std::size_t stop_ = kNone; // the first byte only the general way takes
    std::size_t crOut_ = 0;   // a CR on the block's last byte
};

} // namespace morvane
