// The POSIX side of TOsFile; TOsFileWin32.cpp is the Windows side.
#ifndef _WIN32

#include "TOsFile.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
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

bool TOsFile::IsOpen() const
{
    return fd_ >= 0;
}

bool TOsFile::OpenForReading(const std::string& path)
{
    Close();
    struct stat st {};
    const int fd = OpenDescriptor(path, O_RDONLY, st, error_);
    if (fd < 0)
        return false;
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

bool TOsFile::OpenForWriting(const std::string& path)
{
    Close();
    struct stat st {};
    const int fd = OpenDescriptor(path, O_WRONLY | O_CREAT, st, error_);
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

bool TOsFile::Truncate()
{
    if (::ftruncate(fd_, 0) != 0) {
        error_ = errno;
        return false;
    }
    size_ = 0;
    return true;
}

bool TOsFile::Reserve(std::int64_t offset, std::int64_t length)
{
#if defined(__linux__)
    return ::fallocate(fd_, FALLOC_FL_KEEP_SIZE, offset, length) == 0;
#else
    (void)offset;
    (void)length;
    return false;
#endif
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
