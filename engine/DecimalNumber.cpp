#include "DecimalNumber.h"

#include <charconv>
#include <cmath>
#include <cstddef>

namespace morvane {

namespace {

// Longer texts are no number anyone typed.
constexpr std::size_t kLongestNumber = 64;

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

} // namespace

bool ReadDecimalNumber(std::string_view cell, double& value)
{
    if (cell.empty() || cell.size() > kLongestNumber)
        return false;
    // The shape by hand: from_chars would also take "inf", "nan" and
    // hexadecimal forms, and knows no decimal comma.
    char text[kLongestNumber];
    std::size_t n = 0;
    std::size_t i = 0;
    if (cell[i] == '+' || cell[i] == '-') {
        if (cell[i] == '-')
            text[n++] = '-';
        ++i;
    }
    std::size_t digits = 0;
    for (; i < cell.size() && IsDigit(cell[i]); ++i, ++digits)
        text[n++] = cell[i];
    if (i < cell.size() && (cell[i] == '.' || cell[i] == ',')) {
        text[n++] = '.';
        for (++i; i < cell.size() && IsDigit(cell[i]); ++i, ++digits)
            text[n++] = cell[i];
    }
    if (digits == 0)
        return false;
    if (i < cell.size() && (cell[i] == 'e' || cell[i] == 'E')) {
        text[n++] = 'e';
        ++i;
        if (i < cell.size() && (cell[i] == '+' || cell[i] == '-'))
            text[n++] = cell[i++];
        std::size_t exponentDigits = 0;
        for (; i < cell.size() && IsDigit(cell[i]); ++i, ++exponentDigits)
            text[n++] = cell[i];
        if (exponentDigits == 0)
            return false;
    }
    if (i != cell.size())
        return false;
    double result = 0;
    const auto [end, error] = std::from_chars(text, text + n, result);
    if (error != std::errc() || end != text + n || !std::isfinite(result))
        return false;
    value = result;
    return true;
}

} // namespace morvane
