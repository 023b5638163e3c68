// libxlsxwriter refuses a text of more than 32 767 characters, the most a
// cell holds, counting the characters of the UTF-8 it is handed. A character
// XML cannot carry reaches it already written as "_xHHHH_" (WorkbookText),
// which it would count as seven, so a cell a spreadsheet shows within the
// limit was refused. Its one count is taken over here and counts such a form
// as the one character a reader makes of it; TWorkbookSink has refused a
// longer cell before, naming its line and column.
//
// Linux: the library is shared and looks the count up through the dynamic
// lookup, where the executable's own definition comes first. Windows: the
// library is static and the link wraps the call (see CMakeLists.txt).

#include <cstddef>

namespace {

bool IsHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// "_xHHHH_" at `text`, which ends at its NUL.
bool EscapeFormAt(const char* text)
{
    if (text[0] != '_' || text[1] != 'x')
        return false;
    for (int k = 2; k < 6; ++k) {
        if (!IsHexDigit(text[k]))
            return false;
    }
    return text[6] == '_';
}

} // namespace

extern "C" {

#ifdef _WIN32
#define MORVANE_UTF8_STRLEN __wrap_lxw_utf8_strlen
#else
#define MORVANE_UTF8_STRLEN lxw_utf8_strlen
#endif

__attribute__((visibility("default"))) std::size_t MORVANE_UTF8_STRLEN(const char* text)
{
    std::size_t characters = 0;
    while (*text != '\0') {
        if (EscapeFormAt(text)) {
            text += 7;
        } else {
            // A UTF-8 character is its first byte and the continuation
            // bytes behind it.
            do
                ++text;
            while ((static_cast<unsigned char>(*text) & 0xC0) == 0x80);
        }
        ++characters;
    }
    return characters;
}

} // extern "C"
