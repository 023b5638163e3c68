#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>

#include "TLineScanner.h"

namespace morvane {

// The whole plain lines at the start of some buffered bytes, up to the
// first byte the line rules treat specially, as TLineScanner gives them:
// each line's span, its text without the break, and how the search ended.
// The passes over the read buffer that look at many lines at once (the
// check, the look window's scan) take their lines from here.
struct TLineBatch {
    // Enough to make the passes over them cheap, few enough that they are
    // still in the cache for the last.
    static constexpr std::size_t kMaxLines = 256;

    // Fills the batch from the n bytes at `bytes`, which start a line, with
    // at most kMaxLines of their lines. Offsets are kept in 32 bits: of more
    // bytes than that, the first lines are found.
    void Find(const unsigned char* bytes, std::size_t n);
    // Find at vector width V, for a caller already built for it.
    template <typename V>
    void FindAt(const unsigned char* bytes, std::size_t n)
    {
        Base = bytes;
        MetSpecial = false;
        const TBlockScanner<V> blocks;
        TLineScanner<V> scanner(blocks, bytes, n < 0xffff'ffffu ? n : 0xffff'ffffu);
        std::size_t count = 0;
        for (; count < kMaxLines; ++count) {
            const TLineSpan span = scanner.Next();
            if (span.Kind != TLineKind::Line) {
                MetSpecial = span.Kind == TLineKind::Special;
                break;
            }
            Lf[count] = static_cast<std::uint32_t>(span.End() - 1);
            TextEnds[count] = static_cast<std::uint32_t>(span.TextEnd());
        }
        Count = count;
    }

    std::size_t Begin(std::size_t i) const { return i == 0 ? 0 : std::size_t{Lf[i - 1]} + 1; }
    // One past the line's LF: what consuming it takes.
    std::size_t End(std::size_t i) const
    {
        assert(i < Count && "a batch's line past its count");
        return std::size_t{Lf[i]} + 1;
    }
    const unsigned char* Text(std::size_t i) const { return Base + Begin(i); }
    std::size_t TextLength(std::size_t i) const { return TextEnds[i] - Begin(i); }
    // Bytes from line i's start through line j's LF (i <= j).
    std::size_t Span(std::size_t i, std::size_t j) const { return End(j) - Begin(i); }

    const unsigned char* Base = nullptr;
    std::size_t Count = 0;
    // The search stopped at a byte the general way must take; else at the
    // end of the bytes (a line cut there) or after kMaxLines.
    bool MetSpecial = false;
    std::uint32_t Lf[kMaxLines];
    std::uint32_t TextEnds[kMaxLines];
};

} // namespace morvane
