#include "TLineReader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "EInOutError.h"

namespace morvane {

namespace {

constexpr unsigned char kLF = 10;
constexpr unsigned char kCR = 13;
constexpr unsigned char kCtrlZ = 26;
constexpr std::int64_t kChunk = 128;

// First byte in [p, e) that is LF, CR or Ctrl-Z. Sixteen bytes are compared
// at a time where the processor allows, else eight bytes are tested for any
// byte below 32 and only words that have one are looked at closely.
const unsigned char* FindLineControl(const unsigned char* p, const unsigned char* e)
{
#if defined(__SSE2__)
    const __m128i lf = _mm_set1_epi8(static_cast<char>(kLF));
    const __m128i cr = _mm_set1_epi8(static_cast<char>(kCR));
    const __m128i ctrlZ = _mm_set1_epi8(static_cast<char>(kCtrlZ));
    while (e - p >= 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, lf), _mm_cmpeq_epi8(v, cr)),
                                         _mm_cmpeq_epi8(v, ctrlZ));
        if (const int bits = _mm_movemask_epi8(hit))
            return p + __builtin_ctz(static_cast<unsigned>(bits));
        p += 16;
    }
#endif
    constexpr std::uint64_t kOnes = 0x0101010101010101ull;
    constexpr std::uint64_t kHigh = 0x8080808080808080ull;
    while (e - p >= 8) {
        std::uint64_t word;
        std::memcpy(&word, p, sizeof word);
        if (((word - kOnes * 32) & ~word & kHigh) != 0) {
            for (int i = 0; i < 8; ++i) {
                if (p[i] == kLF || p[i] == kCR || p[i] == kCtrlZ)
                    return p + i;
            }
        }
        p += 8;
    }
    for (; p < e; ++p) {
        if (*p == kLF || *p == kCR || *p == kCtrlZ)
            return p;
    }
    return e;
}

std::string ReadFailureMessage(const std::string& path, int error)
{
    return "Cannot read the PE file \"" + path + "\": " + std::strerror(error);
}

} // namespace

TLineReader::TLineReader(TReadFailure onReadFailure, std::size_t readSize)
    : onReadFailure_(onReadFailure)
    , readSize_(std::max<std::size_t>(readSize, 1))
    // A whole number of chunks, so that a refill can always reach the next
    // chunk boundary.
    , capacity_((std::max<std::size_t>(readSize_, kChunk) + kChunk - 1) / kChunk * kChunk)
{
}

TLineReader::~TLineReader()
{
    Close();
}

bool TLineReader::Open(const std::string& path)
{
    Close();
    openError_ = 0;
    // Non-blocking only for the open itself, so that a FIFO without a writer
    // cannot hang the run.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        openError_ = errno;
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        openError_ = errno;
        ::close(fd);
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        openError_ = EISDIR;
        ::close(fd);
        return false;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);

    if (!buffer_)
        buffer_ = std::make_unique<unsigned char[]>(capacity_);
    path_ = path;
    fd_ = fd;
    identity_ = {st.st_dev, st.st_ino, true};
    size_ = S_ISREG(st.st_mode) ? static_cast<std::int64_t>(st.st_size) : 0;
    pos_ = len_ = 0;
    bufferOffset_ = 0;
    endOfFile_ = false;
    examinedEnd_ = 0;
    return true;
}

void TLineReader::Close()
{
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    identity_ = {};
}

// Called only when every buffered byte is consumed. Reads until the buffer
// ends on a chunk boundary or the file ends, so the bytes known always reach
// the end of the chunk of the furthest byte examined.
bool TLineReader::Fill()
{
    if (fd_ < 0 || endOfFile_)
        return false;
    bufferOffset_ += static_cast<std::int64_t>(len_);
    pos_ = len_ = 0;
    do {
        const std::size_t want = std::min(readSize_, capacity_ - len_);
        const ssize_t got = ::read(fd_, buffer_.get() + len_, want);
        if (got > 0) {
            len_ += static_cast<std::size_t>(got);
        } else if (got == 0) {
            endOfFile_ = true;
        } else if (errno != EINTR) {
            const int error = errno;
            endOfFile_ = true;
            if (onReadFailure_ == TReadFailure::Raise)
                throw EInOutError(ReadFailureMessage(path_, error));
        }
    } while (!endOfFile_ && (bufferOffset_ + static_cast<std::int64_t>(len_)) % kChunk != 0);
    return len_ > 0;
}

std::string TLineReader::ReadLine()
{
    std::string line;
    ReadLine(line);
    return line;
}

void TLineReader::ReadLine(std::string& line, std::size_t maxLength)
{
    const std::string_view view = ReadLineView(line, maxLength);
    if (view.data() != line.data())
        line.assign(view);
}

std::string_view TLineReader::ReadLineView(std::string& scratch, std::size_t maxLength)
{
    scratch.clear();
    if (fd_ < 0)
        return {};

    // Most lines lie whole in the buffer and end in LF or CR LF: those are
    // handed out at once. Anything else starts over on the general path.
    if (pos_ < len_ && maxLength == std::string::npos) {
        const unsigned char* base = buffer_.get();
        const unsigned char* end = base + len_;
        const unsigned char* stop = FindLineControl(base + pos_, end);
        std::size_t breakLength = 0;
        if (stop < end && *stop == kLF)
            breakLength = 1;
        else if (end - stop >= 2 && stop[0] == kCR && stop[1] == kLF)
            breakLength = 2;
        if (breakLength > 0) {
            const std::string_view line(reinterpret_cast<const char*>(base) + pos_,
                                        static_cast<std::size_t>(stop - base) - pos_);
            pos_ = static_cast<std::size_t>(stop - base) + breakLength;
            Examined(Offset());
            return line;
        }
    }

    // The line lives in the buffer as long as it is one unbroken run of bytes
    // there; a dropped CR or a refill moves it to the scratch string.
    std::size_t viewBegin = pos_;
    std::size_t viewLength = 0;
    bool inScratch = false;
    auto length = [&] { return inScratch ? scratch.size() : viewLength; };
    auto take = [&](std::size_t from, std::size_t to) {
        const std::size_t room = maxLength - std::min(maxLength, length());
        if (to - from > room)
            to = from + room;
        if (to == from)
            return;
        if (!inScratch && (viewLength == 0 || viewBegin + viewLength == from)) {
            if (viewLength == 0)
                viewBegin = from;
            viewLength += to - from;
            return;
        }
        if (!inScratch) {
            scratch.assign(reinterpret_cast<const char*>(buffer_.get()) + viewBegin, viewLength);
            inScratch = true;
        }
        scratch.append(reinterpret_cast<const char*>(buffer_.get()) + from, to - from);
    };
    auto refill = [&] {
        if (!inScratch && viewLength > 0) {
            scratch.assign(reinterpret_cast<const char*>(buffer_.get()) + viewBegin, viewLength);
            inScratch = true;
        }
        return Fill();
    };

    for (;;) {
        if (pos_ == len_ && !refill())
            break;
        const unsigned char* base = buffer_.get();
        const unsigned char* stop = FindLineControl(base + pos_, base + len_);
        const auto at = static_cast<std::size_t>(stop - base);
        take(pos_, at);
        pos_ = at;
        if (pos_ == len_)
            continue;

        const unsigned char control = base[pos_];
        if (control == kLF) {
            ++pos_;
            break;
        }
        if (control == kCR) {
            ++pos_;
            if (pos_ == len_ && !refill())
                break;
            if (buffer_[pos_] == kLF) {
                ++pos_;
                break;
            }
            // A lone CR is dropped; what follows is read as usual.
            Examined(Offset() + 1);
            continue;
        }
        // Ctrl-Z. At the start of a chunk it stays where it is and ends the
        // input; elsewhere it cuts the line and the rest of the physical line
        // is skipped.
        Examined(Offset() + 1);
        if (Offset() % kChunk != 0) {
            ++pos_;
            // The skip may refill the buffer under the line.
            if (!inScratch) {
                scratch.assign(reinterpret_cast<const char*>(buffer_.get()) + viewBegin, viewLength);
                inScratch = true;
            }
            SkipRestOfLine();
        }
        break;
    }
    Examined(Offset());
    if (inScratch)
        return scratch;
    return {reinterpret_cast<const char*>(buffer_.get()) + viewBegin, viewLength};
}

void TLineReader::SkipRestOfLine()
{
    for (;;) {
        if (pos_ == len_ && !Fill())
            return;
        const unsigned char b = buffer_[pos_];
        if (b == kCtrlZ) {
            Examined(Offset() + 1);
            return;
        }
        ++pos_;
        if (b == kLF)
            return;
    }
}

bool TLineReader::AtEnd()
{
    if (fd_ < 0)
        return true;
    if (pos_ == len_ && !Fill())
        return true;
    Examined(Offset() + 1);
    return buffer_[pos_] == kCtrlZ;
}

std::int64_t TLineReader::SizeInBlocks() const
{
    if (fd_ < 0)
        return -1;
    return size_ / kChunk;
}

} // namespace morvane
