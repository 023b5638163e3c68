#pragma once

#include <string>

namespace morvane {

// The output name proposed for an input path: its file name with
// " (XLS).csv" in place of its extension, without any folder. "/", "\" and
// ":" all count as folder separators.
std::string ProposedOutputName(const std::string& inputPath);

} // namespace morvane
