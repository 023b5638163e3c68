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

// Places pixels left to right and moves down the rows, in the four passes of
// an interlaced image where asked.
class PixelWriter {
public:
    PixelWriter(TIndexedBitmap& bitmap, bool interlaced)
        : bitmap_(bitmap), interlaced_(interlaced),
          done_(bitmap.Width() <= 0 || bitmap.Height() <= 0)
    {
        if (!done_)
            row_ = bitmap_.MutableScanLine(0);
    }

    bool Done() const { return done_; }

    void Put(int pixel)
    {
        if (done_)
            return;
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
        if (y_ >= height || pass_ >= 4) {
            done_ = true;
            return;
        }
        row_ = bitmap_.MutableScanLine(y_);
    }

    TIndexedBitmap& bitmap_;
    bool interlaced_;
    bool done_;
    unsigned char* row_ = nullptr;
    int x_ = 0;
    int y_ = 0;
    int pass_ = 0;
};

} // namespace

bool TLZWDecoder::Decode(std::span<const unsigned char> encoded, int bitsPerPixel, bool interlaced,
                         TIndexedBitmap& bitmap)
{
    PixelWriter out(bitmap, interlaced);
    if (encoded.empty())
        return true;

    bool corrupted = false;
    int minCodeSize = encoded[0];
    if (minCodeSize < 2 || minCodeSize > 9) {
        corrupted = true;
        minCodeSize = minCodeSize < 2 ? 2 : 9;
    }
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
            return true; // data ran out early: the rows decoded so far stay
        if (code == endCode)
            break;

        if (code == clearCode) {
            codeWidth = minCodeSize + 1;
            limit = 1 << codeWidth;
            nextFree = firstFree;
            tableFull = false;
            previous = -1;
            // The code after a clear is a plain pixel. A repeated clear just
            // clears again; a table code here has no string to refer to.
            do {
                if (!codes.Next(codeWidth, code))
                    return true;
            } while (code == clearCode);
            if (code == endCode)
                return corrupted;
            if (code >= firstFree)
                return true;
            out.Put(code & pixelMask);
            previous = code;
            continue;
        }

        // Form the string of the code on the stack, last pixel first.
        int depth = 0;
        int walk = code;
        const bool beyondTable = code >= firstFree && code >= nextFree;
        if (beyondTable) {
            if (previous < 0)
                return true; // nothing to extend
            walk = previous;
            depth = 1; // slot 0 is filled below with the first pixel
        }
        while (walk >= clearCode) {
            if (depth >= kMaxChainSteps)
                return true; // a chain longer than the table can hold
            stack_[static_cast<std::size_t>(depth++)] = suffix_[static_cast<std::size_t>(walk)];
            walk = prefix_[static_cast<std::size_t>(walk)];
        }
        stack_[static_cast<std::size_t>(depth++)] = static_cast<std::uint8_t>(walk & pixelMask);
        const int stringFirst = stack_[static_cast<std::size_t>(depth - 1)];
        if (beyondTable)
            stack_[0] = static_cast<std::uint8_t>(stringFirst);

        if (corrupted)
            return true;

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
    return corrupted;
}

} // namespace morvane
