#include "TemplateLine.h"

#include "TLineReader.h"

namespace morvane {

std::string ReadTemplateLine(const std::string& path, bool first, std::size_t maxLength)
{
    TLineReader reader;
    if (!reader.Open(path))
        return {};
    if (reader.AtEnd())
        return {};
    std::string line;
    if (first) {
        ReadLine(reader, line, maxLength);
        return line;
    }
    ReadLine(reader, line, 0);
    ReadLine(reader, line, maxLength);
    return line;
}

bool EndsBeforeHeader(const std::string& path)
{
    TLineReader reader;
    return reader.Open(path) && reader.AtEnd();
}

} // namespace morvane
