#include "TLZWDecoder.h"

#include "TIndexedBitmap.h"

#include <cstddef>

namespace morvane {

namespace {

// Delivers codes least-significant bit first from the concatenated data of the
// sub-blocks; a length byte that runs past the data yields what is there.
class CodeReader {
public:
    explicit CodeReader(std::span<const unsigned char> encoded) : data_(encoded), pos_(1) {}

    bool Next(int width, int& code)
    {
        while (bitCount_ < width) {
            int byte = 0;
            if (!NextByte(byte))
                return false;
            bits_ |= static_cast<std::uint32_t>(byte) << bitCount_;
            bitCount_ += 8;
        }
        code = static_cast<int>(bits_ & ((1u << width) - 1u));
        bits_ >>= width;
        bitCount_ -= width;
        return true;
    }

private:
    bool NextByte(int& byte)
    {
        while (blockLeft_ == 0) {
            if (ended_ || pos_ >= data_.size())
                return false;
            blockLeft_ = data_[pos_++];
            if (blockLeft_ == 0) {
                ended_ = true;
                return false;
            }
        }
        if (pos_ >= data_.size())
            return false;
        byte = data_[pos_++];
        --blockLeft_;
        return true;
    }

    std::span<const unsigned char> data_;
    std::size_t pos_;
    std::size_t blockLeft_ = 0;
    bool ended_ = false;
    std::uint32_t bits_ = 0;
    int bitCount_ = 0;
};

} // namespace

// Places pixels left to right and moves down the rows, in the four passes of
// an interlaced image where asked. A row's storage is asked for only when its
// first pixel arrives, so a frame that claims a size its data never fills
// costs nothing for the rest.
class TLZWDecoder::PixelWriter {
public:
    PixelWriter(TIndexedBitmap& bitmap, bool interlaced, std::uint64_t limit)
        : bitmap_(bitmap), interlaced_(interlaced), left_(limit),
          done_(bitmap.Width() <= 0 || bitmap.Height() <= 0)
    {
    }

    bool Done() const { return done_; }
    bool LimitReached() const { return limitReached_; }
    std::uint64_t Written() const { return written_; }

    void Put(int pixel)
    {
        if (done_)
            return;
        if (left_ == 0) {
            limitReached_ = true;
            done_ = true;
            return;
        }
        --left_;
        ++written_;
        if (row_ == nullptr)
            row_ = bitmap_.MutableScanLine(y_);
        const auto ux = static_cast<std::size_t>(x_);
        switch (bitmap_.BitsPerPixel()) {
        case 8:
            row_[ux] = static_cast<unsigned char>(pixel);
            break;
        case 4:
            if (ux % 2 == 0)
                row_[ux / 2] = static_cast<unsigned char>((row_[ux / 2] & 0x0F) | ((pixel & 0x0F) << 4));
            else
                row_[ux / 2] = static_cast<unsigned char>((row_[ux / 2] & 0xF0) | (pixel & 0x0F));
            break;
        default:
            if (pixel & 1)
                row_[ux / 8] = static_cast<unsigned char>(row_[ux / 8] | (0x80u >> (ux % 8)));
            else
                row_[ux / 8] = static_cast<unsigned char>(row_[ux / 8] & ~(0x80u >> (ux % 8)));
            break;
        }
        if (++x_ < bitmap_.Width())
            return;
        x_ = 0;
        NextRow();
    }

private:
    void NextRow()
    {
        static constexpr int kStart[4] = {0, 4, 2, 1};
        static constexpr int kStep[4] = {8, 8, 4, 2};
        const int height = bitmap_.Height();
        if (!interlaced_) {
            ++y_;
        } else {
            y_ += kStep[pass_];
            while (y_ >= height && ++pass_ < 4)
                y_ = kStart[pass_];
        }
        row_ = nullptr;
        if (y_ >= height || pass_ >= 4)
            done_ = true;
    }

    TIndexedBitmap& bitmap_;
    bool interlaced_;
    std::uint64_t left_;
    std::uint64_t written_ = 0;
    bool done_;
    bool limitReached_ = false;
    unsigned char* row_ = nullptr;
    int x_ = 0;
    int y_ = 0;
    int pass_ = 0;
};

TLZWOutcome TLZWDecoder::Decode(std::span<const unsigned char> encoded, int bitsPerPixel, bool interlaced,
                                TIndexedBitmap& bitmap)
{
    PixelWriter out(bitmap, interlaced, pixelLimit_);
    const TLZWOutcome outcome = DecodeCodes(encoded, bitsPerPixel, out);
    pixelsWritten_ = out.Written();
    return out.LimitReached() ? TLZWOutcome::PixelLimit : outcome;
}

TLZWOutcome TLZWDecoder::DecodeCodes(std::span<const unsigned char> encoded, int bitsPerPixel, PixelWriter& out)
{
    if (encoded.empty())
        return TLZWOutcome::NoData;

    bool badCodeSize = false;
    int minCodeSize = encoded[0];
    if (minCodeSize < 2 || minCodeSize > 9) {
        badCodeSize = true;
        minCodeSize = minCodeSize < 2 ? 2 : 9;
    }
    // A clamped code size outweighs whatever went wrong after it.
    const auto stopped = [badCodeSize](TLZWOutcome why) { return badCodeSize ? TLZWOutcome::BadCodeSize : why; };
    if (bitsPerPixel < 1)
        bitsPerPixel = 1;
    if (bitsPerPixel > 8)
        bitsPerPixel = 8;

    const int clearCode = 1 << minCodeSize;
    const int endCode = clearCode + 1;
    const int firstFree = clearCode + 2;
    const int pixelMask = (1 << bitsPerPixel) - 1;

    int codeWidth = minCodeSize + 1;
    int limit = 1 << codeWidth;
    int nextFree = firstFree;
    bool tableFull = false;
    int previous = -1;

    CodeReader codes(encoded);
    int code = 0;
    while (!out.Done()) {
        if (!codes.Next(codeWidth, code))
            return stopped(TLZWOutcome::ShortData);
        if (code == endCode)
            break;

        if (code == clearCode) {
            codeWidth = minCodeSize + 1;
            limit = 1 << codeWidth;
            nextFree = firstFree;
            tableFull = false;
            previous = -1;
            // The code after a clear is a plain pixel, masked like any other;
            // a repeated clear just clears again.
            do {
                if (!codes.Next(codeWidth, code))
                    return stopped(TLZWOutcome::ShortData);
            } while (code == clearCode);
            if (code == endCode)
                break;
            const int pixel = code & pixelMask;
            out.Put(pixel);
            // A table code here names no string yet; the pixel it gave
            // stands for it, unless that pixel is itself a table code.
            if (code < clearCode)
                previous = code;
            else
                previous = pixel < clearCode ? pixel : -1;
            continue;
        }

        // Form the string of the code on the stack, last pixel first. The
        // walk ends at a code below the clear code: those are the single
        // pixels, even where the colour table is wider than the code size
        // (a 256-colour table with 2-bit codes is what encoders write for a
        // frame that uses only the first four colours).
        int depth = 0;
        int walk = code;
        const bool beyondTable = code >= firstFree && code >= nextFree;
        if (beyondTable) {
            if (previous < 0)
                return stopped(TLZWOutcome::BadCode);
            walk = previous;
            depth = 1; // slot 0 is filled below with the first pixel
        }
        while (walk >= clearCode) {
            if (depth >= kMaxChainSteps)
                return stopped(TLZWOutcome::ChainTooLong);
            stack_[static_cast<std::size_t>(depth++)] = suffix_[static_cast<std::size_t>(walk)];
            walk = prefix_[static_cast<std::size_t>(walk)];
        }
        stack_[static_cast<std::size_t>(depth++)] = static_cast<std::uint8_t>(walk & pixelMask);
        const int stringFirst = stack_[static_cast<std::size_t>(depth - 1)];
        if (beyondTable)
            stack_[0] = static_cast<std::uint8_t>(stringFirst);

        if (badCodeSize)
            return TLZWOutcome::BadCodeSize;

        for (int i = depth - 1; i >= 0 && !out.Done(); --i)
            out.Put(stack_[static_cast<std::size_t>(i)]);

        // A full table (only possible at 12 bits) has no free slot, so no
        // code can lie beyond it there.
        int current = code;
        if (!tableFull && previous >= 0) {
            prefix_[static_cast<std::size_t>(nextFree)] = static_cast<std::uint16_t>(previous);
            suffix_[static_cast<std::size_t>(nextFree)] = static_cast<std::uint8_t>(stringFirst);
            if (beyondTable)
                current = nextFree; // the slot now holds exactly this string
            ++nextFree;
            if (nextFree >= limit) {
                if (codeWidth < 12) {
                    ++codeWidth;
                    limit <<= 1;
                } else {
                    tableFull = true;
                }
            }
        }
        previous = current;
    }
    return stopped(TLZWOutcome::Complete);
}

const char* TLZWDecoder::OutcomeName(TLZWOutcome outcome)
{
    switch (outcome) {
    case TLZWOutcome::Complete:
        return "Complete";
    case TLZWOutcome::NoData:
        return "NoData";
    case TLZWOutcome::ShortData:
        return "ShortData";
    case TLZWOutcome::BadCodeSize:
        return "BadCodeSize";
    case TLZWOutcome::BadCode:
        return "BadCode";
    case TLZWOutcome::ChainTooLong:
        return "ChainTooLong";
    case TLZWOutcome::PixelLimit:
        return "PixelLimit";
    }
    return "?";
}

} // namespace morvane
