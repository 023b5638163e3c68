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
    return WholeSecondsBetween(MillisecondsOf(a), MillisecondsOf(b));
}

std::int64_t MillisecondsIntoRun(TRelativeTimeState& state, std::int32_t milliseconds, bool acrossMidnight)
{
    if (!state.StartTimeKnown) {
        state.StartTime = TimeOfDayOfMilliseconds(milliseconds);
        state.StartTimeKnown = true;
        state.PreviousMilliseconds = milliseconds;
        state.Day = 0;
    }
    if (!acrossMidnight)
        return milliseconds;
    if (state.PreviousMilliseconds - milliseconds > kLongestStepBack)
        ++state.Day;
    state.PreviousMilliseconds = milliseconds;
    return milliseconds + state.Day * kMillisecondsPerDay;
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

    // The parsed time's own count stands in for recovering it from its time
    // of day, which gives it back exactly.
    const std::int64_t at = MillisecondsIntoRun(state, milliseconds, acrossMidnight);
    const std::int64_t seconds = WholeSecondsBetween(at, MillisecondsOf(state.StartTime));
    char digits[24];
    const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, seconds);
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
