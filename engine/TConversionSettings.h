#pragma once

#include <string>
#include <vector>

namespace morvane {

// What a conversion run needs to know besides the two paths; filled by the
// caller when the run starts and only read by the run.
struct TConversionSettings {
    // A byte is a separator when it occurs anywhere in this text.
    std::string SeparatorSet = ",";
    // Entry i replaces separator occurrence i of the header line (first
    // character only; an empty entry keeps the separator).
    std::vector<std::string> HeaderReplacements;
    // Likewise for every data line.
    std::vector<std::string> DataReplacements;
    bool RelativeTime = false;
    std::string RelativeTimeSeparator = ";";
    // Used for occurrences beyond the end of a replacement list (a line with
    // more separators than its template). Empty keeps them as they are, which
    // is what the window wants; the batch converter's --to fills it.
    std::string ReplacementBeyondList;
};

} // namespace morvane
