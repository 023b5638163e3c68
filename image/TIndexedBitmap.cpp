#include "TIndexedBitmap.h"

#include <stdexcept>

namespace morvane {

namespace {
// Rows never written all read from here; a row of a 65535-pixel-wide 8-bit
// bitmap is the widest a GIF can ask for.
constexpr std::size_t kSharedZeroRow = 65536;
const unsigned char kZeroRow[kSharedZeroRow] = {};
} // namespace

TIndexedBitmap::TIndexedBitmap(int width, int height, int bitsPerPixel, TColorTable palette)
    : width_(width < 0 ? 0 : width),
      height_(height < 0 ? 0 : height),
      bitsPerPixel_(bitsPerPixel),
      stride_(((static_cast<std::size_t>(width_) * static_cast<std::size_t>(bitsPerPixel) + 31) / 32) * 4),
      palette_(std::move(palette))
{
    if (stride_ > kSharedZeroRow)
        zeroRow_.assign(stride_, 0);
    if (bitsPerPixel != 1 && bitsPerPixel != 4 && bitsPerPixel != 8)
        throw std::invalid_argument("bitmap depth must be 1, 4 or 8 bits");
}

const unsigned char* TIndexedBitmap::ScanLine(int y) const
{
    if (y < 0 || y >= height_)
        throw std::out_of_range("bitmap row out of range");
    const auto uy = static_cast<std::size_t>(y);
    if (uy < rows_.size() && !rows_[uy].empty())
        return rows_[uy].data();
    return zeroRow_.empty() ? kZeroRow : zeroRow_.data();
}

unsigned char* TIndexedBitmap::MutableScanLine(int y)
{
    if (y < 0 || y >= height_)
        throw std::out_of_range("bitmap row out of range");
    const auto uy = static_cast<std::size_t>(y);
    // The row index grows only as far as rows are written, so its size
    // follows the pixels really decoded rather than the height claimed.
    if (uy >= rows_.size())
        rows_.resize(uy + 1);
    auto& row = rows_[uy];
    if (row.empty())
        row.assign(stride_, 0);
    return row.data();
}

int TIndexedBitmap::PixelIndex(int x, int y) const
{
    if (x < 0 || x >= width_)
        throw std::out_of_range("bitmap column out of range");
    const unsigned char* row = ScanLine(y);
    const auto ux = static_cast<std::size_t>(x);
    switch (bitsPerPixel_) {
    case 8:
        return row[ux];
    case 4:
        return (ux % 2 == 0) ? (row[ux / 2] >> 4) : (row[ux / 2] & 0x0F);
    default:
        return (row[ux / 8] >> (7 - ux % 8)) & 1;
    }
}

void TIndexedBitmap::SetPixelIndex(int x, int y, int index)
{
    if (x < 0 || x >= width_)
        throw std::out_of_range("bitmap column out of range");
    unsigned char* row = MutableScanLine(y);
    const auto ux = static_cast<std::size_t>(x);
    switch (bitsPerPixel_) {
    case 8:
        row[ux] = static_cast<unsigned char>(index);
        break;
    case 4: {
        const unsigned v = static_cast<unsigned>(index) & 0x0F;
        unsigned char& b = row[ux / 2];
        b = (ux % 2 == 0) ? static_cast<unsigned char>((b & 0x0F) | (v << 4))
                          : static_cast<unsigned char>((b & 0xF0) | v);
        break;
    }
    default: {
        const unsigned bit = 0x80u >> (ux % 8);
        unsigned char& b = row[ux / 8];
        b = (index & 1) ? static_cast<unsigned char>(b | bit) : static_cast<unsigned char>(b & ~bit);
        break;
    }
    }
}

std::vector<unsigned char> TIndexedBitmap::Indices() const
{
    std::vector<unsigned char> out;
    out.reserve(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_));
    for (int y = 0; y < height_; ++y)
        for (int x = 0; x < width_; ++x)
            out.push_back(static_cast<unsigned char>(PixelIndex(x, y)));
    return out;
}

} // namespace morvane
