#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace morvane {

// An extension block that is kept for the image that follows it: a graphic
// control block or a comment.
struct TGIFExtension {
    enum class Kind { GraphicControl, Comment };

    Kind kind = Kind::GraphicControl;
    // Graphic control fields.
    std::uint8_t packed = 0;
    std::uint16_t delay = 0; // hundredths of a second
    std::uint8_t transparentIndex = 0;
    // Comment text split into lines.
    std::vector<std::string> lines;
};

} // namespace morvane
