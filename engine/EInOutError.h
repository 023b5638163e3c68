#pragma once

#include "Exception.h"

#include <string>

namespace morvane {

// A file of the run could not be opened, read, created or written. The
// message names the file and the operating system's reason.
class EInOutError : public Exception {
public:
    using Exception::Exception;

    // The input could not be opened: the one wording for the window, the
    // converter and the check alike. osError is the system's error code.
    static EInOutError CannotOpenPeFile(const std::string& path, int osError);
};

} // namespace morvane
