#pragma once

#include <cstdint>
#include <string>

#include "TRelativeTimeState.h"

namespace morvane {

// "relTime", the separator, one blank.
std::string RelativeTimeHeaderCell(const std::string& relativeTimeSeparator);

// Whole seconds since the run's first data line, then the separator. Records
// the start time on the first call of a run. Raises EConvertError when the
// line's first eight bytes are no time of day.
std::string RelativeTimeCell(const std::string& line, TRelativeTimeState& state,
                             const std::string& relativeTimeSeparator);

// Whole seconds between two times of day, without direction, within one day.
std::int64_t WholeSecondsApart(double a, double b);

} // namespace morvane
