#include "TGIFFrame.h"

#include "EInvalidGraphicOperation.h"
#include "GIFErrors.h"
#include "TByteReader.h"
#include "TLZWDecoder.h"

#include <algorithm>

namespace morvane {

TGIFFrame::TGIFFrame() = default;

void TGIFFrame::Read(TByteReader& reader, int screenWidth, int screenHeight, const TColorTable& globalTable,
                     int bitsPerPixel, std::vector<TGIFExtension> extensions, std::uint64_t& pixelsLeft)
{
    pixelsLeft_ = &pixelsLeft;
    left_ = reader.ReadWord();
    top_ = reader.ReadWord();
    width_ = reader.ReadWord();
    height_ = reader.ReadWord();
    packed_ = reader.ReadByte();

    if (HasLocalColorTable()) {
        bitsPerPixel_ = (packed_ & 7) + 1;
        const std::size_t count = std::size_t{1} << bitsPerPixel_;
        colorTable_.resize(count);
        for (auto& c : colorTable_) {
            c.red = reader.ReadByte();
            c.green = reader.ReadByte();
            c.blue = reader.ReadByte();
        }
    } else {
        colorTable_ = globalTable;
        bitsPerPixel_ = bitsPerPixel;
    }

    // The code size byte and every sub-block with its length byte, so the
    // decoder sees the data exactly as stored. Data that ends where a length
    // byte is due lacks only the block terminator; whether that cost any
    // pixels is for the decoder to tell. A sub-block cut off inside is kept
    // for the pixels it holds, and marks the frame.
    if (reader.AtEnd()) {
        corrupted_ = true;
    } else {
        encoded_.push_back(reader.ReadByte());
        while (!reader.AtEnd()) {
            const std::uint8_t length = reader.ReadByte();
            encoded_.push_back(length);
            if (length == 0)
                break;
            if (length > reader.Remaining()) {
                corrupted_ = true;
                reader.AppendBytes(encoded_, reader.Remaining());
                break;
            }
            reader.AppendBytes(encoded_, length);
        }
    }

    if (width_ == 0)
        width_ = screenWidth;
    if (height_ == 0)
        height_ = screenHeight;

    extensions_ = std::move(extensions);
    for (const auto& ext : extensions_) {
        if (ext.kind != TGIFExtension::Kind::GraphicControl)
            continue;
        if (ext.packed & 1) {
            if (ext.transparentIndex < colorTable_.size()) {
                transparentIndex_ = ext.transparentIndex;
                transparentColor_ = colorTable_[ext.transparentIndex];
            }
        } else {
            transparentIndex_.reset();
            transparentColor_.reset();
        }
        animateInterval_ = std::max(animateInterval_, ext.delay * 10);
        disposal_ = (ext.packed >> 2) & 7;
    }
}

int TGIFFrame::BitmapDepth(int bitsPerPixel)
{
    if (bitsPerPixel == 1)
        return 1;
    if (bitsPerPixel >= 2 && bitsPerPixel <= 4)
        return 4;
    if (bitsPerPixel >= 5 && bitsPerPixel <= 8)
        return 8;
    throw EInvalidGraphicOperation(kWrongNumberOfColors);
}

const TIndexedBitmap& TGIFFrame::Bitmap() const
{
    if (bitmap_)
        return *bitmap_;
    const int depth = BitmapDepth(bitsPerPixel_);
    TColorTable palette(std::size_t{1} << depth, TRGBColor{128, 128, 128});
    std::copy_n(colorTable_.begin(), std::min(colorTable_.size(), palette.size()), palette.begin());
    auto bitmap = std::make_unique<TIndexedBitmap>(width_, height_, depth, std::move(palette));
    TLZWDecoder decoder;
    if (pixelsLeft_ != nullptr)
        decoder.SetPixelLimit(*pixelsLeft_);
    outcome_ = decoder.Decode(encoded_, bitsPerPixel_, Interlaced(), *bitmap);
    if (pixelsLeft_ != nullptr)
        *pixelsLeft_ -= decoder.PixelsWritten();
    if (*outcome_ != TLZWOutcome::Complete)
        corrupted_ = true;
    bitmap_ = std::move(bitmap);
    return *bitmap_;
}

} // namespace morvane
