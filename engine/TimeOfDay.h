#pragma once

#include <string>

namespace morvane {

// Parses a clock text by the regional settings into a fraction of a day.
// Raises EConvertError "'<text>' is not a valid time" on any failure.
double TimeOfDayFromText(const std::string& text);

// Same grammar without the error; `result` is meaningless on false.
bool TryTimeOfDayFromText(const std::string& text, double& result);

} // namespace morvane
