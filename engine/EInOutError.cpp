#include "EInOutError.h"

#include "TOsFile.h"

namespace morvane {

EInOutError EInOutError::CannotOpenPeFile(const std::string& path, int osError)
{
    return EInOutError("Cannot open the PE file \"" + path + "\": " + TOsFile::ErrorText(osError));
}

} // namespace morvane
