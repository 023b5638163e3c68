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

std::size_t CountSeparators(std::string_view line, std::string_view separatorSet)
{
    // The count the batch check compares lines by.
    return TLineMapper(separatorSet, {}).CountSeparators(line.data(), line.size());
}

std::vector<TOccurrenceFields> OccurrenceFields(std::string_view line, std::string_view separatorSet,
                                                std::size_t limit)
{
    const TLineMapper mapper(separatorSet, {});
    std::vector<TOccurrenceFields> found;
    std::size_t fieldStart = 0;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (!mapper.IsSeparator(static_cast<unsigned char>(line[i])))
            continue;
        // This separator ends the field after the previous one.
        if (!found.empty())
            found.back().After = line.substr(fieldStart, i - fieldStart);
        if (found.size() == limit)
            return found;
        found.push_back({line[i], line.substr(fieldStart, i - fieldStart), {}});
        fieldStart = i + 1;
    }
    if (!found.empty())
        found.back().After = line.substr(fieldStart);
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
