#include "TLineWriter.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "EInOutError.h"

namespace morvane {

namespace {

// Disk space set aside ahead of the writes: little for a small output,
// doubling up to this much for a large one.
constexpr std::int64_t kFirstReserve = 1 << 20;
constexpr std::int64_t kLargestReserve = 64 << 20;

std::string SameFileMessage(const std::string& path)
{
    return "The output file \"" + path + "\" is the PE file itself";
}

std::string CreateFailureMessage(const std::string& path, int error)
{
    return "Cannot create the output file \"" + path + "\": " + std::strerror(error);
}

TFileIdentity IdentityOf(const struct stat& st)
{
    return {st.st_dev, st.st_ino, true};
}

} // namespace

TLineWriter::TLineWriter(std::size_t bufferSize)
    : capacity_(std::max<std::size_t>(bufferSize, 2))
{
}

TLineWriter::~TLineWriter()
{
    try {
        Close();
    } catch (...) {
        // A destructor cannot report; callers that care call Close().
    }
}

void TLineWriter::Open(const std::string& path, const TFileIdentity& mustNotBe)
{
    Close();
    // Checked before the open, so that an input the user may not write is
    // still reported as what it is...
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && IdentityOf(st).SameFileAs(mustNotBe))
        throw EInOutError(SameFileMessage(path));

    // ...and again on what was really opened, which is not emptied until it
    // has passed. Non-blocking so that a FIFO nobody reads fails at once.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0666);
    if (fd < 0)
        throw EInOutError(CreateFailureMessage(path, errno));
    if (::fstat(fd, &st) != 0) {
        const int error = errno;
        ::close(fd);
        throw EInOutError(CreateFailureMessage(path, error));
    }
    if (IdentityOf(st).SameFileAs(mustNotBe)) {
        ::close(fd);
        throw EInOutError(SameFileMessage(path));
    }
    // Emptying a file that is empty already is not only useless: some file
    // systems take it as a sign to write everything out at close.
    if (S_ISREG(st.st_mode) && st.st_size > 0 && ::ftruncate(fd, 0) != 0) {
        const int error = errno;
        ::close(fd);
        throw EInOutError(CreateFailureMessage(path, error));
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);

    if (!buffer_)
        buffer_ = std::make_unique<char[]>(capacity_);
    used_ = 0;
    path_ = path;
    fd_ = fd;
    reserving_ = S_ISREG(st.st_mode);
    written_ = reservedEnd_ = 0;
    reserveStep_ = kFirstReserve;
}

void TLineWriter::ReserveSpaceFor(std::size_t n)
{
#if defined(__linux__)
    const std::int64_t end = written_ + static_cast<std::int64_t>(n);
    while (reserving_ && end > reservedEnd_) {
        // The file keeps its size; a file system that cannot do this, or a
        // disk without the room, is simply written as it comes.
        if (::fallocate(fd_, FALLOC_FL_KEEP_SIZE, reservedEnd_, reserveStep_) != 0) {
            reserving_ = false;
            return;
        }
        reservedEnd_ += reserveStep_;
        reserveStep_ = std::min(reserveStep_ * 2, kLargestReserve);
    }
#else
    (void)n;
#endif
}

// Space set aside past the end of the file is released by cutting the file
// at its own size.
void TLineWriter::ReleaseUnusedSpace()
{
    struct stat st {};
    if (reservedEnd_ > 0 && ::fstat(fd_, &st) == 0) {
        // A failed cut leaves the reserve in place: wasted space, not lost data.
        [[maybe_unused]] const int cut = ::ftruncate(fd_, st.st_size);
    }
    reservedEnd_ = 0;
}

void TLineWriter::Write(std::string_view text)
{
    // An empty piece may come without any storage behind it.
    if (fd_ < 0 || text.empty())
        return;
    // Small pieces are gathered; a large one (a run of lines handed over
    // whole) goes to the file as it is rather than being copied first.
    const bool large = text.size() >= capacity_ / 4 && text.size() >= 4096;
    if (!large && text.size() <= capacity_ - used_) {
        std::memcpy(buffer_.get() + used_, text.data(), text.size());
        used_ += text.size();
        return;
    }
    Flush();
    if (large || text.size() >= capacity_) {
        if (const int error = WriteAll(text.data(), text.size()))
            RaiseWriteError(error);
        return;
    }
    std::memcpy(buffer_.get(), text.data(), text.size());
    used_ = text.size();
}

void TLineWriter::WriteLine(std::string_view text)
{
    Write(text);
    Write("\r\n");
}

void TLineWriter::Flush()
{
    const std::size_t n = used_;
    used_ = 0;
    if (n == 0)
        return;
    if (const int error = WriteAll(buffer_.get(), n))
        RaiseWriteError(error);
}

int TLineWriter::WriteAll(const char* data, std::size_t n)
{
    if (fd_ < 0)
        return EBADF;
    ReserveSpaceFor(n);
    written_ += static_cast<std::int64_t>(n);
    while (n > 0) {
        const ssize_t done = ::write(fd_, data, n);
        if (done < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        data += done;
        n -= static_cast<std::size_t>(done);
    }
    return 0;
}

void TLineWriter::RaiseWriteError(int error)
{
    throw EInOutError("Cannot write the output file \"" + path_ + "\": " + std::strerror(error));
}

void TLineWriter::Close()
{
    if (fd_ < 0)
        return;
    int error = WriteAll(buffer_.get(), used_);
    used_ = 0;
    ReleaseUnusedSpace();
    if (::close(fd_) != 0 && error == 0 && errno != EINTR)
        error = errno;
    fd_ = -1;
    if (error != 0)
        RaiseWriteError(error);
}

} // namespace morvane
