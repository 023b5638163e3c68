#pragma once

#include <cstdint>

namespace morvane {

// Names one file whatever path, symlink or hard link leads to it: the
// device and inode on POSIX, the volume serial and file index on Windows.
struct TFileIdentity {
    std::uint64_t Device = 0;
    std::uint64_t Inode = 0;
    bool Known = false;

    bool SameFileAs(const TFileIdentity& other) const
    {
        return Known && other.Known && Device == other.Device && Inode == other.Inode;
    }
};

} // namespace morvane
