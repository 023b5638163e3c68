// gifdump FILE [--frame N] [--indices OUT]
// Prints what the GIF reader made of a file, one "key: value" line each, and
// optionally writes one frame's palette indices (one byte per pixel, row-major,
// top row first). A corrupted frame's line says why: how its decoding ended,
// or "cut short" when its data stopped inside a sub-block.
#include "EInvalidGraphicOperation.h"
#include "TGIFImage.h"
#include "TMemoryByteSource.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

using namespace morvane;

namespace {

int Usage()
{
    std::cerr << "usage: gifdump FILE [--frame N] [--indices OUT]\n";
    return 2;
}

const char* YesNo(bool b)
{
    return b ? "yes" : "no";
}

const char* VersionText(TGIFVersion v)
{
    switch (v) {
    case TGIFVersion::GIF87a:
        return "87a";
    case TGIFVersion::GIF89a:
        return "89a";
    default:
        return "none";
    }
}

std::string ColorText(const TRGBColor& c)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "#%02x%02x%02x", c.red, c.green, c.blue);
    return buffer;
}

// Why a corrupted frame is so: how its decoding ended, or, when that went
// to the end, that its data was cut off inside a sub-block.
std::string CorruptionReason(const TGIFFrame& f)
{
    if (!f.Corrupted())
        return "";
    const auto outcome = f.DecodeOutcome();
    if (outcome && *outcome != TLZWOutcome::Complete)
        return std::string(" (") + TLZWDecoder::OutcomeName(*outcome) + ")";
    return " (cut short)";
}

// Row by row, so a frame that claims a huge size is written without holding
// all of it at once.
bool WriteIndices(const TIndexedBitmap& bitmap, const std::string& path)
{
    std::ofstream out(path, std::ios::binary);
    if (!out) {
        std::cerr << "gifdump: cannot create " << path << "\n";
        return false;
    }
    std::vector<unsigned char> row(static_cast<std::size_t>(bitmap.Width()));
    for (int y = 0; y < bitmap.Height(); ++y) {
        for (int x = 0; x < bitmap.Width(); ++x)
            row[static_cast<std::size_t>(x)] = static_cast<unsigned char>(bitmap.PixelIndex(x, y));
        out.write(reinterpret_cast<const char*>(row.data()), static_cast<std::streamsize>(row.size()));
    }
    if (!out.flush()) {
        std::cerr << "gifdump: cannot write " << path << "\n";
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    std::string path;
    std::string indicesPath;
    long frameNumber = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--frame" && i + 1 < argc) {
            char* end = nullptr;
            frameNumber = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || frameNumber < 0)
                return Usage();
        } else if (arg == "--indices" && i + 1 < argc) {
            indicesPath = argv[++i];
        } else if (path.empty() && !arg.empty() && arg[0] != '-') {
            path = arg;
        } else {
            return Usage();
        }
    }
    if (path.empty())
        return Usage();

    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::cerr << "gifdump: cannot open " << path << "\n";
        return 1;
    }
    const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());

    TGIFImage image;
    try {
        TMemoryByteSource source(bytes);
        image.LoadFromStream(source);
    } catch (const EInvalidGraphicOperation& e) {
        std::cout << "error: " << e.Message() << "\n";
        std::cerr << e.Message() << "\n";
        return 1;
    }

    std::cout << "version: " << VersionText(image.Version()) << "\n"
              << "screen: " << image.ScreenWidth() << "x" << image.ScreenHeight() << "\n"
              << "global colours: " << image.GlobalColorTable().size() << "\n"
              << "background: " << image.BackgroundIndex() << "\n"
              << "loop: " << YesNo(image.Looping()) << "\n"
              << "repeat: " << image.RepeatCount() << "\n"
              << "frames: " << image.FrameCount() << "\n";
    // Each frame's bitmap is freed once its line (and its indices, when
    // asked for) are out, so a file of many frames costs one frame at a time.
    const bool wantIndices = !indicesPath.empty();
    const bool haveFrame = static_cast<std::size_t>(frameNumber) < image.FrameCount();
    int status = 0;
    for (std::size_t i = 0; i < image.FrameCount(); ++i) {
        const TGIFFrame& f = image.Frame(i);
        std::string colourError;
        try {
            f.Bitmap();
        } catch (const EInvalidGraphicOperation& e) {
            // The frame line still shows what was read; the bitmap stays unbuilt.
            colourError = e.Message();
        }
        std::string transparent = "none";
        if (f.TransparentColor())
            transparent = ColorText(*f.TransparentColor()) + " (index " + std::to_string(*f.TransparentIndex()) + ")";
        std::cout << "frame " << i << ": position " << f.Left() << "," << f.Top() << "; size " << f.Width() << "x"
                  << f.Height() << "; bits per pixel " << f.BitsPerPixel() << "; interlaced "
                  << YesNo(f.Interlaced()) << "; local table " << YesNo(f.HasLocalColorTable())
                  << "; transparent " << transparent << "; interval " << f.AnimateInterval() << "; disposal "
                  << f.Disposal() << "; corrupted " << YesNo(f.Corrupted()) << CorruptionReason(f) << "\n";
        if (wantIndices && i == static_cast<std::size_t>(frameNumber)) {
            if (!colourError.empty()) {
                std::cerr << colourError << "\n";
                status = 1;
            } else if (!WriteIndices(f.Bitmap(), indicesPath)) {
                status = 1;
            }
        }
        image.ReleaseBitmap(i);
    }

    if (wantIndices && !haveFrame) {
        std::cerr << "gifdump: no frame " << frameNumber << "\n";
        return 1;
    }
    return status;
}
