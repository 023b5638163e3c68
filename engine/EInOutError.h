#pragma once

#include "Exception.h"

namespace morvane {

// A file of the run could not be opened, read, created or written. The
// message names the file and the operating system's reason.
class EInOutError : public Exception {
public:
    using Exception::Exception;
};

} // namespace morvane
