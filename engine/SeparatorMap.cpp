#include "SeparatorMap.h"

#include "TLineMapper.h"

namespace morvane {

bool IsSeparator(char byte, std::string_view separatorSet)
{
    return separatorSet.find(byte) != std::string_view::npos;
}

std::vector<TSeparatorOccurrence> FindSeparators(std::string_view templateLine,
                                                 std::string_view separatorSet)
{
    const TLineMapper mapper(separatorSet, {});
    std::vector<TSeparatorOccurrence> found;
    for (std::size_t i = 0; i < templateLine.size(); ++i) {
        if (mapper.IsSeparator(static_cast<unsigned char>(templateLine[i])))
            found.push_back({i + 1, templateLine[i]});
    }
    return found;
}

std::string MapLine(std::string_view line, std::string_view separatorSet,
                    const std::vector<std::string>& replacements)
{
    if (line.empty())
        return {};
    return TLineMapper(separatorSet, replacements).Map(line);
}

} // namespace morvane
