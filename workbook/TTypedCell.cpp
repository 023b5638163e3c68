#include "TTypedCell.h"

#include <algorithm>

#include "DecimalNumber.h"
#include "TimeOfDay.h"

namespace morvane {

bool TTypedCell::ReadNumber(std::string_view cell, double& value)
{
    // One rule for the worksheet and the look window alike.
    return ReadDecimalNumber(cell, value);
}

TTypedCell TTypedCell::Of(std::string_view cell)
{
    TTypedCell typed;
    if (cell.empty())
        return typed;
    if (ReadNumber(cell, typed.Value)) {
        typed.Kind = TKind::Number;
        return typed;
    }
    if (TryCellTimeOfDayFromBytes(cell, typed.Value, typed.HasMilliseconds)) {
        typed.Kind = TKind::Time;
        return typed;
    }
    typed.Kind = TKind::Text;
    return typed;
}

std::string TTypedCell::Describe(std::string_view cell)
{
    switch (Of(cell).Kind) {
    case TKind::Empty:
        return "[empty]";
    case TKind::Number:
        return "[number " + std::string(cell) + "]";
    case TKind::Time:
        return "[time " + std::string(cell) + "]";
    case TKind::Text:
        break;
    }
    return "[text \"" + std::string(cell) + "\"]";
}

std::string TTypedCell::DescribeLine(std::string_view line, char separator, bool header)
{
    std::string out;
    for (std::size_t from = 0;;) {
        const std::size_t end = std::min(line.find(separator, from), line.size());
        const std::string_view cell = line.substr(from, end - from);
        if (!out.empty())
            out += ' ';
        out += header && !cell.empty() ? "[text \"" + std::string(cell) + "\"]" : Describe(cell);
        if (end == line.size())
            return out;
        from = end + 1;
    }
}

} // namespace morvane
