#include "TTerminalProgress.h"

#include <algorithm>

#include "MessageOutput.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace morvane {

namespace {

constexpr int kBarWidth = 30;
// The narrowest the bar gets before the line is cut at its end.
constexpr int kNarrowestBar = 10;

// Characters a terminal shows for UTF-8 text: one per character, whatever
// its number of bytes.
int Width(const std::string& text)
{
    int width = 0;
    for (const char c : text)
        width += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return width;
}

// The last `width` characters of the text.
std::string LastCharacters(const std::string& text, int width)
{
    std::size_t start = text.size();
    for (int kept = 0; start > 0 && kept < width;) {
        --start;
        kept += (static_cast<unsigned char>(text[start]) & 0xC0) != 0x80;
    }
    return text.substr(start);
}

// The first `width` characters of the text.
std::string FirstCharacters(const std::string& text, int width)
{
    std::size_t end = 0;
    for (int kept = 0; end < text.size(); ++end) {
        if ((static_cast<unsigned char>(text[end]) & 0xC0) != 0x80 && kept++ == width)
            break;
    }
    return text.substr(0, end);
}

std::string Bar(int percent, int width)
{
    const int filled = percent * width / 100;
    return "[" + std::string(static_cast<std::size_t>(filled), '#') +
           std::string(static_cast<std::size_t>(width - filled), ' ') + "]";
}

} // namespace

TTerminalProgress::TTerminalProgress(std::FILE* stream, std::string label)
    : stream_(stream)
    , label_(std::move(label))
{
}

TTerminalProgress::TTerminalProgress(std::FILE* stream, std::string label, int columns)
    : stream_(stream)
    , label_(std::move(label))
    , columns_(std::max(columns, 0))
{
}

int TTerminalProgress::Columns(std::FILE* stream)
{
#ifdef _WIN32
    // The screen buffer's width is where the console wraps a line.
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    CONSOLE_SCREEN_BUFFER_INFO screen {};
    if (handle == INVALID_HANDLE_VALUE || GetConsoleScreenBufferInfo(handle, &screen) == 0)
        return 0;
    return std::max<int>(screen.dwSize.X, 0);
#else
    winsize size {};
    if (::ioctl(::fileno(stream), TIOCGWINSZ, &size) != 0)
        return 0;
    return size.ws_col;
#endif
}

std::string TTerminalProgress::Line(const std::string& label, int percent, const std::string& text, int columns)
{
    char shownPercent[8];
    std::snprintf(shownPercent, sizeof shownPercent, "%3d%%", percent);
    const std::string tail = std::string(shownPercent) + " " + text;
    std::string line = label + " " + Bar(percent, kBarWidth) + " " + tail;
    if (columns <= 0 || Width(line) < columns)
        return line;
    const int room = columns - 1;
    // The file's name keeps its end, which tells files apart.
    const int barAndTail = Width(Bar(percent, kBarWidth) + " " + tail);
    const int labelRoom = room - barAndTail - 1;
    if (labelRoom >= 4)
        return "\u2026" + LastCharacters(label, labelRoom - 1) + " " + Bar(percent, kBarWidth) + " " + tail;
    const int barWidth = std::max(kNarrowestBar, room - Width(tail) - 3);
    line = Bar(percent, std::min(barWidth, kBarWidth)) + " " + tail;
    return FirstCharacters(line, room);
}

bool TTerminalProgress::IsTerminal(std::FILE* stream)
{
#ifdef _WIN32
    // The C runtime counts the null device as a terminal; only a console
    // has a console mode.
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    DWORD mode = 0;
    return handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) != 0;
#else
    return ::isatty(::fileno(stream)) != 0;
#endif
}

void TTerminalProgress::SetText(const std::string& text)
{
    text_ = text;
    if (visible_ && percent_ >= 0)
        Draw(percent_);
}

void TTerminalProgress::Show()
{
    visible_ = true;
}

void TTerminalProgress::SetMaximum(std::int64_t maximum)
{
    maximum_ = maximum;
    nextValue_ = 0;
}

void TTerminalProgress::SetValue(std::int64_t value)
{
    if (value < nextValue_ || maximum_ <= 0)
        return;
    const int percent = static_cast<int>(std::clamp<std::int64_t>(value * 100 / maximum_, 0, 100));
    // The smallest value that shows the next percent.
    nextValue_ = ((percent + 1) * maximum_ + 99) / 100;
    if (percent != percent_)
        Draw(percent);
}

void TTerminalProgress::SetPercent(int percent)
{
    Draw(std::clamp(percent, 0, 100));
    if (text_ == "finished")
        std::fputc('\n', stream_);
    std::fflush(stream_);
}

void TTerminalProgress::ClearLine()
{
    if (!visible_ || percent_ < 0)
        return;
#ifdef _WIN32
    // A console that refused escape sequences would print "ESC[K" as it
    // stands; there the line is blanked through the console itself.
    std::fflush(stream_);
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream_)));
    DWORD mode = 0;
    CONSOLE_SCREEN_BUFFER_INFO screen {};
    if (GetConsoleMode(handle, &mode) != 0 && (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) == 0 &&
        GetConsoleScreenBufferInfo(handle, &screen) != 0) {
        const COORD lineStart {0, screen.dwCursorPosition.Y};
        DWORD written = 0;
        FillConsoleOutputCharacterA(handle, ' ', static_cast<DWORD>(screen.dwSize.X), lineStart, &written);
        SetConsoleCursorPosition(handle, lineStart);
    } else {
        std::fputs("\r\x1B[K", stream_);
    }
#else
    std::fputs("\r\x1B[K", stream_);
#endif
    std::fflush(stream_);
    percent_ = -1;
    nextValue_ = 0;
    drawnWidth_ = 0;
}

void TTerminalProgress::Draw(int percent)
{
    percent_ = percent;
    if (!visible_)
        return;
    const int columns = columns_ >= 0 ? columns_ : Columns(stream_);
    std::string line = Line(label_, percent, text_, columns);
    const int width = Width(line);
    if (width < drawnWidth_)
        line.append(static_cast<std::size_t>(drawnWidth_ - width), ' ');
    drawnWidth_ = width;
    WriteText(stream_, "\r" + line);
    std::fflush(stream_);
}

} // namespace morvane
