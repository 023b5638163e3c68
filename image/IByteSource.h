#pragma once

#include <cstddef>

namespace morvane {

// Where picture data comes from: a stored form, a file or a test's chunked
// feeder. Read returns how many bytes it delivered; 0 means the end.
class IByteSource {
public:
    virtual ~IByteSource() = default;
    virtual std::size_t Read(unsigned char* buffer, std::size_t count) = 0;
};

} // namespace morvane
