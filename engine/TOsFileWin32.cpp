// The Windows side of TOsFile; TOsFile.cpp is the POSIX side.
#ifdef _WIN32

#include "TOsFile.h"

#include <algorithm>
#include <string>

#include <windows.h>

#include "WideText.h"

namespace morvane {

namespace {

// Not in every SDK's headers.
constexpr DWORD kDirectoryNotSupported = 336;

HANDLE Native(void* handle)
{
    return static_cast<HANDLE>(handle);
}

bool IsDirectoryPath(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

TFileIdentity IdentityFrom(const BY_HANDLE_FILE_INFORMATION& info)
{
    return {info.dwVolumeSerialNumber,
            static_cast<std::uint64_t>(info.nFileIndexHigh) << 32 | info.nFileIndexLow, true};
}

// Only readers may share the file: an open fails while another program
// writes it, and nobody can start writing it while it is open here. An
// output may still be deleted, which is how a stopped converter takes its
// unfinished file away.
HANDLE OpenHandle(const std::string& path, DWORD access, DWORD disposition, int& error)
{
    std::wstring wide;
    if (!WideFromUtf8(path, wide)) {
        error = ERROR_NO_UNICODE_TRANSLATION;
        return nullptr;
    }
    const HANDLE handle = CreateFileW(wide.c_str(), access,
                                      access == GENERIC_WRITE ? FILE_SHARE_READ | FILE_SHARE_DELETE : FILE_SHARE_READ, nullptr, disposition,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        // A directory is refused as "access denied"; say what it really is.
        error = code != ERROR_SHARING_VIOLATION && IsDirectoryPath(wide) ? TOsFile::DirectoryError()
                                                                           : static_cast<int>(code);
        return nullptr;
    }
    return handle;
}

// No access asked and every kind of sharing allowed, so that a file held
// open by this very program (or a folder) still shows what it is.
HANDLE OpenToLookAt(const std::wstring& wide)
{
    return CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

} // namespace

TOsFile::~TOsFile()
{
    Close();
}

// Keeps an opened handle and learns its kind, identity and size; true when
// it is a directory's.
bool TOsFile::Take(void* handle)
{
    handle_ = handle;
    kind_ = GetFileType(Native(handle)) == FILE_TYPE_DISK ? TKind::Regular : TKind::Other;
    BY_HANDLE_FILE_INFORMATION info {};
    const bool known = GetFileInformationByHandle(Native(handle), &info) != 0;
    if (known)
        identity_ = IdentityFrom(info);
    LARGE_INTEGER size {};
    size_ = kind_ == TKind::Regular && GetFileSizeEx(Native(handle), &size) ? size.QuadPart : 0;
    return known && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// A named pipe's reader waits in ReadFile anyway; there is nothing to wait
// for at the open.
bool TOsFile::OpenForReading(const std::string& path, bool /*waitForWriter*/)
{
    Close();
    const HANDLE handle = OpenHandle(path, GENERIC_READ, OPEN_EXISTING, error_);
    if (handle == nullptr)
        return false;
    if (Take(handle)) {
        Close();
        error_ = DirectoryError();
        return false;
    }
    return true;
}

bool TOsFile::OpenForWriting(const std::string& path, bool create)
{
    Close();
    const HANDLE handle = OpenHandle(path, GENERIC_WRITE, create ? OPEN_ALWAYS : OPEN_EXISTING, error_);
    if (handle == nullptr)
        return false;
    Take(handle);
    return true;
}

bool TOsFile::Close()
{
    if (handle_ == nullptr)
        return true;
    const BOOL closed = CloseHandle(Native(handle_));
    handle_ = nullptr;
    identity_ = {};
    if (!closed) {
        error_ = static_cast<int>(GetLastError());
        return false;
    }
    return true;
}

std::int64_t TOsFile::Read(void* buffer, std::size_t n)
{
    DWORD got = 0;
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(n, 1u << 30));
    if (!ReadFile(Native(handle_), buffer, want, &got, nullptr)) {
        const DWORD code = GetLastError();
        if (code == ERROR_BROKEN_PIPE || code == ERROR_HANDLE_EOF)
            return 0;
        error_ = static_cast<int>(code);
        return -1;
    }
    return got;
}

bool TOsFile::Seek(std::int64_t offset)
{
    LARGE_INTEGER to;
    to.QuadPart = offset;
    if (SetFilePointerEx(Native(handle_), to, nullptr, FILE_BEGIN))
        return true;
    error_ = static_cast<int>(GetLastError());
    return false;
}

bool TOsFile::Write(const void* data, std::size_t n)
{
    const char* at = static_cast<const char*>(data);
    while (n > 0) {
        DWORD done = 0;
        const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(n, 1u << 30));
        if (!WriteFile(Native(handle_), at, piece, &done, nullptr)) {
            error_ = static_cast<int>(GetLastError());
            return false;
        }
        at += done;
        n -= done;
    }
    return true;
}

bool TOsFile::Truncate(std::int64_t size)
{
    FILE_END_OF_FILE_INFO end {};
    end.EndOfFile.QuadPart = size;
    if (!SetFileInformationByHandle(Native(handle_), FileEndOfFileInfo, &end, sizeof end)) {
        error_ = static_cast<int>(GetLastError());
        return false;
    }
    size_ = size;
    return true;
}

bool TOsFile::Reserve(std::int64_t offset, std::int64_t length)
{
    FILE_ALLOCATION_INFO allocation {};
    allocation.AllocationSize.QuadPart = offset + length;
    if (SetFileInformationByHandle(Native(handle_), FileAllocationInfo, &allocation, sizeof allocation))
        return true;
    error_ = static_cast<int>(GetLastError());
    return false;
}

void TOsFile::ReleaseReserve(std::int64_t size)
{
    FILE_ALLOCATION_INFO allocation {};
    allocation.AllocationSize.QuadPart = size;
    (void)SetFileInformationByHandle(Native(handle_), FileAllocationInfo, &allocation, sizeof allocation);
}

TFileIdentity TOsFile::IdentityOf(const std::string& path)
{
    std::wstring wide;
    if (!WideFromUtf8(path, wide))
        return {};
    const HANDLE handle = OpenToLookAt(wide);
    if (handle == INVALID_HANDLE_VALUE)
        return {};
    BY_HANDLE_FILE_INFORMATION info {};
    const bool known = GetFileInformationByHandle(handle, &info) != 0;
    CloseHandle(handle);
    return known ? IdentityFrom(info) : TFileIdentity{};
}

TOsFile::TPathInfo TOsFile::InfoOf(const std::string& path)
{
    TPathInfo info;
    std::wstring wide;
    if (!WideFromUtf8(path, wide))
        return info;
    const HANDLE handle = OpenToLookAt(wide);
    if (handle == INVALID_HANDLE_VALUE)
        return info;
    info.Exists = true;
    BY_HANDLE_FILE_INFORMATION data {};
    if (GetFileInformationByHandle(handle, &data) && (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        info.Kind = TKind::Directory;
    else if (GetFileType(handle) == FILE_TYPE_DISK)
        info.Kind = TKind::Regular;
    CloseHandle(handle);
    return info;
}

std::string TOsFile::FollowLinks(const std::string& path)
{
    std::wstring wide;
    if (!WideFromUtf8(path, wide))
        return path;
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
        return path;
    const HANDLE handle = OpenToLookAt(wide);
    if (handle == INVALID_HANDLE_VALUE)
        return path;
    std::wstring target(32768, L'\0');
    const DWORD n = GetFinalPathNameByHandleW(handle, target.data(), static_cast<DWORD>(target.size()),
                                              FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    CloseHandle(handle);
    if (n == 0 || n >= target.size())
        return path;
    target.resize(n);
    return Utf8FromWide(target);
}

int TOsFile::CreateNew(const std::string& path, int /*keepMode*/, TFileIdentity* identity)
{
    std::wstring wide;
    if (!WideFromUtf8(path, wide))
        return ERROR_NO_UNICODE_TRANSLATION;
    // Deleting stays allowed, so that a console's Ctrl+C can take the file
    // away while the run still writes it.
    const HANDLE handle = CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                      CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return static_cast<int>(GetLastError());
    BY_HANDLE_FILE_INFORMATION info {};
    int error = 0;
    if (identity != nullptr) {
        if (GetFileInformationByHandle(handle, &info))
            *identity = IdentityFrom(info);
        else
            error = static_cast<int>(GetLastError());
    }
    CloseHandle(handle);
    if (error != 0)
        DeleteFileW(wide.c_str());
    return error;
}

int TOsFile::PutInPlace(const std::string& from, const std::string& to)
{
    std::wstring source;
    std::wstring target;
    if (!WideFromUtf8(from, source) || !WideFromUtf8(to, target))
        return ERROR_NO_UNICODE_TRANSLATION;
    // ReplaceFileW keeps what the earlier output had (its attributes, its
    // access rights); a new output has nothing to keep.
    if (GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES &&
        ::ReplaceFileW(target.c_str(), source.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr))
        return 0;
    if (MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING))
        return 0;
    return static_cast<int>(GetLastError());
}

void TOsFile::RemoveNow(const char* path) noexcept
{
    wchar_t wide[32768];
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, wide, 32768) <= 0)
        return;
    // A scanner that looks at a new file holds it only for a moment.
    for (int tries = 0; tries < 2000; ++tries) {
        if (DeleteFileW(wide) || GetLastError() != ERROR_SHARING_VIOLATION)
            return;
        Sleep(1);
    }
}

void TOsFile::WaitBriefly() noexcept
{
    Sleep(1);
}

unsigned TOsFile::HoldEndingSignals() noexcept
{
    return 0;
}

void TOsFile::ReleaseEndingSignals(unsigned /*held*/) noexcept
{
}

std::string TOsFile::TemporaryFolder()
{
    wchar_t folder[MAX_PATH + 2];
    const DWORD n = GetTempPathW(MAX_PATH + 2, folder);
    if (n == 0 || n > MAX_PATH + 1)
        return {};
    std::wstring path(folder, n);
    while (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/'))
        path.pop_back();
    return Utf8FromWide(path);
}

int TOsFile::ExistsError()
{
    return ERROR_FILE_EXISTS;
}

std::string TOsFile::ErrorText(int error)
{
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                            FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, static_cast<DWORD>(error), 0,
                                        reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string message;
    if (length > 0 && text != nullptr)
        message = Utf8FromWide(std::wstring_view(text, length));
    if (text != nullptr)
        LocalFree(text);
    // The system's sentences end in a full stop and a line break; the
    // messages they go into add their own ending.
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' ' ||
                                message.back() == '.'))
        message.pop_back();
    // Not every system has a text for each code.
    if (message.empty() && static_cast<DWORD>(error) == kDirectoryNotSupported)
        message = "An operation is not supported on a directory";
    if (message.empty())
        message = "System error " + std::to_string(error);
    return message;
}

int TOsFile::DirectoryError()
{
    return static_cast<int>(kDirectoryNotSupported);
}

} // namespace morvane

#endif
