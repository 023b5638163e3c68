#pragma once

#include "Exception.h"

namespace morvane {

// Base of the errors raised by the memory manager.
class EHeapException : public Exception {
public:
    using Exception::Exception;
};

} // namespace morvane
