// Feeds arbitrary bytes to the clock-time scanner under two sets of regional
// values and checks that the raising and the non-raising entry points agree,
// that every accepted text is a time of the day which reads back the same,
// and that the relative time column never runs out of its range.
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "EConvertError.h"
#include "RelativeTime.h"
#include "TLocaleTimeSettings.h"
#include "TimeOfDay.h"

namespace {

using namespace morvane;

[[noreturn]] void Fail() { std::abort(); }

void Check(bool condition)
{
    if (!condition)
        Fail();
}

void Use(char clock, char fraction, const char* am, const char* pm)
{
    TLocaleTimeSettings& s = LocaleTimeSettings();
    s.ClockSeparator = clock;
    s.FractionSeparator = fraction;
    s.AmMark = am;
    s.PmMark = pm;
}

// Writes a millisecond count back in the current regional separators.
std::string Written(std::int32_t ms)
{
    const TLocaleTimeSettings& s = LocaleTimeSettings();
    char buffer[32];
    char* p = buffer;
    const auto put = [&](int value) { p = std::to_chars(p, buffer + sizeof buffer, value).ptr; };
    put(ms / 3'600'000);
    *p++ = s.ClockSeparator;
    put(ms / 60'000 % 60);
    *p++ = s.ClockSeparator;
    put(ms / 1000 % 60);
    *p++ = s.FractionSeparator;
    put(ms % 1000);
    return std::string(buffer, p);
}

void CheckOneText(const std::string& text)
{
    double tried = -1.0;
    const bool ok = TryTimeOfDayFromText(text, tried);
    std::int32_t ms = -1;
    Check(TryMillisecondOfDayFromBytes(text, ms) == ok);
    try {
        const double raised = TimeOfDayFromText(text);
        Check(ok);
        Check(raised == tried);
    } catch (const EConvertError& e) {
        Check(!ok);
        Check(e.Message() == "'" + text + "' is not a valid time");
    }
    if (!ok)
        return;

    Check(ms >= 0 && ms < 86'400'000);
    Check(tried >= 0.0 && tried < 1.0);
    Check(tried == static_cast<double>(ms) / 86'400'000.0);
    // Blanks are skipped before a separator test, so a blank separator can
    // never be read back; every other one must be.
    if (LocaleTimeSettings().ClockSeparator != ' ' && LocaleTimeSettings().FractionSeparator != ' ') {
        std::int32_t again = -1;
        Check(TryMillisecondOfDayFromBytes(Written(ms), again) && again == ms);
    }

    // Against midnight and against the last millisecond of the day the
    // column is the plain whole-second count of the distance.
    Check(WholeSecondsApart(tried, 0.0) == ms / 1000);
    Check(WholeSecondsApart(86'399'999 / 86'400'000.0, tried) == (86'399'999 - ms) / 1000);
}

void CheckColumn(const std::string& line)
{
    TRelativeTimeState state;
    std::string cell;
    try {
        cell = RelativeTimeCell(line, state, ";");
    } catch (const EConvertError&) {
        Check(!state.StartTimeKnown);
        return;
    }
    Check(state.StartTimeKnown && cell == "0;");
    // A second line that is the first one's bytes shifted by one: any count
    // must be a plain decimal within the day.
    TRelativeTimeState copy = state;
    try {
        cell = RelativeTimeCell(line.size() > 1 ? line.substr(1) : line, copy, "");
    } catch (const EConvertError&) {
        return;
    }
    long value = -1;
    const auto [end, ec] = std::from_chars(cell.data(), cell.data() + cell.size(), value);
    Check(ec == std::errc() && end == cell.data() + cell.size());
    Check(value >= 0 && value <= 86'399);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);

    Use(':', '.', "am", "pm");
    CheckOneText(text);
    CheckColumn(text);

    Use('.', ',', "", "");
    CheckOneText(text);

    // A designator longer than most inputs, and separators that are also
    // the blank, so the skipping and the separator test meet.
    Use(' ', ':', "vorm.", "nachm.");
    CheckOneText(text);
    return 0;
}
