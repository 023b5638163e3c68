#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace morvane {

// What one cell of a data line becomes in a worksheet, decided by its whole
// text: a decimal number ("1.5", "1,5", "-2.25", "1e3", " 5"; no grouping),
// a time of day of at least hours and minutes as the regional settings read
// it ("12:00:00.5" is half a second past noon), nothing for an empty cell,
// and text for anything else.
struct TTypedCell {
    enum class TKind { Empty, Number, Time, Text };

    TKind Kind = TKind::Empty;
    // The number, or the time as a fraction of a day.
    double Value = 0;
    // A time with a part of a second, shown with milliseconds.
    bool HasMilliseconds = false;

    static TTypedCell Of(std::string_view cell);
    // Whether the whole text is such a number; `value` is set when it is.
    static bool ReadNumber(std::string_view cell, double& value);

    // "[number 1.5]", "[time 12:00:01]", "[text "ok"]" or "[empty]", with
    // the cell's own text, for a reader checking how a line will be typed.
    static std::string Describe(std::string_view cell);
    // Every cell of a line cut at `separator`, described and joined by
    // blanks; a header line's cells are all text.
    static std::string DescribeLine(std::string_view line, char separator, bool header);
};

} // namespace morvane
