#pragma once

// A private folder per test, removed with everything in it afterwards, and
// what differs between the systems the tests run on.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <string>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace morvane::test {

// Paths are UTF-8 bytes, as in the engine, on every system.
inline std::filesystem::path PathOf(const std::string& utf8)
{
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

inline std::string Utf8Of(const std::filesystem::path& path)
{
    const std::u8string utf8 = path.u8string();
    return {utf8.begin(), utf8.end()};
}

class TempFolder {
public:
    TempFolder()
    {
        const std::filesystem::path base = std::filesystem::temp_directory_path();
        std::mt19937_64 random(std::random_device{}() ^
                               static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
        for (int attempt = 0; attempt < 100; ++attempt) {
            const std::filesystem::path candidate = base / ("morvane-" + std::to_string(random() % 1000000000));
            if (std::filesystem::create_directory(candidate)) {
                path_ = candidate;
                return;
            }
        }
        throw std::runtime_error("cannot make a temporary folder");
    }
    ~TempFolder()
    {
        std::error_code ignored;
        // Windows deletes no read-only file.
        for (auto it = std::filesystem::recursive_directory_iterator(path_, ignored);
             it != std::filesystem::recursive_directory_iterator(); it.increment(ignored))
            std::filesystem::permissions(it->path(), std::filesystem::perms::owner_write,
                                         std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    std::string operator/(const std::string& name) const { return Utf8Of(path_ / PathOf(name)); }

private:
    std::filesystem::path path_;
};

inline void WriteBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream out(PathOf(path), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

inline std::string ReadBytes(const std::string& path)
{
    std::ifstream in(PathOf(path), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The new files that runs left behind in a folder instead of putting them
// in place or removing them; empty when none.
inline std::string Leftovers(const std::string& folder)
{
    std::string names;
    for (const auto& entry : std::filesystem::directory_iterator(PathOf(folder))) {
        if (entry.path().extension() == ".part")
            names += Utf8Of(entry.path().filename()) + " ";
    }
    return names;
}

// Whether file permissions bind this process: root on POSIX writes any file.
// Windows keeps a read-only file read-only for everyone.
inline bool PermissionsBind()
{
#ifdef _WIN32
    return true;
#else
    return ::geteuid() != 0;
#endif
}

#ifndef _WIN32
// The bits a newly created file does not get.
inline unsigned Umask()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}
#endif

// Bytes of disk the file takes, or -1.
inline std::int64_t AllocatedBytes(const std::string& path)
{
#ifdef _WIN32
    std::wstring wide = PathOf(path).wstring();
    const HANDLE file = CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return -1;
    FILE_STANDARD_INFO info {};
    const bool known = GetFileInformationByHandleEx(file, FileStandardInfo, &info, sizeof info) != 0;
    CloseHandle(file);
    return known ? info.AllocationSize.QuadPart : -1;
#else
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return -1;
    return static_cast<std::int64_t>(st.st_blocks) * 512;
#endif
}

// The system's codes for the failures the tests provoke.
#ifdef _WIN32
constexpr int kNoSuchFile = ERROR_FILE_NOT_FOUND;
constexpr int kNoSuchFolder = ERROR_PATH_NOT_FOUND;
// How wine passes on the I/O error of the Linux file under it.
constexpr int kFailedRead = ERROR_NOT_READY;
#else
constexpr int kNoSuchFile = ENOENT;
constexpr int kNoSuchFolder = ENOENT;
constexpr int kFailedRead = EIO;
#endif

} // namespace morvane::test
