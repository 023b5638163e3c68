#pragma once

#include <string>

namespace morvane {

// The output name proposed for an input path: its file name with
// " (XLS).csv" in place of its extension, without any folder. Only the
// platform's folder separators cut the path ("/" here); "\" and ":" are
// ordinary name characters on Linux.
std::string ProposedOutputName(const std::string& inputPath);

// The proposed name in the input's own folder rather than the current one.
std::string ProposedOutputPathBeside(const std::string& inputPath);

} // namespace morvane
