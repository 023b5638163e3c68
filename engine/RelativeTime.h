#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "TRelativeTimeState.h"

namespace morvane {

// "relTime", the separator, one blank.
std::string RelativeTimeHeaderCell(const std::string& relativeTimeSeparator);

// Whole seconds since the run's first data line, then the separator. Records
// the start time on the first call of a run. Raises EConvertError when the
// line's first eight bytes are no time of day.
//
// Without acrossMidnight the count is the distance between the two clock
// times within one day. With it, a line whose clock is more than 12 hours
// earlier than the previous line's begins the next day, and the count is the
// distance from the start time on the first day, without bound.
std::string RelativeTimeCell(const std::string& line, TRelativeTimeState& state,
                             const std::string& relativeTimeSeparator, bool acrossMidnight = false);

// As RelativeTimeCell, but appends the cell to `out`, so a caller that reuses
// one output buffer per line allocates nothing here. On an error `out` and
// `state` are left as they were.
void AppendRelativeTimeCell(std::string& out, std::string_view line, TRelativeTimeState& state,
                            std::string_view relativeTimeSeparator, bool acrossMidnight = false);

// Whole seconds between two times of day, without direction, within one day.
std::int64_t WholeSecondsApart(double a, double b);

// Whole seconds between two millisecond counts, without direction: a part
// second left over is dropped, never rounded. Every count of the column,
// however it was reached, comes from here.
constexpr std::int64_t WholeSecondsBetween(std::int64_t a, std::int64_t b)
{
    return (a >= b ? a - b : b - a) / 1000;
}

// Where a data line's clock (milliseconds of the day) stands in the run:
// records the start time on the run's first data line and, counting past
// midnight, moves on a day when the clock is more than 12 hours behind the
// previous line's. The result counts milliseconds from midnight before the
// start; without acrossMidnight it is the clock itself.
std::int64_t MillisecondsIntoRun(TRelativeTimeState& state, std::int32_t milliseconds, bool acrossMidnight);

// The milliseconds of the day a time of day stands for. Exact for every value
// the clock parser gives (a whole millisecond count over a day's), so that
// WholeSecondsApart(a, b) is the distance of these counts in whole seconds;
// defined for any other value.
std::int64_t MillisecondsOfTimeOfDay(double timeOfDay);

// The time of day of a millisecond count, as the clock parser makes it.
double TimeOfDayOfMilliseconds(std::int32_t milliseconds);

} // namespace morvane
