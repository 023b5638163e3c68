#pragma once

#include <string>
#include <vector>

namespace morvane {

// On Windows the shell hands "*" and "?" over as they are typed; each input
// holding them is replaced by the files its last component matches, sorted
// by name, as a POSIX shell would have done. Raises EUsageError naming a
// pattern that matches no file. Elsewhere the inputs are returned unchanged.
std::vector<std::string> ExpandInputPatterns(const std::vector<std::string>& inputs);

} // namespace morvane
