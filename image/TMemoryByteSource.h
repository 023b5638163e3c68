#pragma once

#include "IByteSource.h"

#include <cstddef>
#include <span>

namespace morvane {

// Reads from bytes held by the caller, which must outlive the source.
class TMemoryByteSource : public IByteSource {
public:
    explicit TMemoryByteSource(std::span<const unsigned char> data);

    std::size_t Read(unsigned char* buffer, std::size_t count) override;
    std::size_t Position() const { return position_; }

private:
    std::span<const unsigned char> data_;
    std::size_t position_ = 0;
};

} // namespace morvane
