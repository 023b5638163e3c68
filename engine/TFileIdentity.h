#pragma once

#include <sys/types.h>

namespace morvane {

// Names one file whatever path, symlink or hard link leads to it.
struct TFileIdentity {
    dev_t Device = 0;
    ino_t Inode = 0;
    bool Known = false;

    bool SameFileAs(const TFileIdentity& other) const
    {
        return Known && other.Known && Device == other.Device && Inode == other.Inode;
    }
};

} // namespace morvane
