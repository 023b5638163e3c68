#pragma once

#include <QImage>

#include <optional>

namespace morvane {
class TIndexedBitmap;
class TPictureFormats;
struct TRGBColor;
} // namespace morvane

// The window's logo: the picture stored with the window, read through the
// registered picture formats and turned from the decoder's palette bitmap
// into an image the toolkit can draw.
class LogoImage {
public:
    // Through the program's registry. Null when the stored picture's kind is
    // not registered.
    static QImage Decode();
    static QImage Decode(const morvane::TPictureFormats& formats);

    // Pixels whose palette colour is `transparent` become fully transparent;
    // an index beyond the palette reads as black.
    static QImage FromBitmap(const morvane::TIndexedBitmap& bitmap,
                             const std::optional<morvane::TRGBColor>& transparent);
};
