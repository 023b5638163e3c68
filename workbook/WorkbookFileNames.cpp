// Windows only. The program's file names are UTF-8, the way the workbook
// library takes them on Windows when built with Microsoft's compiler. Built
// with mingw-w64 it hands them to the C library's narrow calls instead,
// which read them in the ANSI code page: a name with a letter beyond ASCII
// ("Kühlwasser (XLS).xlsx", a profile such as "C:\Users\Jürgen") named
// another file, or none. The library's two calls that open files by name
// for a workbook, the workbook's own zip file and the temporary files of its
// rows and parts, are wrapped here (see CMakeLists.txt) to open them by
// their UTF-16 names.

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <string>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <xlsxwriter/third_party/zip.h>

#include "WideText.h"

namespace {

voidpf ZCALLBACK OpenByUtf8Name(voidpf, const void* name, int mode)
{
    // The modes minizip's own stdio functions open with.
    const wchar_t* how = nullptr;
    if ((mode & ZLIB_FILEFUNC_MODE_READWRITEFILTER) == ZLIB_FILEFUNC_MODE_READ)
        how = L"rb";
    else if (mode & ZLIB_FILEFUNC_MODE_EXISTING)
        how = L"r+b";
    else if (mode & ZLIB_FILEFUNC_MODE_CREATE)
        how = L"wb";
    std::wstring wide;
    if (!name || !how || !morvane::WideFromUtf8(static_cast<const char*>(name), wide)) {
        errno = EINVAL;
        return nullptr;
    }
    return _wfopen(wide.c_str(), how);
}

// A name no other run is likely to take at the same time; a clash is
// tried again.
std::wstring CandidateName(const std::wstring& folder)
{
    static std::atomic<std::uint64_t> counter{0};
    const std::uint64_t mix = (static_cast<std::uint64_t>(GetCurrentProcessId()) << 32) ^ GetTickCount64() ^
                              (counter.fetch_add(1) * 0x9E37'79B9'7F4A'7C15ull);
    wchar_t text[17];
    swprintf(text, 17, L"%016llx", static_cast<unsigned long long>(mix));
    return folder + L"lxw" + text + L".tmp";
}

} // namespace

extern "C" {

FILE* __real_lxw_tmpfile(char* folder);

zipFile __wrap_zipOpen(const char* name, int append)
{
    zlib_filefunc64_def calls;
    fill_fopen64_filefunc(&calls);
    calls.zopen64_file = OpenByUtf8Name;
    return zipOpen2_64(name, append, nullptr, &calls);
}

// A new file in `folder`, removed by the system when it is closed, also when
// the program ends without closing it.
FILE* __wrap_lxw_tmpfile(char* folder)
{
    if (!folder)
        return __real_lxw_tmpfile(folder);
    std::wstring wide;
    if (!morvane::WideFromUtf8(folder, wide)) {
        errno = EINVAL;
        return nullptr;
    }
    if (!wide.empty() && wide.back() != L'\\' && wide.back() != L'/')
        wide += L'\\';
    for (int attempt = 0; attempt < 100; ++attempt) {
        const int file = _wopen(CandidateName(wide).c_str(),
                                _O_CREAT | _O_EXCL | _O_RDWR | _O_BINARY | _O_TEMPORARY | _O_NOINHERIT,
                                _S_IREAD | _S_IWRITE);
        if (file >= 0) {
            FILE* const stream = _fdopen(file, "w+b");
            if (!stream)
                _close(file);
            return stream;
        }
        if (errno != EEXIST)
            return nullptr;
    }
    return nullptr;
}

} // extern "C"
