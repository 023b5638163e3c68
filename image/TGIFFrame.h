#pragma once

#include "TGIFExtension.h"
#include "TIndexedBitmap.h"
#include "TLZWDecoder.h"
#include "TRGBColor.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace morvane {

class TByteReader;

// One image of a GIF: its descriptor, colours, graphic control values and the
// encoded pixel data, decoded into a bitmap when first asked for.
class TGIFFrame {
public:
    TGIFFrame();
    TGIFFrame(const TGIFFrame&) = delete;
    TGIFFrame& operator=(const TGIFFrame&) = delete;

    // Reads the image descriptor (after its "," introducer), the local table
    // and the encoded data. globalTable and bitsPerPixel are what the image's
    // global table gives; extensions are those gathered before the image.
    // pixelsLeft is the image's allowance of decoded pixels, shared by all
    // its frames; it must outlive the frame.
    void Read(TByteReader& reader, int screenWidth, int screenHeight, const TColorTable& globalTable,
              int bitsPerPixel, std::vector<TGIFExtension> extensions, std::uint64_t& pixelsLeft);

    int Left() const { return left_; }
    int Top() const { return top_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    std::uint8_t Packed() const { return packed_; }
    const TColorTable& ColorTable() const { return colorTable_; }
    int BitsPerPixel() const { return bitsPerPixel_; }
    bool HasLocalColorTable() const { return (packed_ & 0x80) != 0; }
    bool Interlaced() const { return (packed_ & 0x40) != 0; }
    std::optional<TRGBColor> TransparentColor() const { return transparentColor_; }
    std::optional<int> TransparentIndex() const { return transparentIndex_; }
    int AnimateInterval() const { return animateInterval_; }
    int Disposal() const { return disposal_; }
    const std::vector<TGIFExtension>& Extensions() const { return extensions_; }
    const std::vector<unsigned char>& EncodedData() const { return encoded_; }

    // Set when the encoded data was cut off inside a sub-block or failed to
    // decode; the decoding part of the answer is known only once the bitmap
    // is built.
    bool Corrupted() const { return corrupted_; }
    // How the last decoding ended; none before the bitmap is first built.
    std::optional<TLZWOutcome> DecodeOutcome() const { return outcome_; }
    bool HasBitmap() const { return bitmap_ != nullptr; }
    // Decodes on first use; raises the colour-count error for a depth that no
    // bitmap can hold.
    const TIndexedBitmap& Bitmap() const;
    // Frees the bitmap; the next Bitmap() decodes again, and that again
    // spends the image's pixel allowance.
    void ReleaseBitmap() { bitmap_.reset(); }

    // Bitmap depth for a frame's bits per pixel: 1, 4 or 8.
    static int BitmapDepth(int bitsPerPixel);

private:
    int left_ = 0;
    int top_ = 0;
    int width_ = 0;
    int height_ = 0;
    std::uint8_t packed_ = 0;
    TColorTable colorTable_;
    // A frame without any colour table decodes as 8 bits on a grey palette.
    int bitsPerPixel_ = 8;
    std::optional<TRGBColor> transparentColor_;
    std::optional<int> transparentIndex_;
    int animateInterval_ = 0;
    int disposal_ = 0;
    std::vector<TGIFExtension> extensions_;
    std::vector<unsigned char> encoded_;
    std::uint64_t* pixelsLeft_ = nullptr;
    mutable bool corrupted_ = false;
    mutable std::optional<TLZWOutcome> outcome_;
    mutable std::unique_ptr<TIndexedBitmap> bitmap_;
};

} // namespace morvane
