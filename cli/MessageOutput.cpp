#include "MessageOutput.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace morvane {

std::string ShowControlBytes(std::string_view text)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string shown;
    shown.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            shown += "\\x";
            shown += kHex[byte >> 4];
            shown += kHex[byte & 0x0F];
        } else {
            shown += c;
        }
    }
    return shown;
}

bool ReadLineByLine(std::FILE* stream)
{
#ifdef _WIN32
    const int fd = _fileno(stream);
    if (fd < 0)
        return false;
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    const DWORD type = GetFileType(handle);
    return type == FILE_TYPE_CHAR || type == FILE_TYPE_PIPE;
#else
    const int fd = ::fileno(stream);
    if (fd < 0)
        return false;
    if (::isatty(fd))
        return true;
    struct stat st {};
    return ::fstat(fd, &st) == 0 && (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode));
#endif
}

void WriteMessage(std::FILE* stream, std::string_view message)
{
    std::string line = ReadLineByLine(stream) ? ShowControlBytes(message) : std::string(message);
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stream);
    std::fflush(stream);
}

} // namespace morvane
