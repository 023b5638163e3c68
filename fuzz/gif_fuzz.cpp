// Feeds arbitrary bytes to the GIF reader, then decodes every frame. The only
// acceptable outcomes are a loaded image (frames possibly marked corrupted)
// or the reader's own error; anything else, or any memory fault, is a bug.
// Each bitmap is freed once looked at, as a reader walking the frames would,
// so an input's cost is bounded by the image's pixel allowance rather than
// by how many frames it claims.
#include "EInvalidGraphicOperation.h"
#include "TGIFImage.h"
#include "TIndexedBitmap.h"
#include "TMemoryByteSource.h"

#include <cstddef>
#include <cstdint>

using namespace morvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    TGIFImage image;
    try {
        // The first byte picks the way in: a plain stream, or a stored
        // property with its own length field.
        TMemoryByteSource source({data, size});
        if (size > 0 && (data[0] & 0x80) && data[0] != 'G' && data[0] != 'g') {
            unsigned char skip = 0;
            source.Read(&skip, 1);
            image.ReadData(source);
        } else {
            image.LoadFromStream(source);
        }
    } catch (const EInvalidGraphicOperation&) {
        return 0;
    }
    volatile unsigned sink = 0;
    for (std::size_t i = 0; i < image.FrameCount(); ++i) {
        const TGIFFrame& frame = image.Frame(i);
        try {
            const TIndexedBitmap& bitmap = frame.Bitmap();
            for (int y = 0; y < bitmap.Height(); y += 1 + bitmap.Height() / 64) {
                const unsigned char* row = bitmap.ScanLine(y);
                if (bitmap.Stride() > 0)
                    sink = sink + row[0] + row[bitmap.Stride() - 1];
            }
            if (bitmap.Width() > 0 && bitmap.Height() > 0)
                sink = sink + static_cast<unsigned>(bitmap.PixelIndex(bitmap.Width() - 1, bitmap.Height() - 1));
        } catch (const EInvalidGraphicOperation&) {
        }
        if (i > 0)
            image.ReleaseBitmap(i);
    }
    (void)image.Width();
    (void)image.CurrentTransparentColor();
    return 0;
}
