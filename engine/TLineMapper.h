#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace morvane {

// A separator map prepared once per run: the separator set as a 256-entry
// table and the replacement list reduced to one byte per occurrence, so that
// mapping a line costs one table look-up per byte and no allocation.
class TLineMapper {
public:
    TLineMapper(std::string_view separatorSet, const std::vector<std::string>& replacements,
                std::string_view replacementBeyondList = {});

    bool IsSeparator(unsigned char byte) const { return separator_[byte] != 0; }

    // Writes the mapped form of the n bytes at src to dst (which may be src).
    void MapInto(const char* src, std::size_t n, char* dst) const;

    // MapInto for a piece of a line whose pieces before held `occurrence`
    // separators; what the pieces so far hold, as far as the list counts.
    std::size_t MapPiece(const char* src, std::size_t n, char* dst, std::size_t occurrence) const;

    std::string Map(std::string_view line) const;

    // The number of separator occurrences among the n bytes at `text`.
    std::size_t CountSeparators(const char* text, std::size_t n) const;
    // The same for `count` >= 1 lines lying one after another from `text`,
    // the i-th ending in its LF at lf[i] (less one CR right before it), in
    // one pass over their bytes. Where `bits` is given (room for
    // SeparatorBitWords(lf[count - 1] + 1) words), the pass also leaves
    // there which of the bytes are separators, a bit each from the lowest,
    // and says true; it says false where it counts each line on its own
    // (too many separators to compare at once, or CR or LF among them).
    bool CountSeparatorsOfLines(const unsigned char* text, const std::uint32_t* lf, std::size_t count,
                                std::uint32_t* counts, std::uint64_t* bits = nullptr) const;
    // Words for the bits of n bytes and one behind them, so that 64 bits
    // from any of the bytes can be read (those past the n bytes hold anything).
    static std::size_t SeparatorBitWords(std::size_t n) { return n / 64 + 2; }

    // True when a separator maps alike wherever it stands on its line (the
    // list is empty), so that a run of many lines maps as one piece.
    bool MapsEveryOccurrenceAlike() const { return replacement_.empty(); }
    // True when MapRun would change nothing.
    bool LeavesRunsAlone() const { return replacement_.empty() && runIsIdentity_; }
    // Writes the n bytes at `from`, whole lines with their CR LF or LF
    // breaks or one line's text, mapped to `to` (which is `from` or does not
    // overlap it); only for a mapper that maps every occurrence alike. The
    // break bytes stay as they are even when they are in the separator set,
    // since no line holds them.
    void MapRun(const unsigned char* from, unsigned char* to, std::size_t n) const;
    // What MapRun does, for a caller with a kernel of its own: each of the
    // RunByteCount() bytes at RunBytes() turns into RunReplacement().
    std::size_t RunByteCount() const { return runSize_; }
    const unsigned char* RunBytes() const { return runBytes_.data(); }
    unsigned char RunReplacement() const { return beyondByte_; }

private:
    static constexpr short kKeep = -1;
    // The kernels, one per vector width.
    template <typename V>
    struct TMapInto;
    template <typename V>
    struct TCountSeparators;
    template <typename V>
    struct TCountSeparatorsOfLines;

    std::array<unsigned char, 256> separator_{};
    // The distinct separator bytes, for comparing 16 bytes at a time when
    // there are few of them.
    std::array<unsigned char, 256> setBytes_{};
    std::size_t setSize_ = 0;
    unsigned char beyondByte_ = 0;
    // What every byte becomes once the list is used up: separators turn into
    // the replacement beyond the list (or stay), other bytes stay.
    std::array<unsigned char, 256> beyondTable_{};
    bool beyondIsIdentity_ = true;
    // The same for runs of whole lines, whose LF and CR bytes stay.
    std::array<unsigned char, 256> runTable_{};
    std::array<unsigned char, 256> runBytes_{};
    std::size_t runSize_ = 0;
    bool runIsIdentity_ = true;
    std::vector<short> replacement_;
};

} // namespace morvane
