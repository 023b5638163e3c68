#pragma once

#include <cstddef>
#include <cstdint>
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

} // namespace morvane
