#pragma once

#include <string>

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

} // namespace morvane
