#include "TByteReader.h"

#include "EInvalidGraphicOperation.h"
#include "GIFErrors.h"

#include <cstring>

namespace morvane {

void TByteReader::Require(std::size_t count) const
{
    if (count > Remaining())
        throw EInvalidGraphicOperation(kStreamReadError);
}

std::uint8_t TByteReader::ReadByte()
{
    Require(1);
    return data_[pos_++];
}

std::uint16_t TByteReader::ReadWord()
{
    Require(2);
    const auto value = static_cast<std::uint16_t>(data_[pos_] | (data_[pos_ + 1] << 8));
    pos_ += 2;
    return value;
}

void TByteReader::ReadBytes(unsigned char* out, std::size_t count)
{
    Require(count);
    if (count > 0)
        std::memcpy(out, data_.data() + pos_, count);
    pos_ += count;
}

std::string TByteReader::ReadString(std::size_t count)
{
    Require(count);
    std::string s(reinterpret_cast<const char*>(data_.data() + pos_), count);
    pos_ += count;
    return s;
}

void TByteReader::AppendBytes(std::vector<unsigned char>& out, std::size_t count)
{
    Require(count);
    out.insert(out.end(), data_.begin() + static_cast<std::ptrdiff_t>(pos_),
               data_.begin() + static_cast<std::ptrdiff_t>(pos_ + count));
    pos_ += count;
}

} // namespace morvane
