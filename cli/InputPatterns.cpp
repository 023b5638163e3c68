#include "InputPatterns.h"

#include "TCommandLine.h"

#ifdef _WIN32
#include <algorithm>

#include <windows.h>

#include "WideText.h"
#endif

namespace morvane {

#ifdef _WIN32

namespace {

// The files (not folders) that `pattern` names, each with the folder part
// of the pattern in front.
std::vector<std::string> MatchingFiles(const std::string& pattern)
{
    std::wstring widePattern;
    if (!WideFromUtf8(pattern, widePattern))
        return {};
    const std::size_t slash = pattern.find_last_of("\\/:");
    const std::string folder = slash == std::string::npos ? "" : pattern.substr(0, slash + 1);
    std::vector<std::string> files;
    WIN32_FIND_DATAW found {};
    const HANDLE search =
        FindFirstFileExW(widePattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE)
        return {};
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
            files.push_back(folder + Utf8FromWide(found.cFileName));
    } while (FindNextFileW(search, &found) != 0);
    FindClose(search);
    std::sort(files.begin(), files.end());
    return files;
}

} // namespace

std::vector<std::string> ExpandInputPatterns(const std::vector<std::string>& inputs)
{
    std::vector<std::string> expanded;
    for (const std::string& input : inputs) {
        const std::size_t slash = input.find_last_of("\\/:");
        const std::size_t name = slash == std::string::npos ? 0 : slash + 1;
        if (input.find_first_of("*?", name) == std::string::npos) {
            expanded.push_back(input);
            continue;
        }
        const std::vector<std::string> files = MatchingFiles(input);
        if (files.empty())
            throw EUsageError("no file matches \"" + input + "\"");
        expanded.insert(expanded.end(), files.begin(), files.end());
    }
    return expanded;
}

#else

std::vector<std::string> ExpandInputPatterns(const std::vector<std::string>& inputs)
{
    return inputs;
}

#endif

} // namespace morvane
