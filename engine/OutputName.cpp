#include "OutputName.h"

namespace morvane {

namespace {

#if defined(_WIN32)
constexpr const char* kFolderSeparators = "\\/:";
#else
constexpr const char* kFolderSeparators = "/";
#endif

std::size_t FolderEnd(const std::string& path)
{
    const std::size_t separator = path.find_last_of(kFolderSeparators);
    return separator == std::string::npos ? 0 : separator + 1;
}

} // namespace

std::string ProposedOutputName(const std::string& inputPath)
{
    std::string name = inputPath.substr(FolderEnd(inputPath));
    const std::size_t dot = name.find_last_of('.');
    if (dot != std::string::npos)
        name.erase(dot);
    return name + " (XLS).csv";
}

std::string ProposedOutputPathBeside(const std::string& inputPath)
{
    return inputPath.substr(0, FolderEnd(inputPath)) + ProposedOutputName(inputPath);
}

} // namespace morvane
