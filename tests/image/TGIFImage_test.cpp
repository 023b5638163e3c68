// The block structure: header, screen, extensions, frames and the errors a
// user sees for data that is not a GIF the reader can use.
#include "EInvalidGraphicOperation.h"
#include "GifBytes.h"
#include "TGIFImage.h"
#include "TMemoryByteSource.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <psapi.h>
#endif

using namespace morvane;
using gifbytes::Bytes;
using gifbytes::GifBuilder;

namespace {

// A 2 x 2 frame of pixels 1, 2, 3, 1 in a 4-colour picture.
Bytes TwoByTwoCodes()
{
    return gifbytes::PackCodes({{4, 3}, {1, 3}, {2, 3}, {3, 3}, {1, 4}, {5, 4}});
}

GifBuilder& AddTwoByTwo(GifBuilder& b, int left = 0, int top = 0, int width = 2, int height = 2)
{
    return b.Descriptor(left, top, width, height).ImageData(2, TwoByTwoCodes());
}

void Load(TGIFImage& image, const Bytes& bytes)
{
    TMemoryByteSource source(bytes);
    image.LoadFromStream(source);
}

std::string LoadError(const Bytes& bytes)
{
    TGIFImage image;
    try {
        Load(image, bytes);
    } catch (const EInvalidGraphicOperation& e) {
        EXPECT_TRUE(image.Empty());
        return e.Message();
    }
    return "(loaded)";
}

struct HeaderCase {
    const char* signature;
    TGIFVersion version;
};

class Header : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(Header, SignatureAndVersionCompareWithoutCase)
{
    GifBuilder b;
    b.Start(2, 2, 2, 0, GetParam().signature);
    AddTwoByTwo(b).Trailer();
    TGIFImage image;
    Load(image, b.data);
    EXPECT_EQ(image.Version(), GetParam().version);
    EXPECT_EQ(image.FrameCount(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Signatures, Header,
                         ::testing::Values(HeaderCase{"GIF89a", TGIFVersion::GIF89a},
                                           HeaderCase{"gif89a", TGIFVersion::GIF89a},
                                           HeaderCase{"GIF87a", TGIFVersion::GIF87a},
                                           HeaderCase{"Gif87A", TGIFVersion::GIF87a}));

struct ErrorCase {
    const char* name;
    Bytes bytes;
    std::string message;
};

class LoadErrors : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(LoadErrors, RaiseTheUsersMessage)
{
    EXPECT_EQ(LoadError(GetParam().bytes), GetParam().message);
}

Bytes Concat(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes WithoutLast(Bytes b, std::size_t n)
{
    b.resize(b.size() - n);
    return b;
}

Bytes StartOnly(int tableBits = 2)
{
    GifBuilder b;
    b.Start(2, 2, tableBits);
    return b.data;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LoadErrors,
    ::testing::Values(
        ErrorCase{"Version90a", GifBuilder().Text("GIF90a").Raw({2, 0, 2, 0, 0, 0, 0, 0x3B}).data,
                  "Unknown GIF version"},
        ErrorCase{"NotAGif", GifBuilder().Text("PNG89a").Raw({2, 0, 2, 0, 0, 0, 0, 0x3B}).data,
                  "Unknown GIF version"},
        ErrorCase{"UnknownExtensionLabel", Concat(StartOnly(), {0x21, 0x77, 0, 0x3B}),
                  "Unrecognized extension block: 77"},
        ErrorCase{"ExtensionLabelInLowerCaseHex", Concat(StartOnly(), {0x21, 0xAB, 0, 0x3B}),
                  "Unrecognized extension block: ab"},
        ErrorCase{"StrayByteWhereABlockShouldStart", Concat(StartOnly(), {0x42, 0x3B}), "Stream read error"},
        ErrorCase{"StrayByteAfterACommentAlreadyKept",
                  Concat(StartOnly(), {0x21, 0xFE, 1, 'a', 0, 0x42, 0x21, 0xFE, 1, 'b', 0, 0x42, 0x3B}),
                  "Stream read error"},
        ErrorCase{"HeaderCutShort", GifBuilder().Text("GIF").data, "Stream read error"},
        ErrorCase{"ScreenDescriptorCutShort", GifBuilder().Text("GIF89a").Raw({2, 0, 2}).data,
                  "Stream read error"},
        ErrorCase{"GlobalTableCutShort", WithoutLast(StartOnly(), 5), "Stream read error"},
        ErrorCase{"ImageDescriptorCutShort", Concat(StartOnly(), {0x2C, 0, 0, 0, 0, 2}), "Stream read error"},
        ErrorCase{"LocalTableCutShort", Concat(StartOnly(), {0x2C, 0, 0, 0, 0, 2, 0, 2, 0, 0x81, 1, 2, 3}),
                  "Stream read error"},
        ErrorCase{"GraphicControlCutShort", Concat(StartOnly(), {0x21, 0xF9, 4, 1}), "Stream read error"},
        ErrorCase{"ExtensionSubBlockPastTheEnd", Concat(StartOnly(), {0x21, 0xFE, 40, 'a', 'b'}),
                  "Stream read error"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(GIFImage, ColourCountsOtherThanPowersOfTwoAreRejected)
{
    for (std::size_t count : {0u, 1u, 3u, 6u, 255u, 257u, 512u}) {
        try {
            TGIFImage::BitsForColorCount(count);
            ADD_FAILURE() << count << " colours accepted";
        } catch (const EInvalidGraphicOperation& e) {
            EXPECT_EQ(e.Message(), "Wrong number of colors; must be a power of 2");
        }
    }
    const std::pair<std::size_t, int> good[] = {{2, 1}, {4, 2}, {8, 3}, {16, 4}, {32, 5}, {64, 6}, {128, 7}, {256, 8}};
    for (auto [count, bits] : good)
        EXPECT_EQ(TGIFImage::BitsForColorCount(count), bits);
}

TEST(GIFImage, ScreenAndFrameFieldsAreRead)
{
    GifBuilder b;
    b.Start(300, 200, 2, 3);
    b.Descriptor(5, 7, 2, 2).ImageData(2, TwoByTwoCodes()).Trailer();
    TGIFImage image;
    Load(image, b.data);
    EXPECT_EQ(image.ScreenWidth(), 300);
    EXPECT_EQ(image.ScreenHeight(), 200);
    EXPECT_EQ(image.BitsPerPixel(), 2);
    EXPECT_EQ(image.ColorResolution(), 8);
    ASSERT_EQ(image.GlobalColorTable().size(), 4u);
    EXPECT_EQ(image.GlobalColorTable()[3], (TRGBColor{gifbytes::Red(3), gifbytes::Green(3), gifbytes::Blue(3)}));
    ASSERT_TRUE(image.BackgroundColor().has_value());
    EXPECT_EQ(*image.BackgroundColor(), image.GlobalColorTable()[3]);
    EXPECT_EQ(image.FrameIndex(), 0);
    const TGIFFrame& f = image.Frame(0);
    EXPECT_EQ(f.Left(), 5);
    EXPECT_EQ(f.Top(), 7);
    EXPECT_EQ(image.Width(), 2);
    EXPECT_EQ(image.Height(), 2);
    EXPECT_EQ(f.Bitmap().Indices(), (std::vector<unsigned char>{1, 2, 3, 1}));
    EXPECT_FALSE(f.Corrupted());
    EXPECT_FALSE(image.Looping());
    EXPECT_EQ(image.RepeatCount(), 1);
}

TEST(GIFImage, BackgroundIndexOutsideTheTableGivesNoBackground)
{
    GifBuilder b;
    b.Start(2, 2, 2, 9);
    AddTwoByTwo(b).Trailer();
    TGIFImage image;
    Load(image, b.data);
    EXPECT_FALSE(image.BackgroundColor().has_value());
}

struct LoopCase {
    const char* name;
    Bytes extension;
    bool looping;
    int repeat;
};

class LoopExtension : public ::testing::TestWithParam<LoopCase> {};

TEST_P(LoopExtension, SetsLoopingAndRepeatCount)
{
    GifBuilder b;
    b.Start(2, 2, 2);
    b.data.insert(b.data.end(), GetParam().extension.begin(), GetParam().extension.end());
    AddTwoByTwo(b).Trailer();
    TGIFImage image;
    Load(image, b.data);
    EXPECT_EQ(image.Looping(), GetParam().looping);
    EXPECT_EQ(image.RepeatCount(), GetParam().repeat);
    EXPECT_EQ(image.FrameCount(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LoopExtension,
    ::testing::Values(LoopCase{"Netscape5", GifBuilder().Loop(5).data, true, 5},
                      LoopCase{"Repeat65535IsCapped", GifBuilder().Loop(65535).data, true, 30000},
                      LoopCase{"Repeat30001IsCapped", GifBuilder().Loop(30001).data, true, 30000},
                      LoopCase{"Forever", GifBuilder().Loop(0).data, true, 0},
                      LoopCase{"AnimExts", GifBuilder().Loop(300, "ANIMEXTS1.0").data, true, 300},
                      LoopCase{"OtherApplication", GifBuilder().Loop(9, "XMPDataXMP ").data, false, 1},
                      LoopCase{"FirstByteNotOne",
                               GifBuilder().Application("NETSCAPE2.0", Bytes{2, 9, 0}).data, false, 1},
                      LoopCase{"SubBlockTooShort", GifBuilder().Application("NETSCAPE2.0", Bytes{1, 9}).data,
                               false, 1}),
    [](const auto& info) { return std::string(info.param.name); });

struct ControlCase {
    const char* name;
    std::vector<std::array<int, 3>> controls; // packed, delay, transparent index
    int transparent;                         // -1: none
    int interval;
    int disposal;
};

class GraphicControl : public ::testing::TestWithParam<ControlCase> {};

TEST_P(GraphicControl, SetsTransparencyIntervalAndDisposal)
{
    GifBuilder b;
    b.Start(2, 2, 2);
    for (const auto& c : GetParam().controls)
        b.GraphicControl(c[0], c[1], c[2]);
    AddTwoByTwo(b).Trailer();
    TGIFImage image;
    Load(image, b.data);
    const TGIFFrame& f = image.Frame(0);
    if (GetParam().transparent < 0) {
        EXPECT_FALSE(f.TransparentColor().has_value());
        EXPECT_FALSE(f.TransparentIndex().has_value());
        EXPECT_FALSE(image.CurrentTransparentColor().has_value());
    } else {
        ASSERT_TRUE(f.TransparentColor().has_value());
        EXPECT_EQ(*f.TransparentColor(), image.GlobalColorTable()[static_cast<std::size_t>(GetParam().transparent)]);
        EXPECT_EQ(f.TransparentIndex(), GetParam().transparent);
        EXPECT_EQ(image.CurrentTransparentColor(), f.TransparentColor());
        image.SetTransparent(false);
        EXPECT_FALSE(image.CurrentTransparentColor().has_value());
    }
    EXPECT_EQ(f.AnimateInterval(), GetParam().interval);
    EXPECT_EQ(f.Disposal(), GetParam().disposal);
    EXPECT_EQ(f.Extensions().size(), GetParam().controls.size());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GraphicControl,
    ::testing::Values(ControlCase{"TransparentIndexInTable", {{{0x01, 4, 2}}}, 2, 40, 0},
                      ControlCase{"TransparentIndexBeyondTable", {{{0x01, 0, 9}}}, -1, 0, 0},
                      ControlCase{"TransparentIndexJustPastTable", {{{0x01, 0, 4}}}, -1, 0, 0},
                      ControlCase{"TransparentIndexLastInTable", {{{0x01, 0, 3}}}, 3, 0, 0},
                      ControlCase{"FlagClear", {{{0x00, 0, 2}}}, -1, 0, 0},
                      ControlCase{"DisposalBits", {{{0x08 | 0x04, 0, 0}}}, -1, 0, 3},
                      ControlCase{"LargestDelayWins", {{{0x00, 25, 0}}, {{0x04, 7, 0}}}, -1, 250, 1},
                      ControlCase{"LaterClearFlagDropsTransparency", {{{0x01, 0, 1}}, {{0x00, 0, 1}}}, -1, 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(GIFImage, PlainTextDiscardsTheExtensionsGatheredBeforeIt)
{
    GifBuilder b;
    b.Start(2, 2, 2).GraphicControl(0x01, 9, 1).Comment("gone").PlainText();
    AddTwoByTwo(b).Trailer();
    TGIFImage image;
    Load(image, b.data);
    EXPECT_TRUE(image.Frame(0).Extensions().empty());
    EXPECT_FALSE(image.Frame(0).TransparentColor().has_value());
    EXPECT_EQ(image.Frame(0).AnimateInterval(), 0);
}

TEST(GIFImage, CommentsBeforeTheTrailerBecomeTheImageComment)
{
    GifBuilder b;
    b.Start(2, 2, 2);
    AddTwoByTwo(b);
    b.Comment("made by hand\r\nsecond line").Comment("another").Trailer();
    TGIFImage image;
    Load(image, b.data);
    EXPECT_EQ(image.Comment(), (std::vector<std::string>{"made by hand", "second line", "\r\n\r\n", "another"}));
}

TEST(GIFImage, CommentsBeforeAnImageStayWithThatFrame)
{
    GifBuilder b;
    b.Start(2, 2, 2).Comment("frame note").GraphicControl(0, 3, 0);
    AddTwoByTwo(b).Trailer();
    TGIFImage image;
    Load(image, b.data);
    EXPECT_TRUE(image.Comment().empty());
    const auto& ext = image.Frame(0).Extensions();
    ASSERT_EQ(ext.size(), 2u);
    EXPECT_EQ(ext[0].kind, TGIFExtension::Kind::Comment);
    EXPECT_EQ(ext[0].lines, (std::vector<std::string>{"frame note"}));
    EXPECT_EQ(ext[1].kind, TGIFExtension::Kind::GraphicControl);
}

TEST(GIFImage, ZeroBytesBetweenBlocksAreSkippedAndFramesKeepTheirOrder)
{
    GifBuilder b;
    b.Start(4, 4, 2).Raw({0, 0});
    AddTwoByTwo(b, 0, 0).Raw({0});
    b.Descriptor(2, 2, 1, 1, false, 1).ImageData(2, gifbytes::PackCodes({{4, 3}, {1, 3}, {5, 3}}));
    b.Raw({0, 0, 0}).Trailer();
    TGIFImage image;
    Load(image, b.data);
    ASSERT_EQ(image.FrameCount(), 2u);
    EXPECT_EQ(image.Frame(0).Width(), 2);
    const TGIFFrame& second = image.Frame(1);
    EXPECT_EQ(second.Left(), 2);
    EXPECT_TRUE(second.HasLocalColorTable());
    EXPECT_EQ(second.BitsPerPixel(), 1);
    EXPECT_EQ(second.ColorTable().size(), 2u);
    EXPECT_EQ(second.Bitmap().BitsPerPixel(), 1);
    EXPECT_EQ(second.Bitmap().Indices(), (std::vector<unsigned char>{1}));
}

Bytes OneFrameThen(std::initializer_list<int> tail)
{
    GifBuilder b;
    b.Start(2, 2, 2);
    AddTwoByTwo(b).Raw(tail);
    return b.data;
}

// The bytes under an over-long sub-block would parse as a second image; they
// belong to the broken block and are not read as blocks.
Bytes OverLongSubBlockHidingAnImage()
{
    GifBuilder inner;
    AddTwoByTwo(inner).Trailer();
    GifBuilder b;
    b.Start(2, 2, 2);
    b.Descriptor(0, 0, 2, 2).Raw({2, static_cast<int>(inner.data.size() + 1)});
    b.data.insert(b.data.end(), inner.data.begin(), inner.data.end());
    return b.data;
}

// Codes for four of the six pixels of a 3 x 2 frame (the last from the
// padding bits) in a complete sub-block, and no block terminator after it.
Bytes ShortDataWithoutTerminator()
{
    GifBuilder b;
    b.Start(3, 2, 2);
    b.Descriptor(0, 0, 3, 2).Raw({2, 2});
    const Bytes codes = gifbytes::PackCodes({{4, 3}, {1, 3}, {2, 3}, {3, 3}});
    b.data.insert(b.data.end(), codes.begin(), codes.begin() + 2);
    return b.data;
}

struct SequenceCase {
    const char* name;
    Bytes bytes;
    std::size_t frames;
    bool firstCorrupted;
};

class BlockSequence : public ::testing::TestWithParam<SequenceCase> {};

TEST_P(BlockSequence, LoadsTheFramesItHolds)
{
    TGIFImage image;
    Load(image, GetParam().bytes);
    ASSERT_EQ(image.FrameCount(), GetParam().frames);
    if (GetParam().frames == 0) {
        EXPECT_TRUE(image.Empty());
        EXPECT_EQ(image.FrameIndex(), -1);
        EXPECT_EQ(image.Width(), 0);
        EXPECT_EQ(image.CurrentBitmap(), nullptr);
    } else {
        EXPECT_EQ(image.FrameIndex(), 0);
        EXPECT_EQ(image.Frame(0).Corrupted(), GetParam().firstCorrupted);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BlockSequence,
    ::testing::Values(SequenceCase{"Empty", Bytes{}, 0, false},
                      SequenceCase{"NoImage", GifBuilder().Start(2, 2, 2).Trailer().data, 0, false},
                      SequenceCase{"NoTrailer", OneFrameThen({}), 1, false},
                      // Every pixel decoded: the missing terminator alone costs nothing.
                      SequenceCase{"NoBlockTerminator", WithoutLast(OneFrameThen({}), 1), 1, false},
                      SequenceCase{"NoBlockTerminatorAfterTooFewCodes", ShortDataWithoutTerminator(), 1, true},
                      SequenceCase{"UnknownByteAfterAFrameEndsQuietly", OneFrameThen({0x99, 0x21, 0x77}), 1, false},
                      SequenceCase{"OverLongSubBlockEndsTheImage", OverLongSubBlockHidingAnImage(), 1, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(GIFImage, ZeroWidthOrHeightTakesTheScreens)
{
    const std::array<std::array<int, 4>, 3> cases{{{0, 2, 3, 2}, {3, 0, 3, 2}, {0, 0, 3, 2}}};
    for (const auto& c : cases) {
        GifBuilder b;
        b.Start(3, 2, 2);
        b.Descriptor(0, 0, c[0], c[1]).ImageData(2, gifbytes::PackCodes({{4, 3}, {1, 3}, {5, 3}})).Trailer();
        TGIFImage image;
        Load(image, b.data);
        EXPECT_EQ(image.Frame(0).Width(), c[2]);
        EXPECT_EQ(image.Frame(0).Height(), c[3]);
        EXPECT_EQ(image.Width(), c[2]);
        EXPECT_EQ(image.Height(), c[3]);
    }
}

TEST(GIFImage, ZeroSizedScreenAndFrameLoadsAsAnEmptyBitmap)
{
    GifBuilder b;
    b.Start(0, 0, 2);
    b.Descriptor(0, 0, 0, 0).ImageData(2, gifbytes::PackCodes({{4, 3}, {1, 3}, {5, 3}})).Trailer();
    TGIFImage image;
    Load(image, b.data);
    EXPECT_EQ(image.Width(), 0);
    EXPECT_EQ(image.Height(), 0);
    EXPECT_TRUE(image.Frame(0).Bitmap().Indices().empty());
}

TEST(GIFImage, FrameLargerThanOrOutsideTheScreenKeepsItsOwnSize)
{
    GifBuilder b;
    b.Start(2, 2, 2);
    b.Descriptor(60000, 50000, 3, 1).ImageData(2, gifbytes::PackCodes({{4, 3}, {3, 3}, {2, 3}, {1, 3}, {5, 4}}));
    b.Trailer();
    TGIFImage image;
    Load(image, b.data);
    EXPECT_EQ(image.Frame(0).Left(), 60000);
    EXPECT_EQ(image.Frame(0).Top(), 50000);
    EXPECT_EQ(image.Frame(0).Bitmap().Indices(), (std::vector<unsigned char>{3, 2, 1}));
}

long ResidentKiB()
{
#ifdef _WIN32
    PROCESS_MEMORY_COUNTERS counters {};
    if (!K32GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters))
        return -1;
    return static_cast<long>(counters.WorkingSetSize / 1024);
#else
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            long kib = 0;
            status >> kib;
            return kib;
        }
    }
    return -1;
#endif
}

TEST(GIFImage, HugeDimensionsInATinyFileCostOnlyTheRowsDecoded)
{
    GifBuilder b;
    b.Start(65535, 65535, 2);
    // Four pixels and no end code: the data runs out at once.
    b.Descriptor(0, 0, 65535, 65535).ImageData(2, gifbytes::PackCodes({{4, 3}, {1, 3}, {2, 3}, {3, 3}, {1, 4}}));
    b.Trailer();
    const long before = ResidentKiB();
    TGIFImage image;
    Load(image, b.data);
    EXPECT_EQ(image.Width(), 65535);
    EXPECT_EQ(image.Height(), 65535);
    EXPECT_TRUE(image.Frame(0).Corrupted());
    EXPECT_EQ(image.CurrentBitmap()->PixelIndex(0, 0), 1);
    EXPECT_EQ(image.CurrentBitmap()->PixelIndex(3, 0), 1);
    EXPECT_EQ(image.CurrentBitmap()->PixelIndex(0, 65534), 0);
    const long after = ResidentKiB();
    ASSERT_GE(before, 0);
    // A full 8-bit bitmap would be 4 GiB; a row is 64 KiB.
    EXPECT_LT(after - before, 64 * 1024);
}

TEST(GIFImage, ManyFramesClaimingHugeSizesCostLittle)
{
    struct Shape {
        int width, height;
        Bytes codes;
        int x, y, index; // one pixel to check
    };
    // Tall frames with two pixels; wide frames with no pixel data at all,
    // which must not cost even their first row.
    for (const Shape& s : {Shape{1, 65535, gifbytes::PackCodes({{4, 3}, {1, 3}, {2, 3}}), 0, 1, 2},
                           Shape{65535, 1, Bytes{}, 65534, 0, 0}}) {
        SCOPED_TRACE(std::to_string(s.width) + "x" + std::to_string(s.height));
        GifBuilder b;
        b.Start(1, 1, 8);
        for (int i = 0; i < 2000; ++i)
            b.Descriptor(0, 0, s.width, s.height).ImageData(2, s.codes);
        b.Trailer();
        const long before = ResidentKiB();
        TGIFImage image;
        Load(image, b.data);
        ASSERT_EQ(image.FrameCount(), 2000u);
        for (std::size_t i = 0; i < image.FrameCount(); ++i)
            EXPECT_EQ(image.Frame(i).Bitmap().PixelIndex(s.x, s.y), s.index);
        // Storage follows the rows written, not the size each frame claims:
        // a 64 KiB row for each wide frame would be 125 MiB.
        EXPECT_LT(ResidentKiB() - before, 64 * 1024);
    }
}

TEST(GIFImage, FramesShareOnePixelAllowance)
{
    GifBuilder b;
    b.Start(2, 2, 2);
    AddTwoByTwo(b);
    AddTwoByTwo(b);
    AddTwoByTwo(b).Trailer();
    TGIFImage image;
    image.SetPixelAllowance(6);
    Load(image, b.data);
    ASSERT_EQ(image.FrameCount(), 3u);
    using V = std::vector<unsigned char>;
    const V pixels[3] = {V{1, 2, 3, 1}, V{1, 2, 0, 0}, V{0, 0, 0, 0}};
    const std::optional<TLZWOutcome> outcomes[3] = {TLZWOutcome::Complete, TLZWOutcome::PixelLimit,
                                                    TLZWOutcome::PixelLimit};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(image.Frame(i).Bitmap().Indices(), pixels[i]) << "frame " << i;
        EXPECT_EQ(image.Frame(i).DecodeOutcome(), outcomes[i]) << "frame " << i;
        EXPECT_EQ(image.Frame(i).Corrupted(), i > 0) << "frame " << i;
    }
    // A new load starts with the whole allowance again.
    Load(image, b.data);
    EXPECT_EQ(image.Frame(1).Bitmap().Indices(), pixels[1]);
}

TEST(GIFImage, SubBlockRunningPastTheEndMarksTheFrameAndKeepsItsPixels)
{
    GifBuilder b;
    b.Start(4, 1, 2);
    b.Descriptor(0, 0, 4, 1).Raw({2, 30});
    const Bytes codes = gifbytes::PackCodes({{4, 3}, {1, 3}, {2, 3}, {3, 3}});
    b.data.insert(b.data.end(), codes.begin(), codes.end());
    TGIFImage image;
    Load(image, b.data);
    ASSERT_EQ(image.FrameCount(), 1u);
    EXPECT_EQ(image.Frame(0).Bitmap().Indices(), (std::vector<unsigned char>{1, 2, 3, 0}));
    EXPECT_TRUE(image.Frame(0).Corrupted());
    Bytes kept{2, 30};
    kept.insert(kept.end(), codes.begin(), codes.end());
    EXPECT_EQ(image.Frame(0).EncodedData(), kept);
}

TEST(GIFImage, EncodedDataKeepsTheCodeSizeAndEverySubBlock)
{
    GifBuilder b;
    b.Start(2, 2, 2);
    b.Descriptor(0, 0, 2, 2);
    const std::size_t start = b.data.size();
    b.ImageData(2, TwoByTwoCodes());
    const Bytes stored(b.data.begin() + static_cast<std::ptrdiff_t>(start), b.data.end());
    b.Trailer();
    TGIFImage image;
    Load(image, b.data);
    EXPECT_EQ(image.Frame(0).EncodedData(), stored);
}

TEST(GIFImage, FrameWithoutAnyColourTableDecodesOnGrey)
{
    GifBuilder b;
    b.Start(2, 2, 0);
    AddTwoByTwo(b).Trailer();
    TGIFImage image;
    Load(image, b.data);
    const TIndexedBitmap& bitmap = image.Frame(0).Bitmap();
    EXPECT_EQ(bitmap.BitsPerPixel(), 8);
    EXPECT_EQ(bitmap.Palette()[1], (TRGBColor{128, 128, 128}));
    EXPECT_EQ(bitmap.Indices(), (std::vector<unsigned char>{1, 2, 3, 1}));
}

TEST(GIFImage, OnlyTheFirstFrameIsDecodedWhileLoading)
{
    GifBuilder b;
    b.Start(2, 2, 2);
    AddTwoByTwo(b);
    AddTwoByTwo(b).Trailer();
    TGIFImage image;
    Load(image, b.data);
    EXPECT_TRUE(image.Frame(0).HasBitmap());
    EXPECT_FALSE(image.Frame(1).HasBitmap());
    EXPECT_EQ(image.Frame(1).Bitmap().Indices(), (std::vector<unsigned char>{1, 2, 3, 1}));
}

TEST(GIFImage, NewLoadReplacesEverything)
{
    GifBuilder first;
    first.Start(2, 2, 2).Loop(3);
    AddTwoByTwo(first);
    AddTwoByTwo(first).Trailer();
    GifBuilder second;
    second.Start(2, 2, 2, 0, "GIF87a");
    AddTwoByTwo(second).Trailer();
    TGIFImage image;
    Load(image, first.data);
    Load(image, second.data);
    EXPECT_EQ(image.FrameCount(), 1u);
    EXPECT_FALSE(image.Looping());
    EXPECT_EQ(image.RepeatCount(), 1);
    EXPECT_EQ(image.Version(), TGIFVersion::GIF87a);
}

struct StoredCase {
    const char* name;
    std::int64_t announced; // -1: the real length
    bool loads;
};

class StoredData : public ::testing::TestWithParam<StoredCase> {};

TEST_P(StoredData, ReadsTheAnnouncedLengthOrFails)
{
    GifBuilder b;
    b.Start(2, 2, 2);
    AddTwoByTwo(b).Trailer();
    Bytes stored = gifbytes::Property("", b.data, GetParam().announced);
    stored.erase(stored.begin());
    for (std::size_t chunk : {std::size_t{1}, std::size_t{4096}}) {
        gifbytes::ChunkSource source(stored, chunk);
        TGIFImage image;
        if (GetParam().loads) {
            image.ReadData(source);
            EXPECT_EQ(image.Empty(), GetParam().announced == 0);
        } else {
            try {
                image.ReadData(source);
                ADD_FAILURE() << "loaded";
            } catch (const EInvalidGraphicOperation& e) {
                EXPECT_EQ(e.Message(), "Stream read error");
                EXPECT_TRUE(image.Empty());
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Lengths, StoredData,
                         ::testing::Values(StoredCase{"Exact", -1, true}, StoredCase{"Zero", 0, true},
                                           StoredCase{"OneMoreThanThere", 60, false},
                                           StoredCase{"FourGiB", 0xFFFFFFFF, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(GIFImage, StoredDataWithoutItsLengthIsAReadError)
{
    const Bytes stored{7, 0};
    TMemoryByteSource source(stored);
    TGIFImage image;
    EXPECT_THROW(image.ReadData(source), EInvalidGraphicOperation);
}

} // namespace
