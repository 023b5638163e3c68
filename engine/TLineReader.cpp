#include "TLineReader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define MORVANE_HAVE_AVX2_KERNELS 1
#endif

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

// Where the LF, CR and Ctrl-Z bytes stand in 64 bytes, one bit per byte.
struct TControlBits {
    std::uint64_t lf;
    std::uint64_t cr;
    std::uint64_t ctrlZ;
};

struct TScalarBits {
    static TControlBits Of(const unsigned char* p)
    {
        TControlBits bits{0, 0, 0};
        for (unsigned i = 0; i < 64; ++i) {
            bits.lf |= static_cast<std::uint64_t>(p[i] == kLF) << i;
            bits.cr |= static_cast<std::uint64_t>(p[i] == kCR) << i;
            bits.ctrlZ |= static_cast<std::uint64_t>(p[i] == kCtrlZ) << i;
        }
        return bits;
    }
};

#if defined(__SSE2__)
struct TSse2Bits {
    static TControlBits Of(const unsigned char* p)
    {
        const __m128i lf = _mm_set1_epi8(static_cast<char>(kLF));
        const __m128i cr = _mm_set1_epi8(static_cast<char>(kCR));
        const __m128i ctrlZ = _mm_set1_epi8(static_cast<char>(kCtrlZ));
        TControlBits bits{0, 0, 0};
        for (unsigned i = 0; i < 4; ++i) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i));
            const unsigned shift = 16 * i;
            bits.lf |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, lf))))
                       << shift;
            bits.cr |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, cr))))
                       << shift;
            bits.ctrlZ |= static_cast<std::uint64_t>(
                              static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, ctrlZ))))
                          << shift;
        }
        return bits;
    }
};
using TBaselineBits = TSse2Bits;
#else
using TBaselineBits = TScalarBits;
#endif

#if defined(MORVANE_HAVE_AVX2_KERNELS)
__attribute__((target("avx2"))) inline std::uint64_t EqualBitsAvx2(__m256i low, __m256i high, __m256i byte)
{
    const auto lowBits = static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(low, byte)));
    const auto highBits = static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(high, byte)));
    return static_cast<std::uint64_t>(highBits) << 32 | lowBits;
}

struct TAvx2Bits {
    __attribute__((target("avx2"))) static TControlBits Of(const unsigned char* p)
    {
        const __m256i low = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
        const __m256i high = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32));
        return {EqualBitsAvx2(low, high, _mm256_set1_epi8(static_cast<char>(kLF))),
                EqualBitsAvx2(low, high, _mm256_set1_epi8(static_cast<char>(kCR))),
                EqualBitsAvx2(low, high, _mm256_set1_epi8(static_cast<char>(kCtrlZ)))};
    }
};
#endif

template <typename Bits>
inline std::size_t FindPlainLineEndsWith(const unsigned char* p, std::size_t n, std::uint32_t* ends,
                                         std::size_t maxLines, bool& metSpecial)
{
    std::size_t count = 0;
    std::size_t i = 0;
    for (; n - i >= 64; i += 64) {
        const TControlBits bits = Bits::Of(p + i);
        // A CR must have its LF right behind it, the byte after these 64
        // included; one at the very end of the bytes cannot show it has.
        const std::uint64_t nextIsLf =
            (bits.lf >> 1) | (static_cast<std::uint64_t>(n - i > 64 && p[i + 64] == kLF) << 63);
        std::uint64_t stop = bits.ctrlZ | (bits.cr & ~nextIsLf);
        // A CR on the last byte may yet have its LF behind the n bytes.
        const bool crAtEnd = n - i == 64 && (bits.cr >> 63) != 0;
        std::uint64_t lf = stop != 0 ? bits.lf & ((stop & (0 - stop)) - 1) : bits.lf;
        for (; lf != 0; lf &= lf - 1) {
            if (count == maxLines)
                return count;
            ends[count++] = static_cast<std::uint32_t>(i + static_cast<std::size_t>(__builtin_ctzll(lf)));
        }
        if (stop != 0) {
            metSpecial = !(crAtEnd && stop == (std::uint64_t{1} << 63));
            return count;
        }
    }
    for (; i < n; ++i) {
        const unsigned char b = p[i];
        if (b == kLF) {
            if (count == maxLines)
                return count;
            ends[count++] = static_cast<std::uint32_t>(i);
        } else if (b == kCtrlZ || (b == kCR && (n - i < 2 || p[i + 1] != kLF))) {
            // A CR on the last byte may yet have its LF behind the n bytes.
            metSpecial = n - i >= 2 || b == kCtrlZ;
            return count;
        }
    }
    return count;
}

#if defined(MORVANE_HAVE_AVX2_KERNELS)
__attribute__((target("avx2"), flatten)) std::size_t
FindPlainLineEndsAvx2(const unsigned char* p, std::size_t n, std::uint32_t* ends, std::size_t maxLines,
                      bool& metSpecial)
{
    return FindPlainLineEndsWith<TAvx2Bits>(p, n, ends, maxLines, metSpecial);
}

const bool kHaveAvx2 = [] {
    __builtin_cpu_init(); // this may run before the library's own start-up
    return __builtin_cpu_supports("avx2") != 0;
}();
#endif

std::string ReadFailureMessage(const std::string& path, int error)
{
    return "Cannot read the PE file \"" + path + "\": " + TOsFile::ErrorText(error);
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
    if (!file_.OpenForReading(path)) {
        openError_ = file_.Error();
        return false;
    }
    if (!buffer_)
        buffer_ = std::make_unique<unsigned char[]>(capacity_);
    path_ = path;
    identity_ = file_.Identity();
    size_ = file_.Kind() == TOsFile::TKind::Regular ? file_.Size() : 0;
    pos_ = len_ = 0;
    bufferOffset_ = 0;
    endOfFile_ = false;
    examinedEnd_ = 0;
    return true;
}

void TLineReader::Close()
{
    file_.Close();
    identity_ = {};
}

// Called only when every buffered byte is consumed. Reads until the buffer
// ends on a chunk boundary or the file ends, so the bytes known always reach
// the end of the chunk of the furthest byte examined.
bool TLineReader::Fill()
{
    if (!file_.IsOpen() || endOfFile_)
        return false;
    bufferOffset_ += static_cast<std::int64_t>(len_);
    pos_ = len_ = 0;
    ReadToChunkBoundary();
    return len_ > 0;
}

// Reads behind the buffered bytes until the buffer ends on a chunk boundary
// or the file ends, so the bytes known always reach the end of the chunk of
// the furthest byte examined.
void TLineReader::ReadToChunkBoundary()
{
    do {
        // Never past the last chunk boundary that fits: the buffer's start
        // need not lie on one once buffered bytes were moved to the front.
        const std::size_t room = capacity_ - len_;
        const auto overhang = static_cast<std::size_t>(
            (bufferOffset_ + static_cast<std::int64_t>(len_ + room)) % kChunk);
        const std::size_t want = std::min(readSize_, room - overhang);
        const std::int64_t got = file_.Read(buffer_.get() + len_, want);
        if (got > 0) {
            len_ += static_cast<std::size_t>(got);
        } else if (got == 0) {
            endOfFile_ = true;
        } else {
            const int error = file_.Error();
            endOfFile_ = true;
            if (onReadFailure_ == TReadFailure::Raise)
                throw EInOutError(ReadFailureMessage(path_, error));
        }
    } while (!endOfFile_ && (bufferOffset_ + static_cast<std::int64_t>(len_)) % kChunk != 0);
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
    if (!file_.IsOpen())
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
    if (!file_.IsOpen())
        return true;
    if (pos_ == len_ && !Fill())
        return true;
    Examined(Offset() + 1);
    return buffer_[pos_] == kCtrlZ;
}

std::size_t TLineReader::FindPlainLineEnds(const unsigned char* bytes, std::size_t n, std::uint32_t* ends,
                                           std::size_t maxLines, bool* metSpecial)
{
    bool special = false;
    // Offsets are kept in 32 bits; a caller with more bytes comes back.
    n = std::min<std::size_t>(n, 0xffff'ffffu);
    std::size_t count = 0;
#if defined(MORVANE_HAVE_AVX2_KERNELS)
    if (kHaveAvx2)
        count = FindPlainLineEndsAvx2(bytes, n, ends, maxLines, special);
    else
#endif
        count = FindPlainLineEndsWith<TBaselineBits>(bytes, n, ends, maxLines, special);
    if (metSpecial)
        *metSpecial = special;
    return count;
}

bool TLineReader::FetchBehindBuffered()
{
    const std::size_t kept = len_ - pos_;
    // The buffer must keep room to reach the next chunk boundary.
    if (!file_.IsOpen() || endOfFile_ || kept + kChunk > capacity_)
        return false;
    std::memmove(buffer_.get(), buffer_.get() + pos_, kept);
    bufferOffset_ += static_cast<std::int64_t>(pos_);
    pos_ = 0;
    len_ = kept;
    const std::size_t before = len_;
    ReadToChunkBoundary();
    return len_ > before;
}

std::int64_t TLineReader::SizeInBlocks() const
{
    if (!file_.IsOpen())
        return -1;
    return size_ / kChunk;
}

} // namespace morvane
