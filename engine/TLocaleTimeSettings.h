#pragma once

#include <string>
#include <string_view>

namespace morvane {

// The regional values the time parser follows. One record per process; only
// LoadLocaleTimeSettings writes it.
struct TLocaleTimeSettings {
    char ClockSeparator = ':';
    char FractionSeparator = '.';
    std::string AmMark = "am";
    std::string PmMark = "pm";
};

// The process-wide record the parser reads.
TLocaleTimeSettings& LocaleTimeSettings();

// Refills LocaleTimeSettings() from the user's regional settings on Windows,
// elsewhere from the C library's current LC_TIME /
// LC_NUMERIC locale; never fails, unreadable items take their defaults.
void LoadLocaleTimeSettings();

// The raw regional items as the C library gives them (nl_langinfo's T_FMT,
// T_FMT_AMPM, RADIXCHAR, AM_STR, PM_STR); a null pointer is an item that
// could not be read. Kept apart from their reading so that every rule of
// their interpretation can be tried without a locale that has the values.
struct TLocaleTimeItems {
    const char* TimeFormat = nullptr;
    const char* TwelveHourTimeFormat = nullptr;
    const char* RadixCharacter = nullptr;
    const char* AmDesignator = nullptr;
    const char* PmDesignator = nullptr;
};

// The record the items give: a character item longer than one byte, or one
// that cannot be read, takes the default; an empty character item becomes
// NUL, which never matches; an empty designator stays empty.
TLocaleTimeSettings LocaleTimeSettingsFromItems(const TLocaleTimeItems& items);

// The literal text between the hour and the minute field of a strftime-style
// time format, with %T, %R and %r written out first (%r as
// `twelveHourFormat`). False when no hour field is directly followed by a
// minute field, so the separator cannot be read from the format.
bool ClockSeparatorOfFormat(std::string_view format, std::string_view twelveHourFormat,
                            std::string& separator);

} // namespace morvane
