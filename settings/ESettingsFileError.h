#pragma once

#include "Exception.h"

namespace morvane {

// A settings file that cannot be read, written or understood. The message
// names the file and, for its contents, the line and what is wrong there.
class ESettingsFileError : public Exception {
public:
    using Exception::Exception;
};

} // namespace morvane
