#include "MessageOutput.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <string>
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

#ifdef _WIN32
namespace {

// True when all of `text` went to the console `stream` shows on; false
// when the stream shows on none.
bool WriteToConsole(std::FILE* stream, std::string_view text)
{
    const int fd = _fileno(stream);
    if (fd < 0)
        return false;
    const auto console = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    DWORD mode = 0;
    if (console == INVALID_HANDLE_VALUE || GetConsoleMode(console, &mode) == 0)
        return false;
    // Bytes that are no UTF-8 (a Windows-1252 name in a message) show as
    // the replacement character rather than being dropped.
    std::wstring wide;
    if (!text.empty()) {
        const int length =
            MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
        wide.resize(static_cast<std::size_t>(std::max(length, 0)));
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    }
    std::fflush(stream);
    const wchar_t* next = wide.data();
    std::size_t left = wide.size();
    while (left > 0) {
        DWORD written = 0;
        const auto chunk = static_cast<DWORD>(std::min<std::size_t>(left, 16384));
        if (WriteConsoleW(console, next, chunk, &written, nullptr) == 0 || written == 0)
            return true; // a console that takes nothing takes nothing byte by byte either
        next += written;
        left -= written;
    }
    return true;
}

} // namespace
#endif

void WriteText(std::FILE* stream, std::string_view text)
{
#ifdef _WIN32
    if (WriteToConsole(stream, text))
        return;
#endif
    std::fwrite(text.data(), 1, text.size(), stream);
}

void WriteMessage(std::FILE* stream, std::string_view message)
{
    std::string line = ReadLineByLine(stream) ? ShowControlBytes(message) : std::string(message);
    line += '\n';
    WriteText(stream, line);
    std::fflush(stream);
}

} // namespace morvane
