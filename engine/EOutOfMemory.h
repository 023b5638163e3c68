#pragma once

#include "EHeapException.h"

namespace morvane {

// A request for memory could not be met. The message is short enough to live
// inside the string object itself, so raising it again asks for no heap.
class EOutOfMemory : public EHeapException {
public:
    EOutOfMemory() : EHeapException("Out of memory") {}
};

} // namespace morvane
