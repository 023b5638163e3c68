#include "WorkbookText.h"

#include "Windows1252Code.h"

#include <cstdint>

namespace morvane {

namespace {

void AppendEscaped(std::string& out, unsigned value)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    out += "_x";
    for (int shift = 12; shift >= 0; shift -= 4)
        out += kHex[value >> shift & 0xF];
    out += '_';
}

bool IsHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Whether `text` at `i` reads as an escaped character, "_xHHHH_".
bool EscapeFormAt(std::string_view text, std::size_t i)
{
    if (text.size() - i < 7 || text[i + 1] != 'x' || text[i + 6] != '_')
        return false;
    for (std::size_t k = 2; k < 6; ++k) {
        if (!IsHexDigit(text[i + k]))
            return false;
    }
    return true;
}

} // namespace

std::string WorkbookText(std::string_view windows1252)
{
    std::string out;
    out.reserve(windows1252.size() + windows1252.size() / 4);
    for (std::size_t i = 0; i < windows1252.size(); ++i) {
        const auto byte = static_cast<unsigned char>(windows1252[i]);
        if (byte < 0x20 && byte != '\t' && byte != '\n')
            AppendEscaped(out, byte);
        else if (byte == '_' && EscapeFormAt(windows1252, i))
            AppendEscaped(out, '_');
        else if (byte < 0x80)
            out += static_cast<char>(byte);
        else
            AppendUtf8(out, UnicodeOfWindows1252(byte));
    }
    return out;
}

} // namespace morvane
