// The POSIX side of TOsFile; TOsFileWin32.cpp is the Windows side.
#ifndef _WIN32

#include "TOsFile.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iterator>

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

namespace morvane {

namespace {

TFileIdentity IdentityFrom(const struct stat& st)
{
    return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino), true};
}

// Non-blocking only for the open itself, so that a FIFO without a writer or
// reader cannot hang the run.
int OpenDescriptor(const std::string& path, int flags, struct stat& st, int& error)
{
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NONBLOCK, 0666);
    if (fd < 0) {
        error = errno;
        return -1;
    }
    if (::fstat(fd, &st) != 0) {
        error = errno;
        ::close(fd);
        return -1;
    }
    const int status = ::fcntl(fd, F_GETFL);
    if (status >= 0)
        ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK);
    return fd;
}

} // namespace

TOsFile::~TOsFile()
{
    Close();
}

bool TOsFile::OpenForReading(const std::string& path, bool waitForWriter)
{
    Close();
    struct stat st {};
    int fd = OpenDescriptor(path, O_RDONLY, st, error_);
    if (fd < 0)
        return false;
    if (waitForWriter && S_ISFIFO(st.st_mode)) {
        ::close(fd);
        do
            fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        while (fd < 0 && errno == EINTR);
        if (fd < 0 || ::fstat(fd, &st) != 0) {
            error_ = errno;
            if (fd >= 0)
                ::close(fd);
            return false;
        }
    }
    if (S_ISDIR(st.st_mode)) {
        ::close(fd);
        error_ = EISDIR;
        return false;
    }
    fd_ = fd;
    kind_ = S_ISREG(st.st_mode) ? TKind::Regular : TKind::Other;
    identity_ = IdentityFrom(st);
    size_ = kind_ == TKind::Regular ? static_cast<std::int64_t>(st.st_size) : 0;
    return true;
}

bool TOsFile::OpenForWriting(const std::string& path, bool create)
{
    Close();
    struct stat st {};
    const int fd = OpenDescriptor(path, O_WRONLY | (create ? O_CREAT : 0), st, error_);
    if (fd < 0)
        return false;
    fd_ = fd;
    kind_ = S_ISREG(st.st_mode) ? TKind::Regular : S_ISDIR(st.st_mode) ? TKind::Directory : TKind::Other;
    identity_ = IdentityFrom(st);
    size_ = kind_ == TKind::Regular ? static_cast<std::int64_t>(st.st_size) : 0;
    return true;
}

bool TOsFile::Close()
{
    if (fd_ < 0)
        return true;
    const int result = ::close(fd_);
    fd_ = -1;
    identity_ = {};
    if (result != 0 && errno != EINTR) {
        error_ = errno;
        return false;
    }
    return true;
}

std::int64_t TOsFile::Read(void* buffer, std::size_t n)
{
    for (;;) {
        const ssize_t got = ::read(fd_, buffer, n);
        if (got >= 0)
            return got;
        if (errno != EINTR) {
            error_ = errno;
            return -1;
        }
    }
}

bool TOsFile::Write(const void* data, std::size_t n)
{
    const char* at = static_cast<const char*>(data);
    while (n > 0) {
        const ssize_t done = ::write(fd_, at, n);
        if (done < 0) {
            if (errno == EINTR)
                continue;
            error_ = errno;
            return false;
        }
        at += done;
        n -= static_cast<std::size_t>(done);
    }
    return true;
}

bool TOsFile::Truncate(std::int64_t size)
{
    if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) {
        error_ = errno;
        return false;
    }
    size_ = size;
    return true;
}

bool TOsFile::Reserve(std::int64_t offset, std::int64_t length)
{
#if defined(__linux__)
    if (::fallocate(fd_, FALLOC_FL_KEEP_SIZE, offset, length) == 0)
        return true;
    error_ = errno;
#else
    (void)offset;
    (void)length;
    error_ = EOPNOTSUPP;
#endif
    return false;
}

// Space set aside past the end of the file is released by cutting the file
// at its own size.
void TOsFile::ReleaseReserve(std::int64_t /*size*/)
{
    struct stat st {};
    if (::fstat(fd_, &st) == 0) {
        // A failed cut leaves the reserve in place: wasted space, not lost data.
        [[maybe_unused]] const int cut = ::ftruncate(fd_, st.st_size);
    }
}

TFileIdentity TOsFile::IdentityOf(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return {};
    return IdentityFrom(st);
}

TOsFile::TPathInfo TOsFile::InfoOf(const std::string& path)
{
    struct stat st {};
    TPathInfo info;
    if (::stat(path.c_str(), &st) != 0)
        return info;
    info.Exists = true;
    info.Kind = S_ISREG(st.st_mode) ? TKind::Regular : S_ISDIR(st.st_mode) ? TKind::Directory : TKind::Other;
    info.Mode = static_cast<unsigned>(st.st_mode & 0777);
    return info;
}

std::string TOsFile::FollowLinks(const std::string& path)
{
    std::string at = path;
    // As many as the system itself follows before it gives up (ELOOP).
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(at.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return at;
        std::string target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 4096) + 1, '\0');
        const ssize_t n = ::readlink(at.c_str(), target.data(), target.size());
        if (n < 0 || static_cast<std::size_t>(n) >= target.size())
            return at;
        target.resize(static_cast<std::size_t>(n));
        // A relative link is relative to the folder the link stands in.
        const std::size_t slash = at.rfind('/');
        at = target.front() == '/' || slash == std::string::npos ? target : at.substr(0, slash + 1) + target;
    }
    return at;
}

int TOsFile::CreateNew(const std::string& path, int keepMode, TFileIdentity* identity)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                          keepMode >= 0 ? static_cast<mode_t>(keepMode) & 0700 : 0666);
    if (fd < 0)
        return errno;
    // The umask would take bits off the mode the earlier output had.
    int error = keepMode >= 0 && ::fchmod(fd, static_cast<mode_t>(keepMode)) != 0 ? errno : 0;
    struct stat st {};
    if (error == 0 && identity != nullptr)
        error = ::fstat(fd, &st) == 0 ? 0 : errno;
    if (error == 0 && identity != nullptr)
        *identity = IdentityFrom(st);
    if (::close(fd) != 0 && error == 0 && errno != EINTR)
        error = errno;
    if (error != 0)
        ::unlink(path.c_str());
    return error;
}

int TOsFile::PutInPlace(const std::string& from, const std::string& to)
{
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

void TOsFile::RemoveNow(const char* path) noexcept
{
    ::unlink(path);
}

void TOsFile::WaitBriefly() noexcept
{
    const struct timespec pause {0, 1000000};
    ::nanosleep(&pause, nullptr);
}

namespace {

constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP};

} // namespace

unsigned TOsFile::HoldEndingSignals() noexcept
{
    sigset_t ending;
    sigemptyset(&ending);
    for (const int signal : kEndingSignals)
        sigaddset(&ending, signal);
    sigset_t before;
    if (::pthread_sigmask(SIG_BLOCK, &ending, &before) != 0)
        return 0;
    // Only those this call held are let go again.
    unsigned held = 0;
    for (unsigned i = 0; i < std::size(kEndingSignals); ++i) {
        if (sigismember(&before, kEndingSignals[i]) == 0)
            held |= 1u << i;
    }
    return held;
}

void TOsFile::ReleaseEndingSignals(unsigned held) noexcept
{
    sigset_t released;
    sigemptyset(&released);
    for (unsigned i = 0; i < std::size(kEndingSignals); ++i) {
        if ((held & (1u << i)) != 0)
            sigaddset(&released, kEndingSignals[i]);
    }
    ::pthread_sigmask(SIG_UNBLOCK, &released, nullptr);
}

std::string TOsFile::TemporaryFolder()
{
    const char* folder = std::getenv("TMPDIR");
    std::string path = folder != nullptr && *folder != '\0' ? folder : "/tmp";
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

bool TOsFile::Seek(std::int64_t offset)
{
    if (::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) >= 0)
        return true;
    error_ = errno;
    return false;
}

int TOsFile::ExistsError()
{
    return EEXIST;
}

std::string TOsFile::ErrorText(int error)
{
    return std::strerror(error);
}

int TOsFile::DirectoryError()
{
    return EISDIR;
}

} // namespace morvane

#endif
