// Files written by independent encoders, decoded and compared index by index
// with what those encoders were given. Every file is loaded three ways: all at
// once, and through sources that deliver 1 and 7 bytes per read.
#include "GifBytes.h"
#include "TGIFImage.h"
#include "TMemoryByteSource.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

using namespace morvane;

namespace {

struct GoldenFrame {
    std::string file;
    int frame, left, top, width, height, bits, interlaced, local, transparent, interval;
};

std::string DataPath(const std::string& name)
{
    return std::string(MORVANE_TEST_DATA) + "/gif/" + name;
}

std::vector<unsigned char> ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<GoldenFrame> Manifest()
{
    std::vector<GoldenFrame> rows;
    std::ifstream in(DataPath("golden.txt"));
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty())
            continue;
        std::istringstream fields(line);
        GoldenFrame g;
        fields >> g.file >> g.frame >> g.left >> g.top >> g.width >> g.height >> g.bits >> g.interlaced >> g.local
            >> g.transparent >> g.interval;
        rows.push_back(g);
    }
    return rows;
}

std::string Label(const GoldenFrame& g)
{
    return g.file + " frame " + std::to_string(g.frame);
}

void CheckFrame(const TGIFImage& image, const GoldenFrame& g, const std::string& how)
{
    SCOPED_TRACE(Label(g) + " " + how);
    ASSERT_LT(static_cast<std::size_t>(g.frame), image.FrameCount());
    const TGIFFrame& f = image.Frame(static_cast<std::size_t>(g.frame));
    EXPECT_EQ(f.Left(), g.left);
    EXPECT_EQ(f.Top(), g.top);
    EXPECT_EQ(f.Width(), g.width);
    EXPECT_EQ(f.Height(), g.height);
    EXPECT_EQ(f.BitsPerPixel(), g.bits);
    EXPECT_EQ(f.Interlaced(), g.interlaced != 0);
    EXPECT_EQ(f.HasLocalColorTable(), g.local != 0);
    EXPECT_EQ(f.AnimateInterval(), g.interval);
    EXPECT_EQ(f.ColorTable().size(), std::size_t{1} << g.bits);
    if (g.transparent < 0) {
        EXPECT_FALSE(f.TransparentColor().has_value());
    } else {
        ASSERT_TRUE(f.TransparentColor().has_value());
        EXPECT_EQ(*f.TransparentIndex(), g.transparent);
        EXPECT_EQ(*f.TransparentColor(), f.ColorTable()[static_cast<std::size_t>(g.transparent)]);
    }

    const TIndexedBitmap& bitmap = f.Bitmap();
    EXPECT_FALSE(f.Corrupted());
    const int depth = g.bits == 1 ? 1 : (g.bits <= 4 ? 4 : 8);
    EXPECT_EQ(bitmap.BitsPerPixel(), depth);
    ASSERT_EQ(bitmap.Palette().size(), std::size_t{1} << depth);
    for (std::size_t i = 0; i < bitmap.Palette().size(); ++i) {
        const TRGBColor want = i < f.ColorTable().size() ? f.ColorTable()[i] : TRGBColor{128, 128, 128};
        EXPECT_EQ(bitmap.Palette()[i], want) << "palette entry " << i;
    }

    const auto expected = ReadFile(DataPath(g.file.substr(0, g.file.size() - 4) + ".f" + std::to_string(g.frame)
                                            + ".idx"));
    ASSERT_EQ(expected.size(), static_cast<std::size_t>(g.width) * static_cast<std::size_t>(g.height));
    const auto got = bitmap.Indices();
    ASSERT_EQ(got.size(), expected.size());
    std::size_t firstDiff = got.size();
    for (std::size_t i = 0; i < got.size() && firstDiff == got.size(); ++i)
        if (got[i] != expected[i])
            firstDiff = i;
    EXPECT_EQ(firstDiff, got.size()) << "first differing pixel (x " << firstDiff % static_cast<std::size_t>(g.width)
                                     << ", y " << firstDiff / static_cast<std::size_t>(g.width) << ")";
}


TEST(GIFGoldenManifest, EveryFrameMatchesWhenReadWholeAndInTinyChunks)
{
    const auto rows = Manifest();
    ASSERT_GE(rows.size(), 15u);
    for (const std::size_t chunk : {std::size_t{0}, std::size_t{1}, std::size_t{7}}) {
        for (const auto& g : rows) {
            const auto bytes = ReadFile(DataPath(g.file));
            ASSERT_FALSE(bytes.empty()) << g.file;
            TGIFImage image;
            if (chunk == 0) {
                TMemoryByteSource source(bytes);
                image.LoadFromStream(source);
            } else {
                gifbytes::ChunkSource source(bytes, chunk);
                image.LoadFromStream(source);
            }
            CheckFrame(image, g, chunk == 0 ? "whole" : "chunks of " + std::to_string(chunk));
        }
    }
}

TEST(GIFGoldenManifest, StoredPropertyInTinyChunksGivesTheSamePixels)
{
    for (const auto& g : Manifest()) {
        const auto bytes = ReadFile(DataPath(g.file));
        // The property framing without its class name: length, then data,
        // then bytes of whatever follows in the stored form.
        auto stored = gifbytes::Property("", bytes);
        stored.erase(stored.begin());
        stored.insert(stored.end(), {0x55, 0x66});
        gifbytes::ChunkSource source(stored, 3);
        TGIFImage image;
        image.ReadData(source);
        CheckFrame(image, g, "stored property");
        unsigned char rest[4] = {};
        EXPECT_EQ(source.Read(rest, sizeof rest), 2u) << "the reader took more than its N bytes";
        EXPECT_EQ(rest[0], 0x55);
    }
}

} // namespace
