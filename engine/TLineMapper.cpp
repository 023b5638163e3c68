#include "TLineMapper.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define MORVANE_HAVE_AVX2_KERNELS 1
#endif

namespace morvane {

TLineMapper::TLineMapper(std::string_view separatorSet, const std::vector<std::string>& replacements,
                         std::string_view replacementBeyondList)
{
    for (char c : separatorSet) {
        const auto b = static_cast<unsigned char>(c);
        if (!separator_[b])
            setBytes_[setSize_++] = b;
        separator_[b] = 1;
    }

    replacement_.reserve(replacements.size());
    for (const std::string& entry : replacements)
        replacement_.push_back(entry.empty() ? kKeep : static_cast<unsigned char>(entry[0]));

    for (int b = 0; b < 256; ++b)
        beyondTable_[b] = static_cast<unsigned char>(b);
    if (!replacementBeyondList.empty()) {
        const auto with = static_cast<unsigned char>(replacementBeyondList[0]);
        beyondByte_ = with;
        for (int b = 0; b < 256; ++b) {
            if (separator_[b] && b != with) {
                beyondTable_[b] = with;
                beyondIsIdentity_ = false;
            }
        }
    }

    runTable_ = beyondTable_;
    runTable_['\n'] = '\n';
    runTable_['\r'] = '\r';
    for (int b = 0; b < 256; ++b) {
        if (runTable_[b] != b) {
            runBytes_[runSize_++] = static_cast<unsigned char>(b);
            runIsIdentity_ = false;
        }
    }
}

#if defined(__SSE2__)
namespace {

// Up to this many distinct separators are compared 16 bytes at a time.
constexpr std::size_t kVectorSetLimit = 8;

// The separator set as broadcast vectors, built once per call rather than
// once per block.
struct TVectorSet {
    TVectorSet(const unsigned char* set, std::size_t n) : count(n)
    {
        for (std::size_t k = 0; k < n; ++k)
            bytes[k] = _mm_set1_epi8(static_cast<char>(set[k]));
    }

    __m128i Mask(__m128i v) const
    {
        __m128i mask = _mm_cmpeq_epi8(v, bytes[0]);
        for (std::size_t k = 1; k < count; ++k)
            mask = _mm_or_si128(mask, _mm_cmpeq_epi8(v, bytes[k]));
        return mask;
    }

    __m128i bytes[kVectorSetLimit];
    std::size_t count;
};

inline __m128i Load(const unsigned char* p)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

inline void Store(unsigned char* p, __m128i v)
{
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}

template <typename MaskOf>
void MapBeyondVector(const unsigned char* in, unsigned char* out, std::size_t pos, std::size_t n,
                     unsigned char beyond, MaskOf maskOf)
{
    const __m128i with = _mm_set1_epi8(static_cast<char>(beyond));
    auto map = [&](std::size_t at) {
        const __m128i v = Load(in + at);
        const __m128i mask = maskOf(v);
        Store(out + at, _mm_or_si128(_mm_and_si128(mask, with), _mm_andnot_si128(mask, v)));
    };
    for (; n - pos >= 16; pos += 16)
        map(pos);
    // The last few bytes as one block that overlaps bytes already done:
    // mapping a byte twice gives what mapping it once gave.
    if (pos < n)
        map(n - 16);
}

} // namespace
#endif

void TLineMapper::MapInto(const char* src, std::size_t n, char* dst) const
{
    const auto* in = reinterpret_cast<const unsigned char*>(src);
    auto* out = reinterpret_cast<unsigned char*>(dst);
    std::size_t pos = 0;
    std::size_t occurrence = 0;
    const std::size_t listSize = replacement_.size();

#if defined(__SSE2__)
    const bool vector = setSize_ > 0 && setSize_ <= kVectorSetLimit && n >= 16;
    const TVectorSet set(setBytes_.data(), vector ? setSize_ : 0);
    // While the list has entries left, every occurrence needs its own entry.
    if (vector) {
        while (occurrence < listSize && n - pos >= 16) {
            const __m128i v = Load(in + pos);
            auto bits = static_cast<unsigned>(_mm_movemask_epi8(set.Mask(v)));
            Store(out + pos, v);
            for (; bits != 0 && occurrence < listSize; bits &= bits - 1) {
                const short r = replacement_[occurrence++];
                if (r != kKeep)
                    out[pos + static_cast<std::size_t>(__builtin_ctz(bits))] = static_cast<unsigned char>(r);
            }
            // The list ran out inside this block: the rest of it already
            // follows the rule beyond the list.
            for (; bits != 0 && !beyondIsIdentity_; bits &= bits - 1)
                out[pos + static_cast<std::size_t>(__builtin_ctz(bits))] = beyondByte_;
            pos += 16;
        }
    }
#endif
    while (occurrence < listSize && pos < n) {
        const unsigned char b = in[pos];
        unsigned char result = b;
        if (separator_[b]) {
            const short r = replacement_[occurrence++];
            if (r != kKeep)
                result = static_cast<unsigned char>(r);
        }
        out[pos++] = result;
    }

    if (pos == n)
        return;
    if (beyondIsIdentity_) {
        if (out != in)
            std::memcpy(out + pos, in + pos, n - pos);
        return;
    }
#if defined(__SSE2__)
    // The overlapping last block may only reach back over bytes that are
    // past the list as well.
    if (vector && n - pos >= 16) {
        if (setSize_ == 1) {
            const __m128i only = set.bytes[0];
            MapBeyondVector(in, out, pos, n, beyondByte_, [&](__m128i v) { return _mm_cmpeq_epi8(v, only); });
        } else {
            MapBeyondVector(in, out, pos, n, beyondByte_, [&](__m128i v) { return set.Mask(v); });
        }
        return;
    }
#endif
    for (; pos < n; ++pos)
        out[pos] = beyondTable_[in[pos]];
}

namespace {

// Up to this many distinct bytes that change are compared a vector at a
// time in a run; more go through the table one byte at a time.
constexpr std::size_t kRunVectorLimit = 4;

template <std::size_t Count>
void MapRunScalar(unsigned char* p, std::size_t n, const unsigned char* bytes, unsigned char with)
{
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t k = 0; k < Count; ++k) {
            if (p[i] == bytes[k])
                p[i] = with;
        }
    }
}

void MapRunWithTable(unsigned char* p, std::size_t n, const std::array<unsigned char, 256>& table)
{
    for (std::size_t i = 0; i < n; ++i)
        p[i] = table[p[i]];
}

#if defined(MORVANE_HAVE_AVX2_KERNELS)
template <std::size_t Count>
__attribute__((target("avx2"))) inline void MapBlockAvx2(unsigned char* p, const __m256i* set, __m256i to)
{
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    __m256i mask = _mm256_cmpeq_epi8(v, set[0]);
    for (std::size_t k = 1; k < Count; ++k)
        mask = _mm256_or_si256(mask, _mm256_cmpeq_epi8(v, set[k]));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), _mm256_blendv_epi8(v, to, mask));
}

template <std::size_t Count>
__attribute__((target("avx2"))) void MapRunAvx2(unsigned char* p, std::size_t n, const unsigned char* bytes,
                                                unsigned char with)
{
    if (n < 32) {
        MapRunScalar<Count>(p, n, bytes, with);
        return;
    }
    __m256i set[Count];
    for (std::size_t k = 0; k < Count; ++k)
        set[k] = _mm256_set1_epi8(static_cast<char>(bytes[k]));
    const __m256i to = _mm256_set1_epi8(static_cast<char>(with));
    std::size_t i = 0;
    for (; n - i >= 64; i += 64) {
        MapBlockAvx2<Count>(p + i, set, to);
        MapBlockAvx2<Count>(p + i + 32, set, to);
    }
    for (; n - i >= 32; i += 32)
        MapBlockAvx2<Count>(p + i, set, to);
    // The last bytes as one block that overlaps bytes already done: mapping
    // a byte twice gives what mapping it once gave, as the replacement is
    // never one of the bytes that change.
    if (i < n)
        MapBlockAvx2<Count>(p + n - 32, set, to);
}

const bool kHaveAvx2 = [] {
    __builtin_cpu_init(); // this may run before the library's own start-up
    return __builtin_cpu_supports("avx2") != 0;
}();
#endif

#if defined(__SSE2__)
template <std::size_t Count>
void MapRunSse2(unsigned char* p, std::size_t n, const unsigned char* bytes, unsigned char with)
{
    if (n < 16) {
        MapRunScalar<Count>(p, n, bytes, with);
        return;
    }
    __m128i set[Count];
    for (std::size_t k = 0; k < Count; ++k)
        set[k] = _mm_set1_epi8(static_cast<char>(bytes[k]));
    const __m128i to = _mm_set1_epi8(static_cast<char>(with));
    auto map = [&](std::size_t at) {
        const __m128i v = Load(p + at);
        __m128i mask = _mm_cmpeq_epi8(v, set[0]);
        for (std::size_t k = 1; k < Count; ++k)
            mask = _mm_or_si128(mask, _mm_cmpeq_epi8(v, set[k]));
        Store(p + at, _mm_or_si128(_mm_and_si128(mask, to), _mm_andnot_si128(mask, v)));
    };
    std::size_t i = 0;
    for (; n - i >= 16; i += 16)
        map(i);
    if (i < n)
        map(n - 16);
}
#endif

template <std::size_t Count>
void MapRunVector(unsigned char* p, std::size_t n, const unsigned char* bytes, unsigned char with)
{
#if defined(MORVANE_HAVE_AVX2_KERNELS)
    if (kHaveAvx2) {
        MapRunAvx2<Count>(p, n, bytes, with);
        return;
    }
#endif
#if defined(__SSE2__)
    MapRunSse2<Count>(p, n, bytes, with);
#else
    MapRunScalar<Count>(p, n, bytes, with);
#endif
}

} // namespace

void TLineMapper::MapRun(unsigned char* bytes, std::size_t n) const
{
    // Every byte that changes turns into the one replacement beyond the list.
    switch (runSize_) {
    case 0:
        return;
    case 1:
        MapRunVector<1>(bytes, n, runBytes_.data(), beyondByte_);
        return;
    case 2:
        MapRunVector<2>(bytes, n, runBytes_.data(), beyondByte_);
        return;
    case 3:
        MapRunVector<3>(bytes, n, runBytes_.data(), beyondByte_);
        return;
    case 4:
        MapRunVector<4>(bytes, n, runBytes_.data(), beyondByte_);
        return;
    default:
        MapRunWithTable(bytes, n, runTable_);
    }
    static_assert(kRunVectorLimit == 4);
}

namespace {

#if defined(__SSE2__)
template <std::size_t Count>
void MapTextCopySse2(const unsigned char* from, unsigned char* to, std::size_t n, const unsigned char* bytes,
                     unsigned char with)
{
    __m128i set[Count];
    for (std::size_t k = 0; k < Count; ++k)
        set[k] = _mm_set1_epi8(static_cast<char>(bytes[k]));
    const __m128i replacement = _mm_set1_epi8(static_cast<char>(with));
    auto map = [&](std::size_t at) {
        const __m128i v = Load(from + at);
        __m128i mask = _mm_cmpeq_epi8(v, set[0]);
        for (std::size_t k = 1; k < Count; ++k)
            mask = _mm_or_si128(mask, _mm_cmpeq_epi8(v, set[k]));
        Store(to + at, _mm_or_si128(_mm_and_si128(mask, replacement), _mm_andnot_si128(mask, v)));
    };
    std::size_t i = 0;
    for (; n - i > 16; i += 16)
        map(i);
    // The last block may overlap bytes already done; it maps them again from
    // the source, to the same result.
    map(n - 16);
}
#endif

#if defined(MORVANE_HAVE_AVX2_KERNELS)
template <std::size_t Count>
__attribute__((target("avx2"))) inline void MapBlockCopyAvx2(const unsigned char* from, unsigned char* to,
                                                             const __m256i* set, __m256i with)
{
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from));
    __m256i mask = _mm256_cmpeq_epi8(v, set[0]);
    for (std::size_t k = 1; k < Count; ++k)
        mask = _mm256_or_si256(mask, _mm256_cmpeq_epi8(v, set[k]));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(to), _mm256_blendv_epi8(v, with, mask));
}

template <std::size_t Count>
__attribute__((target("avx2"))) void MapTextCopyAvx2(const unsigned char* from, unsigned char* to, std::size_t n,
                                                     const unsigned char* bytes, unsigned char replacement)
{
    __m256i set[Count];
    for (std::size_t k = 0; k < Count; ++k)
        set[k] = _mm256_set1_epi8(static_cast<char>(bytes[k]));
    const __m256i with = _mm256_set1_epi8(static_cast<char>(replacement));
    std::size_t i = 0;
    for (; n - i > 32; i += 32)
        MapBlockCopyAvx2<Count>(from + i, to + i, set, with);
    MapBlockCopyAvx2<Count>(from + n - 32, to + n - 32, set, with);
}
#endif

} // namespace

void TLineMapper::MapTextCopy(const unsigned char* from, unsigned char* to, std::size_t n) const
{
#if defined(MORVANE_HAVE_AVX2_KERNELS)
    if (n >= 32 && kHaveAvx2 && runSize_ >= 1 && runSize_ <= 2) {
        if (runSize_ == 1)
            MapTextCopyAvx2<1>(from, to, n, runBytes_.data(), beyondByte_);
        else
            MapTextCopyAvx2<2>(from, to, n, runBytes_.data(), beyondByte_);
        return;
    }
#endif
#if defined(__SSE2__)
    if (n >= 16) {
        switch (runSize_) {
        case 0:
            std::memcpy(to, from, n);
            return;
        case 1:
            MapTextCopySse2<1>(from, to, n, runBytes_.data(), beyondByte_);
            return;
        case 2:
            MapTextCopySse2<2>(from, to, n, runBytes_.data(), beyondByte_);
            return;
        default:
            break;
        }
    }
#endif
    for (std::size_t i = 0; i < n; ++i)
        to[i] = runTable_[from[i]];
}

std::size_t TLineMapper::CountSeparators(const char* text, std::size_t n) const
{
    const auto* in = reinterpret_cast<const unsigned char*>(text);
    std::size_t count = 0;
    std::size_t pos = 0;
#if defined(__SSE2__)
    if (setSize_ > 0 && setSize_ <= kVectorSetLimit && n >= 16) {
        const TVectorSet set(setBytes_.data(), setSize_);
        for (; n - pos >= 16; pos += 16)
            count += static_cast<std::size_t>(
                __builtin_popcount(static_cast<unsigned>(_mm_movemask_epi8(set.Mask(Load(in + pos))))));
    }
#endif
    for (; pos < n; ++pos)
        count += separator_[in[pos]];
    return count;
}

std::string TLineMapper::Map(std::string_view line) const
{
    std::string result(line.size(), '\0');
    MapInto(line.data(), line.size(), result.data());
    return result;
}

} // namespace morvane
