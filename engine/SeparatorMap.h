#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "TSeparatorOccurrence.h"

namespace morvane {

// Exact byte comparison: no case folding, no locale.
bool IsSeparator(char byte, std::string_view separatorSet);

// Every separator of the template, left to right.
std::vector<TSeparatorOccurrence> FindSeparators(std::string_view templateLine,
                                                 std::string_view separatorSet);

// Replaces separator occurrence i by the first character of entry i; empty
// entries and occurrences beyond the list keep their separator. The result
// always has the length of the line.
std::string MapLine(std::string_view line, std::string_view separatorSet,
                    const std::vector<std::string>& replacements);

} // namespace morvane
