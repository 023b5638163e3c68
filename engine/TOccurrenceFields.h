#pragma once

#include <string_view>

namespace morvane {

// One separator occurrence of a line with the fields on either side of it:
// occurrence k (from 0) ends field k and begins field k + 1, a field running
// from just after the previous occurrence (or the line's start) to just
// before the next one (or the line's end). The views point into the line.
struct TOccurrenceFields {
    char Separator = 0;
    std::string_view Before;
    std::string_view After;
};

} // namespace morvane
