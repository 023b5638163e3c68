#pragma once

#include "Exception.h"

namespace morvane {

// A workbook could not be built: a line or cell beyond what a worksheet
// holds, or a failure of the workbook library. The message names the line
// and column, or the file and the reason.
class EWorkbookError : public Exception {
public:
    using Exception::Exception;
};

} // namespace morvane
