// What a Windows console shows of the converter's messages and progress
// line, read back from a console of the test's own.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include "MessageOutput.h"
#include "TTerminalProgress.h"

namespace morvane {
namespace {

// A screen buffer of the given width in the console the test runs in (under
// wine, a terminal's: see CMakeLists.txt), and a C stream writing to it as
// the converter's standard error would.
class TConsole {
public:
    explicit TConsole(SHORT columns)
    {
        screen_ = CreateConsoleScreenBuffer(GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                            nullptr, CONSOLE_TEXTMODE_BUFFER, nullptr);
        if (screen_ == INVALID_HANDLE_VALUE)
            return;
        // The window first: a buffer is never narrower than its window.
        const SMALL_RECT window {0, 0, static_cast<SHORT>(columns - 1), 9};
        SetConsoleWindowInfo(screen_, TRUE, &window);
        SetConsoleScreenBufferSize(screen_, COORD {columns, 50});
        SetConsoleActiveScreenBuffer(screen_);
        // The stream owns a duplicate, so that closing it leaves screen_ open.
        HANDLE duplicate = INVALID_HANDLE_VALUE;
        DuplicateHandle(GetCurrentProcess(), screen_, GetCurrentProcess(), &duplicate, 0, FALSE,
                        DUPLICATE_SAME_ACCESS);
        const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(duplicate), _O_BINARY);
        stream_ = fd < 0 ? nullptr : _fdopen(fd, "wb");
        if (stream_ != nullptr)
            std::setvbuf(stream_, nullptr, _IONBF, 0); // as standard error is
    }
    ~TConsole()
    {
        if (stream_ != nullptr)
            std::fclose(stream_);
        if (screen_ != INVALID_HANDLE_VALUE) {
            SetConsoleActiveScreenBuffer(GetStdHandle(STD_OUTPUT_HANDLE));
            CloseHandle(screen_);
        }
    }
    TConsole(const TConsole&) = delete;
    TConsole& operator=(const TConsole&) = delete;

    std::FILE* Stream() const { return stream_; }

    SHORT Columns() const
    {
        CONSOLE_SCREEN_BUFFER_INFO info {};
        GetConsoleScreenBufferInfo(screen_, &info);
        return info.dwSize.X;
    }

    // The screen's line `y`, without the blanks that fill it up.
    std::wstring Line(SHORT y) const
    {
        CONSOLE_SCREEN_BUFFER_INFO info {};
        GetConsoleScreenBufferInfo(screen_, &info);
        std::wstring line(static_cast<std::size_t>(info.dwSize.X), L' ');
        DWORD read = 0;
        ReadConsoleOutputCharacterW(screen_, line.data(), static_cast<DWORD>(line.size()), COORD {0, y}, &read);
        line.resize(read);
        line.erase(line.find_last_not_of(L' ') + 1);
        return line;
    }

    SHORT CursorLine() const
    {
        CONSOLE_SCREEN_BUFFER_INFO info {};
        GetConsoleScreenBufferInfo(screen_, &info);
        return info.dwCursorPosition.Y;
    }

private:
    HANDLE screen_ = INVALID_HANDLE_VALUE;
    std::FILE* stream_ = nullptr;
};

// A message naming a file with umlauts shows them, whatever code page the
// console was left in; its bytes one by one would show as two characters
// each, or as "��".
TEST(ConsoleOutput, MessageShowsEveryCharacterWholeWhateverTheCodePage)
{
    const UINT before = GetConsoleOutputCP();
    for (const UINT codePage : {850u, 1252u, 65001u}) {
        SCOPED_TRACE(codePage);
        TConsole console(80);
        ASSERT_NE(console.Stream(), nullptr) << "the test needs a console";
        SetConsoleOutputCP(codePage);
        WriteMessage(console.Stream(), "morvane-convert: Gr\xC3\xBC\xC3\x9F" "e \xE2\x80\x9C" "K\xC3\xB6ln\xE2\x80\x9D.pe: no such file");
        EXPECT_EQ(console.Line(0), L"morvane-convert: Gr\u00fc\u00dfe \u201cK\u00f6ln\u201d.pe: no such file");
        EXPECT_EQ(console.CursorLine(), 1);
    }
    SetConsoleOutputCP(before);
}

// Each redraw of the progress line stays on its line, however narrow the
// console, and the file's name shows its umlauts.
TEST(ConsoleOutput, ProgressLineStaysOnOneLineOfANarrowConsole)
{
    struct Case {
        SHORT columns;
        std::wstring shown;
    };
    const std::vector<Case> cases = {
        {80, L"C:\\Messdaten\\M\u00e4rz\\Gr\u00fc\u00dfe.pe [" + std::wstring(30, L'#') + L"] 100% finished"},
        {60, L"\u2026rz\\Gr\u00fc\u00dfe.pe [" + std::wstring(30, L'#') + L"] 100% finished"},
        {50, L"[" + std::wstring(30, L'#') + L"] 100% finished"}, // no trace of the longer line before
        {30, L"[" + std::wstring(13, L'#') + L"] 100% finished"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.columns);
        TConsole console(c.columns);
        ASSERT_NE(console.Stream(), nullptr) << "the test needs a console";
        ASSERT_EQ(console.Columns(), c.columns);
        {
            TTerminalProgress bar(console.Stream(), "C:\\Messdaten\\M\xC3\xA4rz\\Gr\xC3\xBC\xC3\x9F" "e.pe");
            bar.SetText("");
            bar.Show();
            bar.SetMaximum(1000);
            for (int value = 0; value <= 1000; value += 7)
                bar.SetValue(value);
            EXPECT_EQ(console.CursorLine(), 0);
            bar.SetText("finished");
            bar.SetPercent(100);
        }
        EXPECT_EQ(console.Line(0), c.shown);
        EXPECT_EQ(console.CursorLine(), 1);
    }
}

} // namespace
} // namespace morvane
