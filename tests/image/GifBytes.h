#pragma once

// Builds GIF data byte by byte so each test states exactly the blocks and
// codes it feeds the reader.

#include "IByteSource.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace gifbytes {

using Bytes = std::vector<unsigned char>;

// Packs codes of given widths least-significant bit first.
class BitPacker {
public:
    void Put(int code, int width)
    {
        acc_ |= static_cast<unsigned>(code) << bits_;
        bits_ += width;
        while (bits_ >= 8) {
            out_.push_back(static_cast<unsigned char>(acc_ & 0xFF));
            acc_ >>= 8;
            bits_ -= 8;
        }
    }
    Bytes Finish()
    {
        if (bits_ > 0)
            out_.push_back(static_cast<unsigned char>(acc_ & 0xFF));
        acc_ = 0;
        bits_ = 0;
        return std::move(out_);
    }

private:
    Bytes out_;
    unsigned acc_ = 0;
    int bits_ = 0;
};

// Codes as {code, width} pairs.
inline Bytes PackCodes(std::initializer_list<std::pair<int, int>> codes)
{
    BitPacker packer;
    for (auto [code, width] : codes)
        packer.Put(code, width);
    return packer.Finish();
}

// The colour of entry i in the tables the builder writes.
inline unsigned char Red(int i) { return static_cast<unsigned char>(i); }
inline unsigned char Green(int i) { return static_cast<unsigned char>(255 - i); }
inline unsigned char Blue(int i) { return static_cast<unsigned char>(i * 7); }

class GifBuilder {
public:
    GifBuilder& Raw(std::initializer_list<int> bytes)
    {
        for (int b : bytes)
            data.push_back(static_cast<unsigned char>(b));
        return *this;
    }
    GifBuilder& Text(const std::string& s)
    {
        data.insert(data.end(), s.begin(), s.end());
        return *this;
    }
    GifBuilder& Word(int v) { return Raw({v & 0xFF, (v >> 8) & 0xFF}); }

    // Header and screen descriptor; tableBits 0 means no global table,
    // otherwise a table of 2^tableBits colours follows.
    GifBuilder& Start(int width, int height, int tableBits, int background = 0, const char* sig = "GIF89a")
    {
        Text(sig);
        Word(width).Word(height);
        const int packed = tableBits > 0 ? (0x80 | 0x70 | (tableBits - 1)) : 0x70;
        Raw({packed, background, 0});
        if (tableBits > 0)
            Table(1 << tableBits);
        return *this;
    }
    GifBuilder& Table(int count)
    {
        for (int i = 0; i < count; ++i)
            data.insert(data.end(), {Red(i), Green(i), Blue(i)});
        return *this;
    }
    GifBuilder& GraphicControl(int packed, int delay, int transparent)
    {
        Raw({0x21, 0xF9, 4, packed});
        Word(delay);
        return Raw({transparent, 0});
    }
    GifBuilder& SubBlocks(const Bytes& payload, std::size_t blockSize = 255)
    {
        for (std::size_t k = 0; k < payload.size(); k += blockSize) {
            const std::size_t n = std::min(blockSize, payload.size() - k);
            data.push_back(static_cast<unsigned char>(n));
            data.insert(data.end(), payload.begin() + static_cast<std::ptrdiff_t>(k),
                        payload.begin() + static_cast<std::ptrdiff_t>(k + n));
        }
        data.push_back(0);
        return *this;
    }
    GifBuilder& Comment(const std::string& text)
    {
        Raw({0x21, 0xFE});
        return SubBlocks(Bytes(text.begin(), text.end()));
    }
    GifBuilder& Application(const std::string& id11, const Bytes& payload)
    {
        Raw({0x21, 0xFF, 11});
        Text(id11);
        return SubBlocks(payload);
    }
    GifBuilder& Loop(int repeat, const char* id = "NETSCAPE2.0")
    {
        return Application(id, Bytes{1, static_cast<unsigned char>(repeat & 0xFF),
                                     static_cast<unsigned char>((repeat >> 8) & 0xFF)});
    }
    GifBuilder& PlainText()
    {
        Raw({0x21, 0x01, 12, 0, 0, 0, 0, 8, 0, 8, 0, 8, 8, 1, 0});
        return SubBlocks(Bytes{'h', 'i'});
    }
    // Image descriptor; localBits > 0 adds a local table of 2^localBits.
    GifBuilder& Descriptor(int left, int top, int width, int height, bool interlaced = false, int localBits = 0)
    {
        Raw({0x2C});
        Word(left).Word(top).Word(width).Word(height);
        int packed = interlaced ? 0x40 : 0;
        if (localBits > 0)
            packed |= 0x80 | (localBits - 1);
        Raw({packed});
        if (localBits > 0)
            Table(1 << localBits);
        return *this;
    }
    GifBuilder& ImageData(int minCodeSize, const Bytes& codes)
    {
        Raw({minCodeSize});
        return SubBlocks(codes);
    }
    GifBuilder& Trailer() { return Raw({0x3B}); }

    Bytes data;
};

// Hands out at most chunk bytes per read, as a slow stream would.
class ChunkSource : public morvane::IByteSource {
public:
    ChunkSource(std::span<const unsigned char> data, std::size_t chunk) : data_(data), chunk_(chunk) {}

    std::size_t Read(unsigned char* buffer, std::size_t count) override
    {
        const std::size_t n = std::min({count, chunk_, data_.size() - pos_});
        if (n > 0)
            std::memcpy(buffer, data_.data() + pos_, n);
        pos_ += n;
        return n;
    }

private:
    std::span<const unsigned char> data_;
    std::size_t chunk_;
    std::size_t pos_ = 0;
};

// A stored picture property: class name, 4-byte length, data.
inline Bytes Property(const std::string& className, const Bytes& gif, std::int64_t announced = -1)
{
    Bytes out;
    out.push_back(static_cast<unsigned char>(className.size()));
    out.insert(out.end(), className.begin(), className.end());
    const std::uint64_t n = announced < 0 ? gif.size() : static_cast<std::uint64_t>(announced);
    for (int k = 0; k < 4; ++k)
        out.push_back(static_cast<unsigned char>((n >> (8 * k)) & 0xFF));
    out.insert(out.end(), gif.begin(), gif.end());
    return out;
}

} // namespace gifbytes
