#pragma once

#include "Exception.h"

namespace morvane {

// Raised by the picture decoders for data they cannot make into a picture.
class EInvalidGraphicOperation : public Exception {
public:
    using Exception::Exception;
};

} // namespace morvane
