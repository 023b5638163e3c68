#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "TOccurrenceFields.h"
#include "TSeparatorOccurrence.h"

namespace morvane {

// Exact byte comparison: no case folding, no locale.
bool IsSeparator(char byte, std::string_view separatorSet);

// Every separator of the template, left to right.
std::vector<TSeparatorOccurrence> FindSeparators(std::string_view templateLine,
                                                 std::string_view separatorSet);

// How many separator occurrences the line holds.
std::size_t CountSeparators(std::string_view line, std::string_view separatorSet);

// The first `limit` separator occurrences of the line, each with the fields
// on either side, in one pass. Tells a user which field a separator divides.
std::vector<TOccurrenceFields> OccurrenceFields(std::string_view line, std::string_view separatorSet,
                                                std::size_t limit);

// Replaces separator occurrence i by the first character of entry i; empty
// entries and occurrences beyond the list keep their separator. The result
// always has the length of the line.
std::string MapLine(std::string_view line, std::string_view separatorSet,
                    const std::vector<std::string>& replacements);

} // namespace morvane
