// The Windows entry: any file name reaches the converter, as UTF-8 like
// every path in the engine.
#ifdef _WIN32

#include <cstdio>
#include <string>
#include <vector>

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include "WideText.h"

int ConvertMain(int argc, char** argv);

namespace {

// The console's output code page and the error stream's mode as the
// converter found them; they belong to the console, which outlives the
// converter, so they are put back on every way out.
UINT gOutputCodePage = 0;
HANDLE gErrorConsole = INVALID_HANDLE_VALUE;
DWORD gErrorConsoleMode = 0;
bool gErrorConsoleModeChanged = false;

void RestoreConsole()
{
    if (gOutputCodePage != 0)
        SetConsoleOutputCP(gOutputCodePage);
    if (gErrorConsoleModeChanged)
        SetConsoleMode(gErrorConsole, gErrorConsoleMode);
}

BOOL WINAPI RestoreConsoleOnBreak(DWORD)
{
    RestoreConsole();
    return FALSE; // the default handler ends the process
}

class TConsoleSetup {
public:
    TConsoleSetup()
    {
        // Messages name files in UTF-8; a console shows them as such. What
        // the converter prints is the same bytes as on any other system.
        gOutputCodePage = GetConsoleOutputCP();
        SetConsoleOutputCP(CP_UTF8);
        // The progress line clears itself with an escape sequence where the
        // console understands one; elsewhere it uses the console's calls.
        gErrorConsole = GetStdHandle(STD_ERROR_HANDLE);
        if (GetConsoleMode(gErrorConsole, &gErrorConsoleMode) != 0 &&
            (gErrorConsoleMode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) == 0) {
            gErrorConsoleModeChanged =
                SetConsoleMode(gErrorConsole, gErrorConsoleMode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
        }
        SetConsoleCtrlHandler(RestoreConsoleOnBreak, TRUE);
    }
    ~TConsoleSetup()
    {
        std::fflush(stdout);
        std::fflush(stderr);
        RestoreConsole();
    }
    TConsoleSetup(const TConsoleSetup&) = delete;
    TConsoleSetup& operator=(const TConsoleSetup&) = delete;
};

} // namespace

int wmain(int argc, wchar_t** argv)
{
    std::vector<std::string> arguments;
    arguments.reserve(static_cast<std::size_t>(argc));
    for (int i = 0; i < argc; ++i)
        arguments.push_back(morvane::Utf8FromWide(argv[i]));
    std::vector<char*> pointers;
    for (std::string& argument : arguments)
        pointers.push_back(argument.data());
    pointers.push_back(nullptr);
    const TConsoleSetup console;
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    return ConvertMain(argc, pointers.data());
}

#endif
