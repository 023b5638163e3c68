// Stored pictures found through the registry, and the window's own logo.
#include "EInvalidGraphicOperation.h"
#include "GifBytes.h"
#include "LogoPicture.h"
#include "TGIFImage.h"
#include "TPicture.h"
#include "TPictureFormats.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>

using namespace morvane;
using gifbytes::Bytes;

namespace {

Bytes SmallGif()
{
    gifbytes::GifBuilder b;
    b.Start(2, 1, 1).Descriptor(0, 0, 2, 1).ImageData(2, gifbytes::PackCodes({{4, 3}, {1, 3}, {0, 3}, {5, 3}}));
    return b.Trailer().data;
}

TEST(PictureFormats, GifIsFoundByClassNameAndExtension)
{
    TPictureFormats formats;
    EXPECT_EQ(formats.FindByClassName("TGIFImage"), nullptr);
    TGIFImage::Register(formats);
    const TPictureFormat* byName = formats.FindByClassName("TGIFImage");
    ASSERT_NE(byName, nullptr);
    EXPECT_EQ(byName->extension, "gif");
    for (const char* ext : {"gif", "GIF", "Gif"}) {
        const TPictureFormat* byExt = formats.FindByExtension(ext);
        ASSERT_NE(byExt, nullptr) << ext;
        EXPECT_EQ(byExt->description, "CompuServe GIF Image");
    }
    EXPECT_EQ(formats.FindByExtension("png"), nullptr);
    EXPECT_EQ(formats.FindByClassName("tgifimage"), nullptr);
    TGIFImage::Register(formats);
    EXPECT_EQ(formats.Count(), 1u);
}

TEST(Picture, StoredGifLoadsThroughTheRegistry)
{
    TPictureFormats formats;
    TGIFImage::Register(formats);
    const TPicture picture = TPicture::FromProperty(gifbytes::Property("TGIFImage", SmallGif()), formats);
    ASSERT_FALSE(picture.Empty());
    EXPECT_EQ(picture.Graphic()->Width(), 2);
    EXPECT_EQ(picture.Graphic()->Height(), 1);
    EXPECT_EQ(picture.Graphic()->CurrentBitmap()->Indices(), (std::vector<unsigned char>{1, 0}));
}

TEST(Picture, UnregisteredClassNameLeavesThePictureEmpty)
{
    TPictureFormats formats;
    TGIFImage::Register(formats);
    for (const char* name : {"TJPEGImage", "TGIFImag", ""}) {
        const TPicture picture = TPicture::FromProperty(gifbytes::Property(name, SmallGif()), formats);
        EXPECT_TRUE(picture.Empty()) << name;
    }
    TPictureFormats none;
    EXPECT_TRUE(TPicture::FromProperty(gifbytes::Property("TGIFImage", SmallGif()), none).Empty());
}

TEST(Picture, BrokenStoredPictureRaisesAndStaysEmpty)
{
    TPictureFormats formats;
    TGIFImage::Register(formats);
    Bytes bad = SmallGif();
    bad[4] = '0'; // "GIF80a"
    EXPECT_THROW(TPicture::FromProperty(gifbytes::Property("TGIFImage", bad), formats), EInvalidGraphicOperation);
    const Bytes cutName{9, 'T', 'G', 'I'};
    EXPECT_THROW(TPicture::FromProperty(cutName, formats), EInvalidGraphicOperation);
    EXPECT_THROW(TPicture::FromProperty(Bytes{}, formats), EInvalidGraphicOperation);
}

// The logo must be laid out exactly as the window's stored form expects.
TEST(Logo, StoredPropertyHasTheExpectedLayout)
{
    const auto& p = LogoPictureProperty();
    ASSERT_GT(p.size(), 14u + 13u + 768u);
    EXPECT_EQ(std::string(p.begin(), p.begin() + 10), std::string("\x09TGIFImage"));
    const std::uint32_t n = p[10] | (p[11] << 8) | (p[12] << 16) | (static_cast<std::uint32_t>(p[13]) << 24);
    EXPECT_EQ(n, p.size() - 14);
    EXPECT_EQ(n, 6759u);
    const unsigned char* g = p.data() + 14;
    EXPECT_EQ(std::string(g, g + 6), "GIF89a");
    EXPECT_EQ(g[6] | (g[7] << 8), 130);
    EXPECT_EQ(g[8] | (g[9] << 8), 75);
    EXPECT_EQ(g[10], 0xF7);
    EXPECT_EQ(g[11], 255);
    EXPECT_EQ(g[12], 0);
    const unsigned char* d = g + 13 + 768; // no extensions: the descriptor follows the table
    EXPECT_EQ(d[0], 0x2C);
    EXPECT_EQ((std::vector<int>{d[1], d[2], d[3], d[4], d[5] | (d[6] << 8), d[7] | (d[8] << 8), d[9]}),
              (std::vector<int>{0, 0, 0, 0, 130, 75, 0}));
    EXPECT_EQ(d[10], 8);
    std::size_t pos = 11, blocks = 0, lzw = 0;
    const std::size_t end = n - (static_cast<std::size_t>(d - g));
    while (pos < end && d[pos] != 0) {
        lzw += d[pos];
        pos += 1u + d[pos];
        ++blocks;
    }
    EXPECT_EQ(lzw, 5941u);
    EXPECT_EQ(blocks, 24u);
    ASSERT_EQ(pos + 2, end);
    EXPECT_EQ(d[pos + 1], 0x3B);
}

TEST(Logo, DecodesToOne130By75FrameAtEightBitsWithItsPalette)
{
    TPictureFormats formats;
    TGIFImage::Register(formats);
    const TPicture picture = TPicture::FromProperty(LogoPictureProperty(), formats);
    ASSERT_FALSE(picture.Empty());
    const auto* gif = dynamic_cast<const TGIFImage*>(picture.Graphic());
    ASSERT_NE(gif, nullptr);
    EXPECT_EQ(gif->FrameCount(), 1u);
    EXPECT_EQ(gif->Width(), 130);
    EXPECT_EQ(gif->Height(), 75);
    EXPECT_FALSE(gif->CurrentTransparentColor().has_value());
    const TGIFFrame& f = gif->Frame(0);
    EXPECT_FALSE(f.Corrupted());
    EXPECT_FALSE(f.Interlaced());
    EXPECT_FALSE(f.HasLocalColorTable());
    const TIndexedBitmap& bitmap = f.Bitmap();
    EXPECT_EQ(bitmap.BitsPerPixel(), 8);
    EXPECT_EQ(bitmap.Stride(), 132u);
    ASSERT_EQ(bitmap.Palette().size(), 256u);
    const unsigned char* table = LogoPictureProperty().data() + 14 + 13;
    for (std::size_t i = 0; i < 256; ++i)
        EXPECT_EQ(bitmap.Palette()[i], (TRGBColor{table[3 * i], table[3 * i + 1], table[3 * i + 2]})) << i;
    // The name is drawn in light letters on a dark sea: the picture uses many
    // colours, and the background index 255 is kept out of it.
    const auto indices = bitmap.Indices();
    std::vector<bool> used(256);
    for (auto v : indices)
        used[v] = true;
    EXPECT_GT(std::count(used.begin(), used.end(), true), 100);
    EXPECT_FALSE(used[255]);
}

TEST(Logo, GlobalRegistryReadsTheLogoOnceRegistered)
{
    TGIFImage::Register(TPictureFormats::Global());
    const TPicture picture = TPicture::FromProperty(LogoPictureProperty(), TPictureFormats::Global());
    ASSERT_FALSE(picture.Empty());
    EXPECT_EQ(picture.Graphic()->Width(), 130);
}

} // namespace
