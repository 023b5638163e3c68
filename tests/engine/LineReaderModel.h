#pragma once

// A deliberately naive reading of PE lines: one byte at a time out of literal
// 128-byte chunks, fetched only when a further byte is needed. The real
// reader must agree with it on every observable: lines, AtEnd, positions.

#include <algorithm>
#include <cstdint>
#include <string>

namespace morvane::test {

class TLineReaderModel {
public:
    explicit TLineReaderModel(std::string bytes) : bytes_(std::move(bytes)) {}

    std::string ReadLine()
    {
        lastCut_ = false;
        std::string line;
        unsigned char b = 0;
        for (;;) {
            if (!Peek(b))
                return line;
            if (b == kLF) {
                ++pos_;
                return line;
            }
            if (b == kCR) {
                ++pos_;
                if (!Peek(b))
                    return line;
                if (b == kLF) {
                    ++pos_;
                    return line;
                }
                continue;
            }
            if (b == kCtrlZ) {
                if (pos_ % 128 != 0) {
                    ++pos_;
                    lastCut_ = SkipToNextLine();
                    cutLines_ += lastCut_;
                }
                return line;
            }
            line += static_cast<char>(b);
            ++pos_;
        }
    }

    bool AtEnd()
    {
        unsigned char b = 0;
        return !Peek(b) || b == kCtrlZ;
    }

    // After AtEnd: the bytes behind the Ctrl-Z that ended the input, and its
    // offset; -1 when none did.
    std::int64_t EndMark() const
    {
        return pos_ < bytes_.size() && static_cast<unsigned char>(bytes_[pos_]) == kCtrlZ
                   ? static_cast<std::int64_t>(pos_)
                   : -1;
    }
    std::string AfterEndMark() const { return EndMark() < 0 ? std::string() : bytes_.substr(pos_ + 1); }

    // Lines whose Ctrl-Z dropped more than CRs and the line break, and
    // whether the last line read was one.
    std::int64_t CutLines() const { return cutLines_; }
    bool LastLineCut() const { return lastCut_; }
    // Where the next line starts.
    std::int64_t Offset() const { return static_cast<std::int64_t>(pos_); }

    std::int64_t PositionInBlocks() const { return static_cast<std::int64_t>(fetched_ / 128); }
    std::int64_t SizeInBlocks() const { return static_cast<std::int64_t>(bytes_.size() / 128); }

private:
    static constexpr unsigned char kLF = 10;
    static constexpr unsigned char kCR = 13;
    static constexpr unsigned char kCtrlZ = 26;

    bool Peek(unsigned char& b)
    {
        if (pos_ == fetched_) {
            if (fetched_ == bytes_.size())
                return false;
            fetched_ = std::min(fetched_ + 128, bytes_.size());
        }
        b = static_cast<unsigned char>(bytes_[pos_]);
        return true;
    }

    bool SkipToNextLine()
    {
        bool dropped = false;
        unsigned char b = 0;
        while (Peek(b) && b != kCtrlZ) {
            ++pos_;
            if (b == kLF)
                break;
            if (b != kCR)
                dropped = true;
        }
        return dropped;
    }

    std::string bytes_;
    std::size_t pos_ = 0;
    std::size_t fetched_ = 0;
    std::int64_t cutLines_ = 0;
    bool lastCut_ = false;
};

} // namespace morvane::test
