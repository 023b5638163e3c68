#pragma once

#include "TRGBColor.h"

#include <cstddef>
#include <vector>

namespace morvane {

// A palette bitmap of 1, 4 or 8 bits per pixel with rows padded to 32 bits.
// Rows are kept in the bottom-up order of a device-independent bitmap: stored
// row 0 is the bottom image row. Storage for a row is made when the row is
// first written, so a frame that claims a huge size but carries little data
// costs only the rows it really decodes; rows never written read as index 0.
class TIndexedBitmap {
public:
    TIndexedBitmap(int width, int height, int bitsPerPixel, TColorTable palette);

    int Width() const { return width_; }
    int Height() const { return height_; }
    int BitsPerPixel() const { return bitsPerPixel_; }
    // Bytes per row including the padding to a multiple of 4.
    std::size_t Stride() const { return stride_; }
    const TColorTable& Palette() const { return palette_; }

    // Image row y, 0 being the top row.
    const unsigned char* ScanLine(int y) const;
    // Stored row i in bottom-up order.
    const unsigned char* StoredRow(int i) const { return ScanLine(height_ - 1 - i); }
    unsigned char* MutableScanLine(int y);

    int PixelIndex(int x, int y) const;
    void SetPixelIndex(int x, int y, int index);

    // One byte per pixel, row-major, top row first.
    std::vector<unsigned char> Indices() const;

private:
    int width_;
    int height_;
    int bitsPerPixel_;
    std::size_t stride_;
    TColorTable palette_;
    std::vector<std::vector<unsigned char>> rows_;
    std::vector<unsigned char> zeroRow_; // only for rows wider than the shared one
};

} // namespace morvane
