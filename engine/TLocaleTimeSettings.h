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

// Refills LocaleTimeSettings() from the C library's current LC_TIME /
// LC_NUMERIC locale; never fails, unreadable items take their defaults.
void LoadLocaleTimeSettings();

// The literal text between the hour and the minute field of a strftime-style
// time format (%T, %R and %r written out first, %r through the current
// locale's 12-hour format). False when the format has no hour field directly
// followed by a minute field, so the separator cannot be read from it.
bool ClockSeparatorOfFormat(std::string_view format, std::string& separator);

} // namespace morvane
