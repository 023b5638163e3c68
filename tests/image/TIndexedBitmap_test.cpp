// Row padding, bottom-up storage and pixel packing of the indexed bitmap.
#include "TIndexedBitmap.h"

#include <gtest/gtest.h>


using namespace morvane;

namespace {

struct StrideCase {
    int width;
    int depth;
    std::size_t stride;
};

class BitmapStride : public ::testing::TestWithParam<StrideCase> {};

TEST_P(BitmapStride, RowsArePaddedTo32Bits)
{
    const auto& c = GetParam();
    TIndexedBitmap bitmap(c.width, 2, c.depth, TColorTable(std::size_t{1} << c.depth));
    EXPECT_EQ(bitmap.Stride(), c.stride);
}

INSTANTIATE_TEST_SUITE_P(Widths, BitmapStride,
                         ::testing::Values(StrideCase{1, 1, 4}, StrideCase{32, 1, 4}, StrideCase{33, 1, 8},
                                           StrideCase{1, 4, 4}, StrideCase{8, 4, 4}, StrideCase{9, 4, 8},
                                           StrideCase{1, 8, 4}, StrideCase{4, 8, 4}, StrideCase{5, 8, 8},
                                           StrideCase{130, 8, 132}, StrideCase{0, 8, 0}));

struct PackCase {
    int depth;
    int x;
    int value;
    int byte;
    unsigned char bits;
};

class BitmapPacking : public ::testing::TestWithParam<PackCase> {};

TEST_P(BitmapPacking, PixelsLandInTheRightBitsOfTheRow)
{
    const auto& c = GetParam();
    TIndexedBitmap bitmap(16, 1, c.depth, TColorTable(std::size_t{1} << c.depth));
    bitmap.SetPixelIndex(c.x, 0, c.value);
    EXPECT_EQ(bitmap.ScanLine(0)[c.byte], c.bits);
    EXPECT_EQ(bitmap.PixelIndex(c.x, 0), c.value);
    for (int x = 0; x < 16; ++x) {
        if (x != c.x) {
            EXPECT_EQ(bitmap.PixelIndex(x, 0), 0) << x;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Depths, BitmapPacking,
                         ::testing::Values(PackCase{1, 0, 1, 0, 0x80}, PackCase{1, 7, 1, 0, 0x01},
                                           PackCase{1, 9, 1, 1, 0x40}, PackCase{4, 0, 0xA, 0, 0xA0},
                                           PackCase{4, 1, 0x5, 0, 0x05}, PackCase{4, 5, 0xF, 2, 0x0F},
                                           PackCase{8, 3, 200, 3, 200}));

TEST(IndexedBitmap, StoredRowsRunBottomUp)
{
    TIndexedBitmap bitmap(3, 4, 8, TColorTable(256));
    bitmap.SetPixelIndex(1, 0, 7); // top image row
    bitmap.SetPixelIndex(2, 3, 9); // bottom image row
    EXPECT_EQ(bitmap.StoredRow(3)[1], 7);
    EXPECT_EQ(bitmap.StoredRow(0)[2], 9);
    EXPECT_EQ(bitmap.StoredRow(1)[0], 0);
    EXPECT_EQ(bitmap.Indices(), (std::vector<unsigned char>{0, 7, 0, 0, 0, 0, 0, 0, 0, 0, 0, 9}));
}

} // namespace
