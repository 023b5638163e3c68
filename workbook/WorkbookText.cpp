#include "WorkbookText.h"

#include <cstdint>

namespace morvane {

namespace {

// The characters of bytes 0x80 to 0x9F; the five bytes Windows-1252 leaves
// unassigned keep their own value, as Windows maps them.
constexpr char16_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void AppendUtf8(std::string& out, char16_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | c >> 6);
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | c >> 12);
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

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
        else if (byte < 0xA0)
            AppendUtf8(out, kHighControls[byte - 0x80]);
        else
            AppendUtf8(out, byte);
    }
    return out;
}

} // namespace morvane
