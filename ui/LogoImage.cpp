#include "LogoImage.h"

#include "LogoPicture.h"
#include "TGraphic.h"
#include "TIndexedBitmap.h"
#include "TPicture.h"
#include "TPictureFormats.h"

QImage LogoImage::Decode()
{
    return Decode(morvane::TPictureFormats::Global());
}

QImage LogoImage::Decode(const morvane::TPictureFormats& formats)
{
    const morvane::TPicture picture = morvane::TPicture::FromProperty(morvane::LogoPictureProperty(), formats);
    if (picture.Empty())
        return {};
    const morvane::TGraphic* graphic = picture.Graphic();
    const morvane::TIndexedBitmap* bitmap = graphic->CurrentBitmap();
    if (!bitmap)
        return {};
    return FromBitmap(*bitmap, graphic->CurrentTransparentColor());
}

QImage LogoImage::FromBitmap(const morvane::TIndexedBitmap& bitmap,
                             const std::optional<morvane::TRGBColor>& transparent)
{
    const int width = bitmap.Width();
    const int height = bitmap.Height();
    if (width <= 0 || height <= 0)
        return {};
    const morvane::TColorTable& palette = bitmap.Palette();
    QImage image(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int index = bitmap.PixelIndex(x, y);
            if (index < 0 || static_cast<std::size_t>(index) >= palette.size()) {
                line[x] = qRgb(0, 0, 0);
                continue;
            }
            const morvane::TRGBColor& c = palette[static_cast<std::size_t>(index)];
            line[x] = (transparent && c == *transparent) ? qRgba(0, 0, 0, 0) : qRgb(c.red, c.green, c.blue);
        }
    }
    return image;
}
