// Hand-made code streams for the rules a well-behaved encoder never tests:
// clamped code sizes, codes past the table, masked codes, interlacing and
// streams that stop early.
#include "GifBytes.h"
#include "TIndexedBitmap.h"
#include "TLZWDecoder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

using namespace morvane;
using gifbytes::Bytes;

namespace morvane {
// Failures name the outcome rather than print its number.
void PrintTo(TLZWOutcome outcome, std::ostream* os)
{
    *os << TLZWDecoder::OutcomeName(outcome);
}
} // namespace morvane

namespace {

using O = TLZWOutcome;

struct Decoded {
    std::vector<unsigned char> indices;
    TLZWOutcome outcome;
};

Bytes Encoded(int minCodeSize, const Bytes& codes, std::size_t blockSize = 255)
{
    gifbytes::GifBuilder b;
    b.Raw({minCodeSize});
    b.SubBlocks(codes, blockSize);
    return b.data;
}

Decoded Decode(const Bytes& encoded, int width, int height, int bitsPerPixel, bool interlaced = false,
               std::uint64_t pixelLimit = std::numeric_limits<std::uint64_t>::max())
{
    const int depth = bitsPerPixel == 1 ? 1 : (bitsPerPixel <= 4 ? 4 : 8);
    TIndexedBitmap bitmap(width, height, depth, TColorTable(std::size_t{1} << depth));
    TLZWDecoder decoder;
    decoder.SetPixelLimit(pixelLimit);
    const TLZWOutcome outcome = decoder.Decode(encoded, bitsPerPixel, interlaced, bitmap);
    return {bitmap.Indices(), outcome};
}

using V = std::vector<unsigned char>;

// Code size 2: clear 4, end 5, first table code 6; codes start 3 bits wide.
struct StreamCase {
    const char* name;
    int minCodeSize;
    Bytes codes;
    int width;
    int height;
    int bitsPerPixel;
    V expected;
    TLZWOutcome outcome;
    std::uint64_t pixelLimit = std::numeric_limits<std::uint64_t>::max();
};

void PrintTo(const StreamCase& c, std::ostream* os)
{
    *os << c.name;
}

class LZWStream : public ::testing::TestWithParam<StreamCase> {};

TEST_P(LZWStream, DecodesToTheExpectedPixels)
{
    const auto& c = GetParam();
    const Decoded d = Decode(Encoded(c.minCodeSize, c.codes), c.width, c.height, c.bitsPerPixel, false, c.pixelLimit);
    EXPECT_EQ(d.indices, c.expected);
    EXPECT_EQ(d.outcome, c.outcome);
}

INSTANTIATE_TEST_SUITE_P(
    Streams, LZWStream,
    ::testing::Values(
        StreamCase{"TableCodesRepeatEarlierStrings", 2, gifbytes::PackCodes({{4, 3}, {1, 3}, {2, 3}, {6, 3}, {5, 3}}),
                   4, 1, 2, V{1, 2, 1, 2}, O::Complete},
        // The code that is being defined (KwKwK): previous string plus its first pixel.
        StreamCase{"CodeEqualToNextFreeSlot", 2, gifbytes::PackCodes({{4, 3}, {2, 3}, {6, 3}, {5, 3}}), 3, 1, 2,
                   V{2, 2, 2}, O::Complete},
        // Code 7 while 6 is the next free slot: handled like the slot itself,
        // and the string it made is what later codes build on.
        StreamCase{"CodeBeyondNextFreeSlot", 2, gifbytes::PackCodes({{4, 3}, {3, 3}, {7, 3}, {7, 3}, {5, 3}}), 6, 1,
                   2, V{3, 3, 3, 3, 3, 3}, O::Complete},
        StreamCase{"TableCodeWithoutAnyPreviousCode", 2, gifbytes::PackCodes({{7, 3}, {1, 3}}), 2, 1, 2, V{0, 0},
                   O::BadCode},
        // Code 6 right after a clear is written masked (pixel 2) and stands
        // as the previous code, so slot 6 becomes "2 1" and decoding goes on.
        StreamCase{"TableCodeRightAfterClearIsAMaskedPixel", 2,
                   gifbytes::PackCodes({{4, 3}, {6, 3}, {1, 3}, {6, 3}, {5, 4}}), 4, 1, 2, V{2, 1, 2, 1},
                   O::Complete},
        // With an 8-bit mask, code 6 after a clear stays pixel 6, which names
        // no string: nothing is added for the next code, and no slot ever
        // refers to itself.
        StreamCase{"TableCodeRightAfterClearWithAWiderColourTable", 2,
                   gifbytes::PackCodes({{4, 3}, {6, 3}, {1, 3}, {6, 3}, {5, 3}}), 4, 1, 8, V{6, 1, 1, 1},
                   O::Complete},
        // Three codes at 3 bits fill slots 6 and 7; the code after the slot
        // that reaches 8 is 4 bits wide.
        StreamCase{"CodeWidthGrowsWhenTheSlotReachesTheLimit", 2,
                   gifbytes::PackCodes({{4, 3}, {1, 3}, {2, 3}, {3, 3}, {6, 4}, {8, 4}, {5, 4}}), 7, 1, 2,
                   V{1, 2, 3, 1, 2, 3, 1}, O::Complete},
        // A clear sent once the width has grown to 4 bits brings it back to
        // 3: read 4 bits wide, the codes after it would be 1, 9 and 11.
        StreamCase{"ClearResetsTheCodeWidth", 2,
                   gifbytes::PackCodes({{4, 3}, {1, 3}, {2, 3}, {3, 3}, {4, 4}, {1, 3}, {2, 3}, {6, 3}, {5, 4}}), 7,
                   1, 2, V{1, 2, 3, 1, 2, 1, 2}, O::Complete},
        StreamCase{"RepeatedClearsAreHarmless", 2, gifbytes::PackCodes({{4, 3}, {4, 3}, {4, 3}, {2, 3}, {5, 3}}), 1,
                   1, 2, V{2}, O::Complete},
        StreamCase{"EndCodeStopsAndLeavesTheRestAtZero", 2, gifbytes::PackCodes({{4, 3}, {3, 3}, {5, 3}, {3, 3}}), 3,
                   1, 2, V{3, 0, 0}, O::Complete},
        // The zero bits that pad the last byte still read as codes (pixel 0).
        StreamCase{"DataRunningOutKeepsThePixelsDecoded", 2, gifbytes::PackCodes({{4, 3}, {1, 3}, {2, 3}}), 3, 2, 2,
                   V{1, 2, 0, 0, 0, 0}, O::ShortData},
        // Code size 3 for a 2-bit frame: codes 4..7 lie between the pixel
        // mask and the clear code 8 and are single pixels masked to 2 bits.
        StreamCase{"CodesBetweenMaskAndClearAreMaskedPixels", 3,
                   gifbytes::PackCodes({{8, 4}, {6, 4}, {10, 4}, {5, 4}, {11, 4}, {9, 4}}), 7, 1, 2,
                   V{2, 2, 2, 1, 2, 2, 1}, O::Complete},
        // Code size 1 is taken as 2 and marks the frame: only the pixel after
        // each clear is written, and the first other code ends decoding.
        StreamCase{"CodeSizeOneWritesOnlyPixelsAfterClears", 1,
                   gifbytes::PackCodes({{4, 3}, {1, 3}, {4, 3}, {2, 3}, {3, 3}, {5, 3}}), 4, 1, 2, V{1, 2, 0, 0},
                   O::BadCodeSize},
        StreamCase{"CodeSizeTenIsClampedToNine", 10, gifbytes::PackCodes({{512, 10}, {200, 10}, {201, 10}}), 3, 1,
                   8, V{200, 0, 0}, O::BadCodeSize},
        // Pixels past the last row are dropped, not written elsewhere.
        StreamCase{"PixelsAfterTheLastRowAreIgnored", 2,
                   gifbytes::PackCodes({{4, 3}, {1, 3}, {2, 3}, {3, 3}, {1, 3}, {2, 3}}), 2, 1, 2, V{1, 2}, O::Complete},
        StreamCase{"OneBitFramesPackEightPixelsPerByte", 2,
                   gifbytes::PackCodes({{4, 3}, {1, 3}, {0, 3}, {1, 3}, {1, 4}, {0, 4}, {0, 4}, {1, 4}, {1, 4}, {1, 4},
                                        {5, 4}}),
                   9, 1, 1, V{1, 0, 1, 1, 0, 0, 1, 1, 1}, O::Complete},
        // The image's pixel allowance: the pixels before it stay.
        StreamCase{"PixelLimitStopsDecodingAndKeepsWhatCameBefore", 2,
                   gifbytes::PackCodes({{4, 3}, {1, 3}, {2, 3}, {3, 3}, {1, 4}, {5, 4}}), 2, 2, 2, V{1, 2, 3, 0},
                   O::PixelLimit, 3},
        StreamCase{"PixelLimitMetExactlyIsComplete", 2,
                   gifbytes::PackCodes({{4, 3}, {1, 3}, {2, 3}, {3, 3}, {1, 4}, {5, 4}}), 2, 2, 2, V{1, 2, 3, 1},
                   O::Complete, 4}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LZWDecoder, EmptyEncodedDataIsCorruptAndLeavesZeros)
{
    const Decoded d = Decode(Bytes{}, 2, 2, 2);
    EXPECT_EQ(d.indices, (V{0, 0, 0, 0}));
    EXPECT_EQ(d.outcome, O::NoData);
}

TEST(LZWDecoder, SubBlockLengthPastTheDataReadsOnlyWhatIsThere)
{
    // The length byte claims 200 bytes; only the two real ones are used.
    Bytes encoded{2, 200};
    const Bytes codes = gifbytes::PackCodes({{4, 3}, {1, 3}, {2, 3}, {3, 3}});
    encoded.insert(encoded.end(), codes.begin(), codes.end());
    const Decoded d = Decode(encoded, 5, 1, 2);
    EXPECT_EQ(d.indices, (V{1, 2, 3, 0, 0}));
    EXPECT_EQ(d.outcome, O::ShortData);
}

TEST(LZWDecoder, CodesSpanningSubBlockBoundariesJoinUp)
{
    const Bytes codes = gifbytes::PackCodes({{4, 3}, {1, 3}, {2, 3}, {3, 3}, {6, 4}, {8, 4}, {5, 4}});
    const Decoded whole = Decode(Encoded(2, codes), 7, 1, 2);
    const Decoded split = Decode(Encoded(2, codes, 1), 7, 1, 2);
    EXPECT_EQ(split.indices, whole.indices);
    EXPECT_EQ(split.indices, (V{1, 2, 3, 1, 2, 3, 1}));
    EXPECT_EQ(split.outcome, O::Complete);
}

// Each string one pixel longer than the last, through the whole table and on
// at 12 bits while the table stays full: chains as long as the table.
TEST(LZWDecoder, FullTableKeepsDecodingWithItsLongestChains)
{
    std::vector<std::pair<int, int>> codes{{4, 3}, {1, 3}};
    int width = 3;
    int nextFree = 6;
    std::size_t pixels = 1;
    // Code k (k = 6, 7, ...) is always the next free slot: the previous
    // string plus one more pixel.
    for (int k = 6; k < 4096; ++k) {
        codes.push_back({k, width});
        pixels += static_cast<std::size_t>(k - 4);
        ++nextFree;
        if (nextFree == (1 << width) && width < 12)
            ++width;
    }
    for (int i = 0; i < 3; ++i) {
        codes.push_back({4095, 12});
        pixels += 4091;
    }
    gifbytes::BitPacker packer;
    for (auto [c, w] : codes)
        packer.Put(c, w);
    const Bytes packed = packer.Finish();
    const int w = static_cast<int>(pixels);
    const Decoded d = Decode(Encoded(2, packed), w, 1, 2);
    EXPECT_EQ(d.outcome, O::Complete);
    std::size_t ones = 0;
    for (auto v : d.indices)
        ones += v == 1;
    EXPECT_EQ(ones, pixels);
    // The stream holds exactly that many pixels: one more row runs out.
    const Decoded longer = Decode(Encoded(2, packed), w, 2, 2);
    EXPECT_EQ(longer.outcome, O::ShortData);
}

struct InterlaceCase {
    int height;
    V rowOrder; // image rows in the order the decoder fills them
};

class Interlace : public ::testing::TestWithParam<InterlaceCase> {};

TEST_P(Interlace, RowsFillInTheFourPassOrder)
{
    const auto& c = GetParam();
    // One pixel per row, values 1, 2, 3, ... in stream order (4-bit codes).
    gifbytes::BitPacker packer;
    packer.Put(16, 5);
    for (int i = 0; i < c.height + 2; ++i)
        packer.Put(i + 1, 5);
    const Decoded d = Decode(Encoded(4, packer.Finish()), 1, c.height, 4, true);
    V expected(static_cast<std::size_t>(c.height));
    for (std::size_t k = 0; k < c.rowOrder.size(); ++k)
        expected[c.rowOrder[k]] = static_cast<unsigned char>(k + 1);
    EXPECT_EQ(d.indices, expected);
    EXPECT_EQ(d.outcome, O::Complete);
}

INSTANTIATE_TEST_SUITE_P(Heights, Interlace,
                         ::testing::Values(InterlaceCase{1, {0}}, InterlaceCase{2, {0, 1}},
                                           InterlaceCase{3, {0, 2, 1}}, InterlaceCase{4, {0, 2, 1, 3}},
                                           InterlaceCase{5, {0, 4, 2, 1, 3}},
                                           InterlaceCase{8, {0, 4, 2, 6, 1, 3, 5, 7}},
                                           InterlaceCase{9, {0, 8, 4, 2, 6, 1, 3, 5, 7}},
                                           InterlaceCase{11, {0, 8, 4, 2, 6, 10, 1, 3, 5, 7, 9}}));

TEST(LZWDecoder, ZeroSizedBitmapDecodesNothing)
{
    for (auto [w, h] : {std::pair{0, 5}, std::pair{5, 0}, std::pair{0, 0}}) {
        const Decoded d = Decode(Encoded(2, gifbytes::PackCodes({{4, 3}, {1, 3}, {5, 3}})), w, h, 2);
        EXPECT_TRUE(d.indices.empty());
        EXPECT_EQ(d.outcome, O::Complete);
    }
}

} // namespace
