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
// dropped. `left` bytes from the CR on are known: a CR on the last of them
// cannot yet tell.
inline bool CrHasItsLf(const unsigned char* cr, std::size_t left)
{
    return left >= 2 && cr[1] == kLF;
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

// A Ctrl-Z at the start of a chunk of the file ends the input where it
// stands; anywhere else it cuts its line.
inline bool CtrlZEndsInput(std::int64_t offset, std::int64_t chunk)
{
    return offset % chunk == 0;
}

} // namespace morvane
