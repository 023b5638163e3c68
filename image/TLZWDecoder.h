#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace morvane {

class TIndexedBitmap;

// Decodes one frame's encoded data (the minimum code size byte followed by
// length-prefixed sub-blocks) into an indexed bitmap. Broken data is never an
// error here: the rows decoded so far stay and the result says "corrupted".
class TLZWDecoder {
public:
    TLZWDecoder() = default;
    TLZWDecoder(const TLZWDecoder&) = delete;
    TLZWDecoder& operator=(const TLZWDecoder&) = delete;

    // Returns true when the data was found corrupted.
    bool Decode(std::span<const unsigned char> encoded, int bitsPerPixel, bool interlaced,
                TIndexedBitmap& bitmap);

    static constexpr int kTableSize = 4096;
    static constexpr int kMaxChainSteps = 4096;

private:
    std::array<std::uint16_t, kTableSize> prefix_{};
    std::array<std::uint8_t, kTableSize> suffix_{};
    std::array<std::uint8_t, kMaxChainSteps + 1> stack_{};
};

} // namespace morvane
