#pragma once

#include "Exception.h"

namespace morvane {

// A text that should have been a value (here: a time of day) was not.
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

} // namespace morvane
