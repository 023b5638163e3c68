#pragma once

#include <vector>

namespace morvane {

// The window's logo as a stored picture property: one length byte and the
// class name "TGIFImage", a 4-byte little-endian length, then the GIF.
const std::vector<unsigned char>& LogoPictureProperty();

} // namespace morvane
