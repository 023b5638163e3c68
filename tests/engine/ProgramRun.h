#pragma once

// Runs a program of ours as a user would, without a shell in between: its
// arguments reach it exactly, its input is empty and its output and errors go
// to files.

#include <string>
#include <vector>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "TempFiles.h"

namespace morvane::test {

#ifdef _WIN32
// The quoting that the C runtime's argument split undoes.
inline std::wstring QuotedArgument(const std::wstring& arg)
{
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos)
        return arg;
    std::wstring quoted = L"\"";
    std::size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, L'\\');
    return quoted + L"\"";
}

inline HANDLE InheritableFile(const std::wstring& path, DWORD access, DWORD disposition)
{
    SECURITY_ATTRIBUTES inherit {sizeof inherit, nullptr, TRUE};
    return CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, disposition,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}
#endif

#ifndef _WIN32
// Starts the program as RunProgram does and returns at once: its process
// id, or -1.
inline pid_t StartProgram(const std::string& program, const std::vector<std::string>& args,
                          const std::string& workingFolder, const std::string& outPath,
                          const std::string& errPath)
{
    const pid_t child = ::fork();
    if (child != 0)
        return child;
    const int input = ::open("/dev/null", O_RDONLY);
    const int output = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    const int errors = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (input < 0 || output < 0 || errors < 0 || ::dup2(input, 0) < 0 || ::dup2(output, 1) < 0 ||
        ::dup2(errors, 2) < 0 || (!workingFolder.empty() && ::chdir(workingFolder.c_str()) != 0))
        ::_exit(127);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
}

// The raw wait status of a started program, or -1.
inline int WaitForProgram(pid_t child)
{
    int raw = 0;
    if (child < 0)
        return -1;
    while (::waitpid(child, &raw, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    return raw;
}
#endif

// The exit status, or -1 when the program could not be run or did not exit.
inline int RunProgram(const std::string& program, const std::vector<std::string>& args,
                      const std::string& workingFolder, const std::string& outPath, const std::string& errPath)
{
#ifdef _WIN32
    std::wstring commandLine = QuotedArgument(PathOf(program).wstring());
    for (const std::string& a : args)
        commandLine += L" " + QuotedArgument(PathOf(a).wstring());
    const HANDLE input = InheritableFile(L"NUL", GENERIC_READ, OPEN_EXISTING);
    const HANDLE output = InheritableFile(PathOf(outPath).wstring(), GENERIC_WRITE, CREATE_ALWAYS);
    const HANDLE errors = InheritableFile(PathOf(errPath).wstring(), GENERIC_WRITE, CREATE_ALWAYS);
    STARTUPINFOW startup {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input;
    startup.hStdOutput = output;
    startup.hStdError = errors;
    PROCESS_INFORMATION process {};
    const std::wstring folder = PathOf(workingFolder).wstring();
    const bool started = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                        folder.empty() ? nullptr : folder.c_str(), &startup, &process) != 0;
    for (HANDLE h : {input, output, errors}) {
        if (h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
    }
    if (!started)
        return -1;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 0;
    const bool exited = GetExitCodeProcess(process.hProcess, &status) != 0;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return exited ? static_cast<int>(status) : -1;
#else
    const int raw = WaitForProgram(StartProgram(program, args, workingFolder, outPath, errPath));
    return raw >= 0 && WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
#endif
}

} // namespace morvane::test
