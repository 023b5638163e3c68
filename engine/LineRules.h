#pragma once

#include <cstddef>
#include <cstdint>

namespace morvane {

// The bytes the line rules give a meaning, and each rule in one place:
// every way a line is taken asks here.
constexpr unsigned char kLF = 10;
constexpr unsigned char kCR = 13;
constexpr unsigned char kCtrlZ = 26;

// A CR ends its line only with its LF right behind it; a lone CR is
// dropped. Asked with the byte behind the CR, or with `left` bytes from the
// CR on: a CR on the last of them cannot yet tell.
inline bool CrHasItsLf(unsigned char behind)
{
    return behind == kLF;
}
inline bool CrHasItsLf(const unsigned char* cr, std::size_t left)
{
    return left >= 2 && CrHasItsLf(cr[1]);
}

// The same rule over the bits of 64 bytes, one bit per byte, the first
// lowest: the CRs without their LF right behind them. The byte behind the
// last is not among the bits, so a CR on the last bit is left out: whoever
// knows that byte asks CrHasItsLf or carries the bit on.
inline std::uint64_t LoneCrBits(std::uint64_t cr, std::uint64_t lf)
{
    return cr & ~(lf >> 1) & ~(std::uint64_t{1} << 63);
}

// The bytes a line break at `at` takes, LF or CR LF; 0 where none starts
// there (a lone CR, a Ctrl-Z, a text byte, or a CR whose next byte is not
// known yet).
inline std::size_t BreakLength(const unsigned char* at, std::size_t left)
{
    if (left == 0)
        return 0;
    if (at[0] == kLF)
        return 1;
    return at[0] == kCR && CrHasItsLf(at, left) ? 2 : 0;
}

// Where the text of a line that starts at `from` ends, its LF standing at
// `lf`: one CR right in front of the LF belongs to the break.
inline std::size_t TextEnd(const unsigned char* base, std::size_t from, std::size_t lf)
{
    return lf > from && base[lf - 1] == kCR ? lf - 1 : lf;
}

// What a Ctrl-Z does where it stands. Where a line starts, or at the start
// of a chunk of the file, it ends the input there; anywhere else it cuts its
// line: the rest up to the LF is dropped, unless another Ctrl-Z comes first,
// which then stands where a line starts.
enum class TCtrlZ { EndsInput, CutsLine };
inline TCtrlZ CtrlZAt(std::int64_t offset, bool atLineStart, std::int64_t chunk)
{
    return atLineStart || offset % chunk == 0 ? TCtrlZ::EndsInput : TCtrlZ::CutsLine;
}

} // namespace morvane
