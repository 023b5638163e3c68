#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace morvane {

// A bounds-checked cursor over the bytes of one GIF. Reading a fixed-size
// field past the end raises the read error, so no caller ever indexes past
// the buffer.
class TByteReader {
public:
    explicit TByteReader(std::span<const unsigned char> data) : data_(data) {}

    bool AtEnd() const { return pos_ >= data_.size(); }
    std::size_t Remaining() const { return data_.size() - pos_; }
    std::size_t Position() const { return pos_; }

    std::uint8_t ReadByte();
    std::uint16_t ReadWord(); // little-endian
    void ReadBytes(unsigned char* out, std::size_t count);
    std::string ReadString(std::size_t count);
    // Copies count bytes to the end of out.
    void AppendBytes(std::vector<unsigned char>& out, std::size_t count);

private:
    void Require(std::size_t count) const;

    std::span<const unsigned char> data_;
    std::size_t pos_ = 0;
};

} // namespace morvane
