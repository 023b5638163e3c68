#include "TTemplateExcerpt.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr unsigned char kLf = 10;
constexpr unsigned char kCr = 13;
constexpr unsigned char kCtrlZ = 26;
constexpr std::uint64_t kBlock = 128;

// Buffered forward reader with the absolute offset of every byte, which the
// Ctrl-Z rule needs. A read error counts as the end of the file, as in the
// engine's reader. Owns its descriptor.
class ByteSource {
public:
    ByteSource(const std::string& path, std::size_t chunkSize)
        : buffer_(std::max<std::size_t>(chunkSize, 1))
    {
        struct stat info {};
        if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
            return;
        do {
            fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        } while (fd_ < 0 && errno == EINTR);
    }
    ~ByteSource()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    ByteSource(const ByteSource&) = delete;
    ByteSource& operator=(const ByteSource&) = delete;

    // The next byte, or -1 at the end.
    int Peek()
    {
        if (pos_ == len_ && !Fill())
            return -1;
        return buffer_[pos_];
    }
    void Skip() { ++pos_; }
    std::uint64_t Offset() const { return base_ + pos_; }

    // Consumes bytes up to the first LF or Ctrl-Z (neither consumed) without
    // looking at each one in C++: the fast path over lines nobody keeps.
    void RunToLfOrCtrlZ()
    {
        for (;;) {
            if (pos_ == len_ && !Fill())
                return;
            const unsigned char* start = buffer_.data() + pos_;
            const std::size_t n = len_ - pos_;
            const void* lf = std::memchr(start, kLf, n);
            const std::size_t limit = lf ? static_cast<const unsigned char*>(lf) - start : n;
            const void* z = std::memchr(start, kCtrlZ, limit);
            if (z) {
                pos_ += static_cast<const unsigned char*>(z) - start;
                return;
            }
            pos_ += limit;
            if (lf)
                return;
        }
    }

private:
    bool Fill()
    {
        if (fd_ < 0 || atEnd_)
            return false;
        base_ += len_;
        pos_ = 0;
        len_ = 0;
        ssize_t got;
        do {
            got = ::read(fd_, buffer_.data(), buffer_.size());
        } while (got < 0 && errno == EINTR);
        if (got <= 0) {
            atEnd_ = true;
            return false;
        }
        len_ = static_cast<std::size_t>(got);
        return true;
    }

    std::vector<unsigned char> buffer_;
    int fd_ = -1;
    std::size_t pos_ = 0;
    std::size_t len_ = 0;
    std::uint64_t base_ = 0;
    bool atEnd_ = false;
};

// What happens after a Ctrl-Z cut a line short: the rest of the physical line
// up to and including its LF is skipped, stopping in front of another Ctrl-Z.
void SkipRestOfLine(ByteSource& source)
{
    source.RunToLfOrCtrlZ();
    if (source.Peek() == kLf)
        source.Skip();
}

// Decides, byte by byte, what one line holds. `keep` receives the bytes that
// belong to the line until it answers false. After that *more notes that the
// line had further bytes, and the rest of the line is run over only when
// `runOver` asks for it (to reach the next line).
template <typename Keep>
void ReadLine(ByteSource& source, Keep keep, bool* more, bool runOver)
{
    bool keeping = true;
    for (;;) {
        const int c = source.Peek();
        if (c < 0)
            return;
        if (c == kLf) {
            source.Skip();
            return;
        }
        if (c == kCr) {
            source.Skip();
            if (source.Peek() == kLf) {
                source.Skip();
                return;
            }
            continue; // a lone CR is dropped
        }
        if (c == kCtrlZ) {
            // At a block start the Ctrl-Z ends the whole input and stays
            // where it is; anywhere else it only cuts this line.
            if (source.Offset() % kBlock != 0) {
                source.Skip();
                SkipRestOfLine(source);
            }
            return;
        }
        if (keeping) {
            source.Skip();
            keeping = keep(static_cast<char>(c));
            continue;
        }
        if (more)
            *more = true;
        if (!runOver)
            return;
        // Only LF and Ctrl-Z matter from here: a CR is either part of a
        // CR LF, which ends at the LF, or dropped.
        source.RunToLfOrCtrlZ();
    }
}

} // namespace

TTemplateExcerpt TTemplateExcerpt::Read(const std::string& path, bool first,
                                        std::string_view separatorSet, std::size_t chunkSize)
{
    TTemplateExcerpt result;
    ByteSource source(path, chunkSize);
    const int c = source.Peek();
    if (c < 0 || c == kCtrlZ)
        return result;

    std::array<bool, 256> isSeparator{};
    for (char s : separatorSet)
        isSeparator[static_cast<unsigned char>(s)] = true;

    std::size_t separators = 0;
    auto keep = [&](char byte) {
        result.Text.push_back(byte);
        if (isSeparator[static_cast<unsigned char>(byte)])
            ++separators;
        const bool enough = result.Text.size() >= kPreviewChars && separators >= kMaxBoxes;
        return !enough && result.Text.size() < kMaxBytes;
    };

    if (first) {
        ReadLine(source, keep, &result.Cut, false);
        return result;
    }
    // Line 1 is only run over; a line 2 that starts at a Ctrl-Z is empty.
    ReadLine(source, [](char) { return false; }, nullptr, true);
    ReadLine(source, keep, &result.Cut, false);
    return result;
}

std::string TTemplateExcerpt::PreviewOf(std::string_view mapped, bool cut)
{
    if (mapped.size() <= kPreviewChars && !cut)
        return std::string(mapped);
    std::string preview(mapped.substr(0, kPreviewChars));
    preview.push_back('\x85'); // "…" in Windows-1252
    return preview;
}
