#pragma once

#include "Exception.h"

namespace morvane {

// MORVANE_SIMD asked for a vector width this program or processor cannot
// run, or named none it knows.
class EUnsupportedWidth : public Exception {
public:
    using Exception::Exception;
};

} // namespace morvane
