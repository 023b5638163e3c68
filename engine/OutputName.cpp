#include "OutputName.h"

namespace morvane {

std::string ProposedOutputName(const std::string& inputPath)
{
    std::string name = inputPath;
    const std::size_t mark = name.find_last_of(".\\:/");
    if (mark != std::string::npos && name[mark] == '.')
        name.erase(mark);
    name += " (XLS).csv";
    const std::size_t folder = name.find_last_of("\\:/");
    if (folder != std::string::npos)
        name.erase(0, folder + 1);
    return name;
}

} // namespace morvane
