#include "RelativeTime.h"

#include <charconv>
#include <cmath>

#include "EConvertError.h"
#include "TimeOfDay.h"

namespace morvane {

namespace {

// Only the first eight bytes of a data line hold its clock time.
constexpr std::size_t ClockTextLength = 8;

constexpr double MillisecondsPerDay = 86'400'000.0;
constexpr std::int64_t kMillisecondsPerDay = 86'400'000;
// A clock this much earlier than the line before it is taken for the next
// day rather than for a step back in time.
constexpr std::int64_t kLongestStepBack = kMillisecondsPerDay / 2;

// A time of day is a whole millisecond count divided by a day's milliseconds;
// rounding (not truncating) the product undoes that division exactly, where
// multiplying the difference of two such fractions by 86 400 and truncating
// comes out a second short for many exact whole-second distances.
std::int64_t MillisecondsOf(double timeOfDay)
{
    // Anything that cannot be a time of day of a real line still gives a
    // defined count instead of an out-of-range conversion.
    constexpr double limit = 1e15;
    const double scaled = timeOfDay * MillisecondsPerDay;
    if (std::isnan(scaled))
        return 0;
    if (scaled >= limit)
        return static_cast<std::int64_t>(limit);
    if (scaled <= -limit)
        return -static_cast<std::int64_t>(limit);
    return static_cast<std::int64_t>(std::llround(scaled));
}

} // namespace

std::string RelativeTimeHeaderCell(const std::string& relativeTimeSeparator)
{
    std::string cell;
    cell.reserve(8 + relativeTimeSeparator.size());
    cell += "relTime";
    cell += relativeTimeSeparator;
    cell += ' ';
    return cell;
}

std::int64_t WholeSecondsApart(double a, double b)
{
    const std::int64_t ma = MillisecondsOf(a);
    const std::int64_t mb = MillisecondsOf(b);
    const std::int64_t distance = ma >= mb ? ma - mb : mb - ma;
    return distance / 1000;
}

std::int64_t MillisecondsOfTimeOfDay(double timeOfDay)
{
    return MillisecondsOf(timeOfDay);
}

double TimeOfDayOfMilliseconds(std::int32_t milliseconds)
{
    return static_cast<double>(milliseconds) / MillisecondsPerDay;
}

void AppendRelativeTimeCell(std::string& out, std::string_view line, TRelativeTimeState& state,
                            std::string_view relativeTimeSeparator, bool acrossMidnight)
{
    const std::string_view clockText = line.substr(0, ClockTextLength);
    std::int32_t milliseconds = 0;
    if (!TryMillisecondOfDayFromBytes(clockText, milliseconds))
        throw EConvertError(InvalidTimeMessage(clockText));

    if (!state.StartTimeKnown) {
        state.StartTime = TimeOfDayOfMilliseconds(milliseconds);
        state.StartTimeKnown = true;
        state.PreviousMilliseconds = milliseconds;
        state.Day = 0;
    }

    // The parsed time's own count stands in for recovering it from its time
    // of day, which gives it back exactly.
    const std::int64_t start = MillisecondsOf(state.StartTime);
    std::int64_t at = milliseconds;
    if (acrossMidnight) {
        if (state.PreviousMilliseconds - at > kLongestStepBack)
            ++state.Day;
        state.PreviousMilliseconds = milliseconds;
        at += state.Day * kMillisecondsPerDay;
    }
    const std::int64_t distance = at >= start ? at - start : start - at;
    char digits[24];
    const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, distance / 1000);
    (void)ec; // 24 bytes hold any 64-bit integer
    out.append(digits, end);
    out += relativeTimeSeparator;
}

std::string RelativeTimeCell(const std::string& line, TRelativeTimeState& state,
                             const std::string& relativeTimeSeparator, bool acrossMidnight)
{
    std::string cell;
    AppendRelativeTimeCell(cell, line, state, relativeTimeSeparator, acrossMidnight);
    return cell;
}

} // namespace morvane
