#pragma once

#include <string>
#include <string_view>

namespace morvane {

// A text cell's Windows-1252 bytes as the UTF-8 a workbook holds. Characters
// XML 1.0 cannot carry (the control characters other than tab and line
// feed, and the carriage return, which XML readers turn into a line feed)
// are written as _xHHHH_, and an underscore that would start such a form is
// itself written as _x005F_, so that every reader gets back the bytes.
std::string WorkbookText(std::string_view windows1252);

} // namespace morvane
