#pragma once

#include <cstddef>

namespace morvane {

// One separator found in a template line.
struct TSeparatorOccurrence {
    std::size_t Position = 0; // counted from 1
    char Character = 0;
};

} // namespace morvane
