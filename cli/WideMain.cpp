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
    // Messages name files in UTF-8; a console shows them as such. What the
    // converter prints is the same bytes as on any other system.
    SetConsoleOutputCP(CP_UTF8);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    return ConvertMain(argc, pointers.data());
}

#endif
