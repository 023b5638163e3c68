#pragma once

namespace morvane {

// The texts of the GIF reader's errors, as the user sees them.
inline constexpr const char* kUnknownGIFVersion = "Unknown GIF version";
inline constexpr const char* kUnrecognizedExtension = "Unrecognized extension block: %.2x";
inline constexpr const char* kStreamReadError = "Stream read error";
inline constexpr const char* kWrongNumberOfColors = "Wrong number of colors; must be a power of 2";

} // namespace morvane
