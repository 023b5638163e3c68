#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "TFileIdentity.h"

namespace morvane {

// The engine's only door to the operating system's files: a POSIX descriptor
// on Linux, a Win32 handle on Windows. Paths are the engine's bytes (UTF-8 on
// Windows); errors are the system's own codes (errno, or GetLastError), which
// ErrorText puts into words. Nothing here raises.
class TOsFile {
public:
    enum class TKind { Regular, Directory, Other };

    TOsFile() = default;
    ~TOsFile();
    TOsFile(const TOsFile&) = delete;
    TOsFile& operator=(const TOsFile&) = delete;

    // An existing file, in binary. Others may go on reading it but not write
    // it, and a file that another program holds open for writing cannot be
    // opened. A directory fails with DirectoryError(). The open never waits;
    // with waitForWriter a FIFO is opened again, waiting for its writer as
    // `cat` does, since a FIFO without one reads as empty.
    bool OpenForReading(const std::string& path, bool waitForWriter = false);
    // Creates the file or opens it as it is; Truncate empties it. Without
    // `create` only a file that exists is opened, so that a file someone
    // else took away is never made again.
    bool OpenForWriting(const std::string& path, bool create = true);
    bool IsOpen() const
    {
#ifdef _WIN32
        return handle_ != nullptr;
#else
        return fd_ >= 0;
#endif
    }
    // False, with Error(), when the system reports a failure at the close;
    // the file is released in every case.
    bool Close();

    // The code of the last failed call.
    int Error() const { return error_; }
    // Known from the open.
    TKind Kind() const { return kind_; }
    TFileIdentity Identity() const { return identity_; }
    std::int64_t Size() const { return size_; }

    // Bytes read; 0 at the end; -1 on failure.
    std::int64_t Read(void* buffer, std::size_t n);
    // Where the next Read starts; false, with Error(), on failure.
    bool Seek(std::int64_t offset);
    // Writes all n bytes or fails.
    bool Write(const void* data, std::size_t n);
    // Cuts the file at `size` bytes.
    bool Truncate(std::int64_t size = 0);
    // Sets disk space aside for [offset, offset + length) without changing
    // the file's size; false, with Error(), when the system or the disk
    // cannot.
    bool Reserve(std::int64_t offset, std::int64_t length);
    // Gives back what Reserve set aside beyond `size`, the bytes written.
    void ReleaseReserve(std::int64_t size);

    // The identity of the file a path leads to; Known is false when none.
    static TFileIdentity IdentityOf(const std::string& path);

    // What a path leads to, links followed.
    struct TPathInfo {
        bool Exists = false;
        TKind Kind = TKind::Other;
        unsigned Mode = 0; // permission bits (POSIX)
    };
    static TPathInfo InfoOf(const std::string& path);
    // The path with every symbolic link on its last component followed, so
    // that replacing the file it names keeps the link; the path itself when
    // it is no link.
    static std::string FollowLinks(const std::string& path);
    // Creates a file that must not exist yet (0, or the error: the system's
    // "exists" code is ExistsError()). With keepMode >= 0 it gets exactly
    // those permission bits, else what a newly created file gets. The new
    // file's identity goes to `identity` when given.
    static int CreateNew(const std::string& path, int keepMode, TFileIdentity* identity = nullptr);
    // Puts `from` in the place of `to`, replacing whatever is there.
    static int PutInPlace(const std::string& from, const std::string& to);
    // Removes a file; safe in a signal handler on POSIX. On Windows a file
    // that another program holds open without letting it be deleted (a
    // virus scanner, an indexer) is tried again for a while.
    static void RemoveNow(const char* path) noexcept;
    // A millisecond's sleep; safe in a signal handler.
    static void WaitBriefly() noexcept;
    // Keeps the signals that end the program (SIGINT, SIGTERM, SIGHUP) from
    // the calling thread until ReleaseEndingSignals gets the answer back, so
    // that their handler cannot run in the middle of what the thread does.
    // Nothing on Windows, whose console handlers run on threads of their own.
    static unsigned HoldEndingSignals() noexcept;
    static void ReleaseEndingSignals(unsigned held) noexcept;
    // The system's folder for temporary files, without a trailing separator;
    // empty when there is none.
    static std::string TemporaryFolder();
    static int ExistsError();
    static std::string ErrorText(int error);
    static int DirectoryError();

private:
#ifdef _WIN32
    bool Take(void* handle);
    void* handle_ = nullptr;
#else
    int fd_ = -1;
#endif
    int error_ = 0;
    TKind kind_ = TKind::Other;
    TFileIdentity identity_;
    std::int64_t size_ = 0;
};

} // namespace morvane
