#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace morvane {

// Parses a clock text by the regional settings into a fraction of a day.
// Raises EConvertError "'<text>' is not a valid time" on any failure.
double TimeOfDayFromText(const std::string& text);

// Same grammar without the error; `result` is meaningless on false.
bool TryTimeOfDayFromText(const std::string& text, double& result);

// The same scanner on a borrowed range of bytes, so callers that cut a clock
// text out of a longer line need not copy it. Named apart from the string
// overload so that a literal argument stays unambiguous.
bool TryTimeOfDayFromBytes(std::string_view text, double& result);

// Milliseconds since midnight (0 to 86 399 999) of a clock text; false when
// the text is no time of day. The fraction of a day is derived from this.
bool TryMillisecondOfDayFromBytes(std::string_view text, std::int32_t& milliseconds);

// The message of the error raised for a text that is no time of day; built
// only when a parse has failed.
std::string InvalidTimeMessage(std::string_view text);

} // namespace morvane
