#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace morvane {

// Whether the whole text is a decimal number as a spreadsheet cell takes it:
// blanks around it, an optional sign, digits with one "." or "," as the
// decimal mark, an optional exponent; no grouping, nothing like "inf" or
// "0x1p3", and nothing the workbook's 16-digit printing would push beyond
// the largest double.
// `value` is set only when it is. The workbook types its cells by the same
// rule, so that what the look window plots is what a worksheet holds.
bool ReadDecimalNumber(std::string_view text, double& value);

namespace decimal_detail {
// A mantissa below 2^53 and a power of ten up to 1e15 are both exact
// doubles, so one division of them is the correctly rounded value, the one
// a full conversion gives, at a fraction of its cost.
inline constexpr double kPowersOfTen[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                          1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
inline constexpr std::size_t kExactDigits = 15;

inline bool IsDigit(char c)
{
    return static_cast<unsigned char>(c - '0') < 10;
}

// `count` (1 to 8) digits, 0 to 9 a byte, the first in the lowest byte,
// as one number: moved to the top of the word, the first highest, then
// joined in pairs, fours and eights.
[[gnu::always_inline]] inline std::uint64_t JoinDigits(std::uint64_t packed, unsigned count)
{
    std::uint64_t v = packed << (64 - 8 * count);
    v = v * 10 + (v >> 8);
    return ((v & 0x0000'00ff'0000'00ffull) * (100 + (1'000'000ull << 32)) +
            ((v >> 16) & 0x0000'00ff'0000'00ffull) * (1 + (10'000ull << 32))) >> 32;
}
} // namespace decimal_detail

// The common short form, [-+]digits[.,digits] with at most 15 digits, read
// from `p` up to the first byte that does not continue it, which it
// returns. `read` tells whether there was such a form there (then `value`
// holds it); a caller that finds the text ends at the returned byte has
// what ReadDecimalNumber would give, and otherwise asks it. A caller for
// which "," ends the text asks for "." alone as the decimal mark.
inline const char* ScanShortDecimal(const char* p, const char* end, double& value, bool& read,
                                    bool commaIsMark = true)
{
    using namespace decimal_detail;
    const bool negative = p != end && *p == '-';
    if (p != end && (*p == '-' || *p == '+'))
        ++p;
    std::uint64_t mantissa = 0;
    const char* const digits = p;
    for (; p != end && IsDigit(*p); ++p)
        mantissa = mantissa * 10 + static_cast<std::uint64_t>(*p - '0');
    const auto whole = static_cast<std::size_t>(p - digits);
    std::size_t fraction = 0;
    if (p != end && (*p == '.' || (*p == ',' && commaIsMark))) {
        const char* const first = ++p;
        for (; p != end && IsDigit(*p); ++p)
            mantissa = mantissa * 10 + static_cast<std::uint64_t>(*p - '0');
        fraction = static_cast<std::size_t>(p - first);
    }
    // Past 15 digits the mantissa may be no exact double (or have wrapped).
    read = whole + fraction != 0 && whole + fraction <= kExactDigits;
    if (read) {
        const double magnitude = static_cast<double>(mantissa) / kPowersOfTen[fraction];
        value = negative ? -magnitude : magnitude;
    }
    return p;
}

// ScanShortDecimal's form read from the eight bytes at `p` at once, for a
// caller that may read all eight (those past `end` too, whatever they
// hold): a sign, then at most seven digits and mark, ended by `end` or by a
// byte within the word that does not continue them. Returns that end, with
// `value` as ScanShortDecimal sets it; nullptr where the word does not
// settle it (no digit, a longer form) and ScanShortDecimal must.
[[gnu::always_inline]] inline const char* ScanShortDecimalWord(const char* p, const char* end, double& value)
{
    using namespace decimal_detail;
    if constexpr (std::endian::native != std::endian::little)
        return nullptr;
    constexpr std::uint64_t kLanes = 0x0101'0101'0101'0101ull;
    std::uint64_t word;
    std::memcpy(&word, p, sizeof word);
    // Nothing past the end: a NUL stops the form there.
    if (const auto n = static_cast<std::size_t>(end - p); n < sizeof word)
        word &= (std::uint64_t{1} << 8 * n) - 1;
    const auto first = static_cast<unsigned char>(word);
    const bool negative = first == '-';
    const std::size_t sign = negative || first == '+';
    // Past a sign only seven bytes are known; the eighth, made a digit,
    // refuses a form that would reach it.
    if (sign != 0)
        word = word >> 8 | std::uint64_t{'0'} << 56;
    // Digits become 0 to 9; any other byte gets its lane's high bit.
    const std::uint64_t digits = word ^ '0' * kLanes;
    const std::uint64_t other = (((digits & 0x7f * kLanes) + 0x76 * kLanes) | digits) & 0x80 * kLanes;
    if (other == 0)
        return nullptr;
    const auto whole = static_cast<unsigned>(std::countr_zero(other)) / 8;
    const auto at = static_cast<unsigned char>(word >> 8 * whole);
    unsigned fraction = 0;
    unsigned stop = whole;
    std::uint64_t packed = digits;
    if (at == '.' || at == ',') {
        const std::uint64_t after = whole < 7 ? other >> 8 * (whole + 1) : 0;
        if (after == 0)
            return nullptr;
        fraction = static_cast<unsigned>(std::countr_zero(after)) / 8;
        stop = whole + 1 + fraction;
        // The fraction's digits moved down over the mark.
        const std::uint64_t below = (std::uint64_t{1} << 8 * whole) - 1;
        packed = (digits & below) | (digits >> 8 & ~below);
    }
    const unsigned count = whole + fraction;
    if (count == 0)
        return nullptr;
    const double magnitude = static_cast<double>(JoinDigits(packed, count)) / kPowersOfTen[fraction];
    value = negative ? -magnitude : magnitude;
    return p + sign + stop;
}

} // namespace morvane
