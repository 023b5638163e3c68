#pragma once

#include "TGIFExtension.h"
#include "TGIFFrame.h"
#include "TGraphic.h"
#include "TRGBColor.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace morvane {

class TByteReader;
class TPictureFormats;

enum class TGIFVersion { None = 0, GIF87a = 1, GIF89a = 2 };

// A GIF picture read into a list of frames. Loading parses every block and
// builds the first frame's bitmap at once, so a broken image fails while
// loading; the other frames decode when first drawn.
class TGIFImage : public TGraphic {
public:
    TGIFImage();
    TGIFImage(const TGIFImage&) = delete;
    TGIFImage& operator=(const TGIFImage&) = delete;
    ~TGIFImage() override;

    // A 4-byte little-endian length N, then N bytes of GIF; fewer bytes than
    // announced is a read error.
    void ReadData(IByteSource& source) override;
    void LoadFromStream(IByteSource& source) override;
    void LoadFromBytes(std::span<const unsigned char> gif);

    // Empty while no frame is current: before a load, or after one that found no image.
    bool Empty() const override { return frameIndex_ < 0; }
    int Width() const override;
    int Height() const override;
    const TIndexedBitmap* CurrentBitmap() const override;
    std::optional<TRGBColor> CurrentTransparentColor() const override;

    TGIFVersion Version() const { return version_; }
    int ScreenWidth() const { return screenWidth_; }
    int ScreenHeight() const { return screenHeight_; }
    int BitsPerPixel() const { return bitsPerPixel_; }
    int ColorResolution() const { return colorResolution_; }
    int AspectRatio() const { return aspectRatio_; }
    const TColorTable& GlobalColorTable() const { return globalTable_; }
    int BackgroundIndex() const { return backgroundIndex_; }
    std::optional<TRGBColor> BackgroundColor() const { return backgroundColor_; }
    const std::vector<std::string>& Comment() const { return comment_; }
    bool Looping() const { return looping_; }
    int RepeatCount() const { return repeatCount_; }

    std::size_t FrameCount() const { return frames_.size(); }
    const TGIFFrame& Frame(std::size_t index) const { return *frames_.at(index); }
    // Frees one frame's bitmap, for a reader that walks many frames once.
    void ReleaseBitmap(std::size_t index) { frames_.at(index)->ReleaseBitmap(); }
    int FrameIndex() const { return frameIndex_; }

    // Whether frames with a transparent colour draw transparently.
    bool Transparent() const { return transparent_; }
    void SetTransparent(bool value) { transparent_ = value; }

    // Bits per pixel for a colour table of count entries: 2 gives 1 ... 256
    // gives 8; any other count raises the colour-count error.
    static int BitsForColorCount(std::size_t count);

    // Registers the kind under class name "TGIFImage" and extension "gif".
    static void Register(TPictureFormats& formats);

    static constexpr int kMaxRepeatCount = 30000;

    // Pixels that the frames of one load may decode between them, counting
    // every decoding. Past it the frame being decoded is marked corrupted
    // and keeps its rows so far, and later frames decode nothing; it is not
    // an error. A small file can claim many frames of up to 65535 x 65535,
    // and this keeps its cost in time and memory in proportion.
    static constexpr std::uint64_t kDefaultPixelAllowance = std::uint64_t{1} << 28;
    // The allowance for loads from now on.
    void SetPixelAllowance(std::uint64_t pixels) { pixelAllowance_ = pixels; }

private:
    void Clear();
    void Parse(std::span<const unsigned char> gif);
    void ReadExtension(TByteReader& reader, std::vector<TGIFExtension>& gathered);

    TGIFVersion version_ = TGIFVersion::None;
    int screenWidth_ = 0;
    int screenHeight_ = 0;
    int bitsPerPixel_ = 0;
    int colorResolution_ = 0;
    int aspectRatio_ = 0;
    TColorTable globalTable_;
    int backgroundIndex_ = 0;
    std::optional<TRGBColor> backgroundColor_;
    std::vector<std::string> comment_;
    bool looping_ = false;
    int repeatCount_ = 1;
    std::vector<std::unique_ptr<TGIFFrame>> frames_;
    int frameIndex_ = -1;
    bool transparent_ = true;
    std::uint64_t pixelAllowance_ = kDefaultPixelAllowance;
    std::uint64_t pixelsLeft_ = kDefaultPixelAllowance; // frames hold its address
};

} // namespace morvane
