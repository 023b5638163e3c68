#include "TGIFImage.h"

#include "EInvalidGraphicOperation.h"
#include "GIFErrors.h"
#include "IByteSource.h"
#include "TByteReader.h"
#include "TPictureFormats.h"

#include <algorithm>
#include <cstdio>

namespace morvane {

namespace {

constexpr unsigned char kExtensionIntroducer = 0x21; // '!'
constexpr unsigned char kImageIntroducer = 0x2C;     // ','
constexpr unsigned char kTrailer = 0x3B;             // ';'
constexpr int kNone = -1;

constexpr unsigned char kGraphicControlLabel = 0xF9;
constexpr unsigned char kPlainTextLabel = 0x01;
constexpr unsigned char kApplicationLabel = 0xFF;
constexpr unsigned char kCommentLabel = 0xFE;

bool EqualIgnoringCase(const std::string& got, const char* want)
{
    for (std::size_t i = 0; i < got.size(); ++i) {
        char c = got[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != want[i])
            return false;
    }
    return true;
}

// The next block introducer: the first non-zero byte, or none at the end.
int NextIntroducer(TByteReader& reader)
{
    while (!reader.AtEnd()) {
        const int b = reader.ReadByte();
        if (b != 0)
            return b;
    }
    return kNone;
}

// Length-prefixed sub-blocks up to a zero length or the end of the data.
std::string ReadSubBlocks(TByteReader& reader, std::vector<std::string>* blocks = nullptr)
{
    std::string all;
    while (!reader.AtEnd()) {
        const std::size_t length = reader.ReadByte();
        if (length == 0)
            break;
        std::string block = reader.ReadString(length);
        all += block;
        if (blocks)
            blocks->push_back(std::move(block));
    }
    return all;
}

std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::string line;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            lines.push_back(line);
            line.clear();
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            line += c;
        }
    }
    if (!line.empty())
        lines.push_back(line);
    return lines;
}

std::string UnrecognizedExtensionText(unsigned label)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, kUnrecognizedExtension, label);
    return buffer;
}

} // namespace

TGIFImage::TGIFImage() = default;
TGIFImage::~TGIFImage() = default;

void TGIFImage::Clear()
{
    version_ = TGIFVersion::None;
    screenWidth_ = screenHeight_ = 0;
    bitsPerPixel_ = colorResolution_ = aspectRatio_ = 0;
    globalTable_.clear();
    backgroundIndex_ = 0;
    backgroundColor_.reset();
    comment_.clear();
    looping_ = false;
    repeatCount_ = 1;
    frames_.clear();
    frameIndex_ = -1;
    pixelsLeft_ = pixelAllowance_;
}

int TGIFImage::BitsForColorCount(std::size_t count)
{
    for (int bits = 1; bits <= 8; ++bits)
        if (count == (std::size_t{1} << bits))
            return bits;
    throw EInvalidGraphicOperation(kWrongNumberOfColors);
}

void TGIFImage::ReadData(IByteSource& source)
{
    unsigned char lengthBytes[4];
    std::size_t got = 0;
    while (got < 4) {
        const std::size_t n = source.Read(lengthBytes + got, 4 - got);
        if (n == 0) {
            Clear();
            throw EInvalidGraphicOperation(kStreamReadError);
        }
        got += n;
    }
    const std::uint32_t length = static_cast<std::uint32_t>(lengthBytes[0]) | (lengthBytes[1] << 8)
        | (lengthBytes[2] << 16) | (static_cast<std::uint32_t>(lengthBytes[3]) << 24);

    // The buffer grows with the bytes that really arrive, so a hostile
    // length costs nothing until the data is there to back it.
    std::vector<unsigned char> data;
    unsigned char chunk[65536];
    while (data.size() < length) {
        const std::size_t want = std::min<std::size_t>(sizeof chunk, length - data.size());
        const std::size_t n = source.Read(chunk, want);
        if (n == 0) {
            Clear();
            throw EInvalidGraphicOperation(kStreamReadError);
        }
        data.insert(data.end(), chunk, chunk + n);
    }
    LoadFromBytes(data);
}

void TGIFImage::LoadFromStream(IByteSource& source)
{
    std::vector<unsigned char> data;
    unsigned char chunk[65536];
    for (;;) {
        const std::size_t n = source.Read(chunk, sizeof chunk);
        if (n == 0)
            break;
        data.insert(data.end(), chunk, chunk + n);
    }
    LoadFromBytes(data);
}

void TGIFImage::LoadFromBytes(std::span<const unsigned char> gif)
{
    Clear();
    if (gif.empty())
        return;
    try {
        Parse(gif);
    } catch (...) {
        Clear();
        throw;
    }
    if (frames_.empty())
        return;
    try {
        frames_.front()->Bitmap();
    } catch (...) {
        frames_.erase(frames_.begin());
        throw;
    }
    frameIndex_ = 0;
}

void TGIFImage::Parse(std::span<const unsigned char> gif)
{
    TByteReader reader(gif);

    if (!EqualIgnoringCase(reader.ReadString(3), "gif"))
        throw EInvalidGraphicOperation(kUnknownGIFVersion);
    const std::string version = reader.ReadString(3);
    if (EqualIgnoringCase(version, "87a"))
        version_ = TGIFVersion::GIF87a;
    else if (EqualIgnoringCase(version, "89a"))
        version_ = TGIFVersion::GIF89a;
    else
        throw EInvalidGraphicOperation(kUnknownGIFVersion);

    screenWidth_ = reader.ReadWord();
    screenHeight_ = reader.ReadWord();
    const std::uint8_t packed = reader.ReadByte();
    backgroundIndex_ = reader.ReadByte();
    aspectRatio_ = reader.ReadByte();
    bitsPerPixel_ = (packed & 7) + 1;
    colorResolution_ = ((packed >> 4) & 7) + 1;
    if (packed & 0x80) {
        globalTable_.resize(std::size_t{1} << bitsPerPixel_);
        for (auto& c : globalTable_) {
            c.red = reader.ReadByte();
            c.green = reader.ReadByte();
            c.blue = reader.ReadByte();
        }
    }
    if (static_cast<std::size_t>(backgroundIndex_) < globalTable_.size())
        backgroundColor_ = globalTable_[static_cast<std::size_t>(backgroundIndex_)];

    std::vector<TGIFExtension> gathered;
    int introducer = NextIntroducer(reader);
    while (introducer != kNone && introducer != kTrailer && !reader.AtEnd()) {
        while (introducer == kExtensionIntroducer) {
            ReadExtension(reader, gathered);
            introducer = reader.AtEnd() ? kTrailer : NextIntroducer(reader);
        }

        if (introducer == kImageIntroducer) {
            auto frame = std::make_unique<TGIFFrame>();
            int frameBits = 8;
            if (!globalTable_.empty())
                frameBits = BitsForColorCount(globalTable_.size());
            frame->Read(reader, screenWidth_, screenHeight_, globalTable_, frameBits, std::move(gathered),
                        pixelsLeft_);
            gathered.clear();
            frames_.push_back(std::move(frame));
            introducer = reader.AtEnd() ? kTrailer : NextIntroducer(reader);
            if (introducer != kExtensionIntroducer && introducer != kImageIntroducer && introducer != kTrailer)
                break;
        } else {
            if ((!comment_.empty() || gathered.empty()) && introducer != kNone && introducer != kTrailer)
                throw EInvalidGraphicOperation(kStreamReadError);
            bool first = comment_.empty();
            for (const auto& ext : gathered) {
                if (ext.kind != TGIFExtension::Kind::Comment)
                    continue;
                if (!first)
                    comment_.push_back("\r\n\r\n");
                comment_.insert(comment_.end(), ext.lines.begin(), ext.lines.end());
                first = false;
            }
            gathered.clear();
        }
    }
}

void TGIFImage::ReadExtension(TByteReader& reader, std::vector<TGIFExtension>& gathered)
{
    const std::uint8_t label = reader.ReadByte();
    switch (label) {
    case kGraphicControlLabel: {
        TGIFExtension ext;
        ext.kind = TGIFExtension::Kind::GraphicControl;
        reader.ReadByte(); // block size
        ext.packed = reader.ReadByte();
        ext.delay = reader.ReadWord();
        ext.transparentIndex = reader.ReadByte();
        reader.ReadByte(); // terminator
        gathered.push_back(std::move(ext));
        break;
    }
    case kCommentLabel: {
        TGIFExtension ext;
        ext.kind = TGIFExtension::Kind::Comment;
        ext.lines = SplitLines(ReadSubBlocks(reader));
        gathered.push_back(std::move(ext));
        break;
    }
    case kPlainTextLabel: {
        unsigned char fixed[13];
        reader.ReadBytes(fixed, sizeof fixed);
        ReadSubBlocks(reader);
        gathered.clear();
        break;
    }
    case kApplicationLabel: {
        reader.ReadByte(); // block size, 11
        const std::string identifier = reader.ReadString(11);
        std::vector<std::string> blocks;
        ReadSubBlocks(reader, &blocks);
        if ((identifier == "NETSCAPE2.0" || identifier == "ANIMEXTS1.0") && !blocks.empty()
            && blocks.front().size() >= 3 && blocks.front()[0] == 1) {
            const auto& b = blocks.front();
            const int value = static_cast<unsigned char>(b[1]) | (static_cast<unsigned char>(b[2]) << 8);
            looping_ = true;
            repeatCount_ = std::min(kMaxRepeatCount, value);
        }
        break;
    }
    default:
        throw EInvalidGraphicOperation(UnrecognizedExtensionText(label));
    }
}

int TGIFImage::Width() const
{
    const TIndexedBitmap* bitmap = CurrentBitmap();
    return bitmap ? bitmap->Width() : 0;
}

int TGIFImage::Height() const
{
    const TIndexedBitmap* bitmap = CurrentBitmap();
    return bitmap ? bitmap->Height() : 0;
}

const TIndexedBitmap* TGIFImage::CurrentBitmap() const
{
    if (frameIndex_ < 0 || static_cast<std::size_t>(frameIndex_) >= frames_.size())
        return nullptr;
    return &frames_[static_cast<std::size_t>(frameIndex_)]->Bitmap();
}

std::optional<TRGBColor> TGIFImage::CurrentTransparentColor() const
{
    if (!transparent_ || frameIndex_ < 0 || static_cast<std::size_t>(frameIndex_) >= frames_.size())
        return std::nullopt;
    return frames_[static_cast<std::size_t>(frameIndex_)]->TransparentColor();
}

void TGIFImage::Register(TPictureFormats& formats)
{
    formats.Register(TPictureFormat{"TGIFImage", "gif", "CompuServe GIF Image",
                                    [] { return std::make_unique<TGIFImage>(); }});
}

} // namespace morvane
