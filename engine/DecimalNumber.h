#pragma once

#include <string_view>

namespace morvane {

// Whether the whole text is a decimal number as a spreadsheet cell takes it:
// blanks around it, an optional sign, digits with one "." or "," as the
// decimal mark, an optional exponent; no grouping, nothing like "inf" or
// "0x1p3", and nothing the workbook's 16-digit printing would push beyond
// the largest double.
// `value` is set only when it is. The workbook types its cells by the same
// rule, so that what the look window plots is what a worksheet holds.
bool ReadDecimalNumber(std::string_view text, double& value);

} // namespace morvane
