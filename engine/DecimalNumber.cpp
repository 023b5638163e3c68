#include "DecimalNumber.h"

#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

namespace morvane {

namespace {

// Up to this length a number is assembled on the stack.
constexpr std::size_t kShortNumber = 64;
// The largest double less a little: only above it can printing with 16
// digits round a value out of range.
constexpr double kNearLargest = 1.797693134862315e308;

using decimal_detail::IsDigit;

// The workbook library writes a number with 16 significant digits (the
// Linux build through printf's "%.16G"), so the largest doubles come out as
// a text beyond any double, which readers refuse or take for infinity.
bool PrintsWithinRange(double value)
{
    if (std::fabs(value) < kNearLargest)
        return true;
    char printed[32];
    const auto written = std::to_chars(printed, printed + sizeof printed, value, std::chars_format::scientific, 15);
    double back = 0;
    const auto read = std::from_chars(printed, written.ptr, back);
    return written.ec == std::errc() && read.ec == std::errc() && std::isfinite(back);
}

// The shape by hand, into `text` (room for the whole cell): from_chars
// would also take "inf", "nan" and hexadecimal forms, and knows no decimal
// comma.
bool ReadNumberInto(std::string_view cell, char* text, double& value)
{
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
    // Beyond what a double holds (1e999) there is no number to show.
    if (error != std::errc() || end != text + n || !std::isfinite(result) || !PrintsWithinRange(result))
        return false;
    value = result;
    return true;
}

bool ReadShortDecimal(std::string_view cell, double& value)
{
    bool read = false;
    double scanned = 0;
    const char* const end = cell.data() + cell.size();
    if (ScanShortDecimal(cell.data(), end, scanned, read) != end || !read)
        return false;
    value = scanned;
    return true;
}

} // namespace

bool ReadDecimalNumber(std::string_view cell, double& value)
{
    // Blanks around a number are padding, as a spreadsheet takes them.
    const std::size_t first = cell.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return false;
    cell = cell.substr(first, cell.find_last_not_of(' ') + 1 - first);
    if (ReadShortDecimal(cell, value))
        return true;
    if (cell.size() <= kShortNumber) {
        char text[kShortNumber];
        return ReadNumberInto(cell, text, value);
    }
    // A cell of leading zeros, say: assembled in a string of its own.
    std::string text(cell.size(), '\0');
    return ReadNumberInto(cell, text.data(), value);
}

} // namespace morvane
