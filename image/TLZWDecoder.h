#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <span>

namespace morvane {

class TIndexedBitmap;

// Why decoding a frame's data stopped. Every outcome but Complete marks the
// frame corrupted; none is an error, and the rows decoded so far stay.
enum class TLZWOutcome {
    Complete,     // an end code, or every row of the bitmap written
    NoData,       // not even the code size byte
    ShortData,    // the codes ran out before the end code and the last row
    BadCodeSize,  // a code size outside 2..9: only pixels after clears are kept
    BadCode,      // a table code with no previous string to extend
    ChainTooLong, // a string longer than the table can hold
    PixelLimit,   // the image's pixel allowance was spent
};

// Decodes one frame's encoded data (the minimum code size byte followed by
// length-prefixed sub-blocks) into an indexed bitmap.
class TLZWDecoder {
public:
    TLZWDecoder() = default;
    TLZWDecoder(const TLZWDecoder&) = delete;
    TLZWDecoder& operator=(const TLZWDecoder&) = delete;

    TLZWOutcome Decode(std::span<const unsigned char> encoded, int bitsPerPixel, bool interlaced,
                       TIndexedBitmap& bitmap);

    // At most this many pixels are written by later calls to Decode; the
    // first pixel past it ends decoding with PixelLimit.
    void SetPixelLimit(std::uint64_t pixels) { pixelLimit_ = pixels; }
    // Pixels written by the last call to Decode.
    std::uint64_t PixelsWritten() const { return pixelsWritten_; }

    // The outcome's name as written in code, for reports.
    static const char* OutcomeName(TLZWOutcome outcome);

    static constexpr int kTableSize = 4096;
    static constexpr int kMaxChainSteps = 4096;

private:
    class PixelWriter;
    TLZWOutcome DecodeCodes(std::span<const unsigned char> encoded, int bitsPerPixel, PixelWriter& out);

    std::array<std::uint16_t, kTableSize> prefix_{};
    std::array<std::uint8_t, kTableSize> suffix_{};
    std::array<std::uint8_t, kMaxChainSteps + 1> stack_{};
    std::uint64_t pixelLimit_ = std::numeric_limits<std::uint64_t>::max();
    std::uint64_t pixelsWritten_ = 0;
};

} // namespace morvane
