#pragma once

#include <vector>

namespace morvane {

struct TRGBColor {
    unsigned char red = 0;
    unsigned char green = 0;
    unsigned char blue = 0;

    friend bool operator==(const TRGBColor&, const TRGBColor&) = default;
};

using TColorTable = std::vector<TRGBColor>;

} // namespace morvane
