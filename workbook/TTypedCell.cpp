#include "TTypedCell.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "TimeOfDay.h"

namespace morvane {

namespace {

// Longer texts are no number anyone typed; they stay text.
constexpr std::size_t kLongestNumber = 64;
constexpr std::int32_t kMillisecondsPerDay = 86'400'000;

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

} // namespace

bool TTypedCell::ReadNumber(std::string_view cell, double& value)
{
    if (cell.empty() || cell.size() > kLongestNumber)
        return false;
    // The shape first, by hand: from_chars would also take "inf", "nan" and
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
    // Beyond what a double holds (1e999) there is no number to show.
    if (error != std::errc() || end != text + n || !std::isfinite(result))
        return false;
    value = result;
    return true;
}

TTypedCell TTypedCell::Of(std::string_view cell)
{
    TTypedCell typed;
    if (cell.empty())
        return typed;
    if (ReadNumber(cell, typed.Value)) {
        typed.Kind = TKind::Number;
        return typed;
    }
    std::int32_t milliseconds = 0;
    if (TryMillisecondOfDayFromBytes(cell, milliseconds)) {
        typed.Kind = TKind::Time;
        typed.Value = static_cast<double>(milliseconds) / kMillisecondsPerDay;
        typed.HasMilliseconds = milliseconds % 1000 != 0;
        return typed;
    }
    typed.Kind = TKind::Text;
    return typed;
}

std::string TTypedCell::Describe(std::string_view cell)
{
    switch (Of(cell).Kind) {
    case TKind::Empty:
        return "[empty]";
    case TKind::Number:
        return "[number " + std::string(cell) + "]";
    case TKind::Time:
        return "[time " + std::string(cell) + "]";
    case TKind::Text:
        break;
    }
    return "[text \"" + std::string(cell) + "\"]";
}

std::string TTypedCell::DescribeLine(std::string_view line, char separator, bool header)
{
    std::string out;
    for (std::size_t from = 0;;) {
        const std::size_t end = std::min(line.find(separator, from), line.size());
        const std::string_view cell = line.substr(from, end - from);
        if (!out.empty())
            out += ' ';
        out += header && !cell.empty() ? "[text \"" + std::string(cell) + "\"]" : Describe(cell);
        if (end == line.size())
            return out;
        from = end + 1;
    }
}

} // namespace morvane
