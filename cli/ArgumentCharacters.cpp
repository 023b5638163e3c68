#include "ArgumentCharacters.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#ifndef _WIN32
#include <langinfo.h>
#endif

#include "TCommandLine.h"
#include "Windows1252Code.h"

namespace morvane {

namespace {

// The length of the well-formed UTF-8 sequence of two or more bytes at the
// start of `text` (no overlong forms, no surrogates, nothing past
// U+10FFFF), and its character; 0 when there is none.
std::size_t Utf8Sequence(std::string_view text, char32_t& c)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned lead = byte(0);
    std::size_t length = 0;
    char32_t minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        minimum = 0x80;
        c = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        minimum = 0x800;
        c = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        minimum = 0x10000;
        c = lead & 0x07;
    } else {
        return 0;
    }
    if (text.size() < length)
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80)
            return 0;
        c = (c << 6) | (byte(i) & 0x3F);
    }
    if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return 0;
    return length;
}

} // namespace

TArgumentEncoding ArgumentEncodingOfProcess()
{
#ifdef _WIN32
    return TArgumentEncoding::Utf8;
#else
    const char* codeset = nl_langinfo(CODESET);
    return codeset != nullptr && std::strcmp(codeset, "UTF-8") == 0 ? TArgumentEncoding::Utf8
                                                                    : TArgumentEncoding::Bytes;
#endif
}

std::string Windows1252FromArgument(std::string_view argument, TArgumentEncoding encoding,
                                    std::string_view option)
{
    if (encoding == TArgumentEncoding::Bytes)
        return std::string(argument);
    std::string bytes;
    bytes.reserve(argument.size());
    for (std::size_t i = 0; i < argument.size();) {
        char32_t c = 0;
        const std::size_t length = Utf8Sequence(argument.substr(i), c);
        if (length == 0) {
            bytes += argument[i++];
            continue;
        }
        const int byte = Windows1252OfUnicode(c);
        if (byte < 0) {
            char code[16];
            std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(c));
            throw EUsageError(std::string(option) + ": \"" + std::string(argument.substr(i, length)) + "\" (" +
                              code + ") is not a Windows-1252 character");
        }
        bytes += static_cast<char>(byte);
        i += length;
    }
    return bytes;
}

} // namespace morvane
