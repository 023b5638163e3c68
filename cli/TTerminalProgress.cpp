#include "TTerminalProgress.h"

#include <algorithm>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace morvane {

namespace {

constexpr int kBarWidth = 30;

} // namespace

TTerminalProgress::TTerminalProgress(std::FILE* stream, std::string label)
    : stream_(stream)
    , label_(std::move(label))
{
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
}

void TTerminalProgress::Draw(int percent)
{
    percent_ = percent;
    if (!visible_)
        return;
    const int filled = percent * kBarWidth / 100;
    std::fprintf(stream_, "\r%s [%s%s] %3d%% %s", label_.c_str(), std::string(filled, '#').c_str(),
                 std::string(kBarWidth - filled, ' ').c_str(), percent, text_.c_str());
    std::fflush(stream_);
}

} // namespace morvane
