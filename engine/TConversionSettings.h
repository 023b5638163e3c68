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
    // The relative time counts on past midnight: a data line whose clock is
    // more than 12 hours earlier than the previous data line's begins the
    // next day. Off, every count is a distance within one day.
    bool AcrossMidnight = false;
    // Used for occurrences beyond the end of a replacement list (a line with
    // more separators than its template). Empty keeps them as they are, which
    // is what the window wants; the batch converter's --to fills it.
    std::string ReplacementBeyondList;
};

} // namespace morvane
