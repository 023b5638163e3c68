#include "TMemoryByteSource.h"

#include <algorithm>
#include <cstring>

namespace morvane {

TMemoryByteSource::TMemoryByteSource(std::span<const unsigned char> data) : data_(data) {}

std::size_t TMemoryByteSource::Read(unsigned char* buffer, std::size_t count)
{
    const std::size_t n = std::min(count, data_.size() - position_);
    if (n > 0) {
        std::memcpy(buffer, data_.data() + position_, n);
        position_ += n;
    }
    return n;
}

} // namespace morvane
