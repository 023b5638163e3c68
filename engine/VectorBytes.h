#pragma once

#include <bit>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "CpuFeatures.h"
#include "TVectorWidth.h"

namespace morvane {

// Byte vectors of one width each, so that a kernel is written once over the
// width. The AVX2 kind carries its own target: a kernel over it is entered
// through a function with target("avx2") and flatten, which builds the
// kernel and these helpers into that function.
//
// Vectors go in and out by reference only. Where the compiler does not
// inline (a debug build), a kernel over AVX2 vectors is plain code calling
// AVX2 helpers, and a 32-byte vector passed by value between the two would
// be looked for in different places by caller and callee.

// The width every processor has: sixteen bytes one at a time, for a
// processor without vectors and for testing the kernels' logic at a width
// of its own.
struct TScalarBytes {
    struct Vector {
        unsigned char Bytes[16];
    };
    static constexpr std::size_t kWidth = 16;

    static void Load(const unsigned char* p, Vector& v) { std::memcpy(v.Bytes, p, kWidth); }
    static void Store(unsigned char* p, const Vector& v) { std::memcpy(p, v.Bytes, kWidth); }
    static void Broadcast(unsigned char b, Vector& v) { std::memset(v.Bytes, b, kWidth); }
    // All ones in each byte where a and b are equal, else zero. Each does
    // eight bytes at a time in a word, as any processor can: a byte that
    // differs keeps a high bit in ((x & 7f) + 7f) | x, without a carry
    // into its neighbour.
    static void Equal(const Vector& a, const Vector& b, Vector& mask)
    {
        for (std::size_t h = 0; h < kWidth; h += 8) {
            const std::uint64_t x = Word(a, h) ^ Word(b, h);
            const std::uint64_t differs = ((x & kLow7) + kLow7) | x;
            PutWord(mask, h, ((~differs & kHigh) >> 7) * 0xff);
        }
    }
    static void Or(Vector& mask, const Vector& more)
    {
        for (std::size_t h = 0; h < kWidth; h += 8)
            PutWord(mask, h, Word(mask, h) | Word(more, h));
    }
    static void Select(const Vector& mask, const Vector& with, Vector& v)
    {
        for (std::size_t h = 0; h < kWidth; h += 8) {
            const std::uint64_t m = Word(mask, h);
            PutWord(v, h, (Word(with, h) & m) | (Word(v, h) & ~m));
        }
    }
    // The high bit of each byte, the first byte lowest: one multiplication
    // gathers a word's eight into its top byte.
    static std::uint32_t Bits(const Vector& mask)
    {
        std::uint32_t bits = 0;
        for (std::size_t h = 0; h < kWidth; h += 8) {
            const std::uint64_t high = (Word(mask, h) & kHigh) >> 7;
            bits |= static_cast<std::uint32_t>((high * kGather) >> 56) << h;
        }
        return bits;
    }

private:
    static constexpr std::uint64_t kLow7 = 0x7f7f7f7f7f7f7f7full;
    static constexpr std::uint64_t kHigh = 0x8080808080808080ull;
    static constexpr std::uint64_t kGather = 0x0102040810204080ull;
    // The first byte lowest, whatever the processor's byte order.
    static std::uint64_t Word(const Vector& v, std::size_t at)
    {
        std::uint64_t word;
        std::memcpy(&word, v.Bytes + at, sizeof word);
        if constexpr (std::endian::native == std::endian::big)
            word = __builtin_bswap64(word);
        return word;
    }
    static void PutWord(Vector& v, std::size_t at, std::uint64_t word)
    {
        if constexpr (std::endian::native == std::endian::big)
            word = __builtin_bswap64(word);
        std::memcpy(v.Bytes + at, &word, sizeof word);
    }
};

#if defined(__SSE2__)
struct TSse2Bytes {
    using Vector = __m128i;
    static constexpr std::size_t kWidth = 16;

    static void Load(const unsigned char* p, Vector& v) { v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
    static void Store(unsigned char* p, const Vector& v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
    static void Broadcast(unsigned char b, Vector& v) { v = _mm_set1_epi8(static_cast<char>(b)); }
    // All ones in each byte where a and b are equal, else zero.
    static void Equal(const Vector& a, const Vector& b, Vector& mask) { mask = _mm_cmpeq_epi8(a, b); }
    static void Or(Vector& mask, const Vector& more) { mask = _mm_or_si128(mask, more); }
    // Turns the bytes of v where mask is set into those of `with`.
    static void Select(const Vector& mask, const Vector& with, Vector& v)
    {
        v = _mm_or_si128(_mm_and_si128(mask, with), _mm_andnot_si128(mask, v));
    }
    // One bit per byte, the first byte lowest.
    static std::uint32_t Bits(const Vector& mask) { return static_cast<std::uint32_t>(_mm_movemask_epi8(mask)); }
};
#endif

#if defined(MORVANE_HAVE_AVX2_KERNELS)
struct TAvx2Bytes {
    using Vector = __m256i;
    static constexpr std::size_t kWidth = 32;

    __attribute__((target("avx2"))) static void Load(const unsigned char* p, Vector& v)
    {
        v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    }
    __attribute__((target("avx2"))) static void Store(unsigned char* p, const Vector& v)
    {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v);
    }
    __attribute__((target("avx2"))) static void Broadcast(unsigned char b, Vector& v)
    {
        v = _mm256_set1_epi8(static_cast<char>(b));
    }
    __attribute__((target("avx2"))) static void Equal(const Vector& a, const Vector& b, Vector& mask)
    {
        mask = _mm256_cmpeq_epi8(a, b);
    }
    __attribute__((target("avx2"))) static void Or(Vector& mask, const Vector& more)
    {
        mask = _mm256_or_si256(mask, more);
    }
    __attribute__((target("avx2"))) static void Select(const Vector& mask, const Vector& with, Vector& v)
    {
        v = _mm256_blendv_epi8(v, with, mask);
    }
    __attribute__((target("avx2"))) static std::uint32_t Bits(const Vector& mask)
    {
        return static_cast<std::uint32_t>(_mm256_movemask_epi8(mask));
    }
};
#endif

// Up to Capacity bytes, each broadcast across a vector once per call rather
// than once per block, and the separator kernel over them.
template <typename V, std::size_t Capacity>
struct TVectorByteSet {
    using Vector = typename V::Vector;

    TVectorByteSet(const unsigned char* set, std::size_t n) : count(n)
    {
        for (std::size_t k = 0; k < n; ++k)
            V::Broadcast(set[k], bytes[k]);
    }

    // Which bytes of v equal one of the first n bytes of the set (n >= 1).
    // Given a constant n, the compares unroll.
    void Match(const Vector& v, std::size_t n, Vector& mask) const
    {
        V::Equal(v, bytes[0], mask);
        for (std::size_t k = 1; k < n; ++k) {
            Vector equal;
            V::Equal(v, bytes[k], equal);
            V::Or(mask, equal);
        }
    }

    // Copies `size` >= V::kWidth bytes from `from` to `to` (the same place,
    // or apart) with every byte that is one of the first n of the set turned
    // into `with`. The last bytes go as one block that overlaps bytes
    // already done: mapping a byte twice gives what mapping it once gave, as
    // long as `with` maps to itself.
    void Map(const unsigned char* from, unsigned char* to, std::size_t size, std::size_t n,
             const Vector& with) const
    {
        // The last block reaches back from the end: it needs a whole vector.
        assert(size >= V::kWidth && "TVectorByteSet::Map needs a vector's width of input");
        // In place or apart: a partial overlap would map mapped bytes.
        assert((from == to || from + size <= to || to + size <= from) && "Map's input and output overlap");
        auto map = [&](std::size_t at) {
            Vector v;
            V::Load(from + at, v);
            Vector mask;
            Match(v, n, mask);
            V::Select(mask, with, v);
            V::Store(to + at, v);
        };
        constexpr std::size_t kWidth = V::kWidth;
        std::size_t i = 0;
        for (; size - i >= 2 * kWidth; i += 2 * kWidth) {
            map(i);
            map(i + kWidth);
        }
        for (; size - i >= kWidth; i += kWidth)
            map(i);
        if (i < size)
            map(size - kWidth);
    }

    Vector bytes[Capacity];
    std::size_t count;
};

// Maps `size` >= V::kWidth bytes as TVectorByteSet::Map does, for a set of
// Count bytes.
template <typename V, std::size_t Count>
inline void MapMatching(const unsigned char* from, unsigned char* to, std::size_t size, const unsigned char* bytes,
                        unsigned char with)
{
    const TVectorByteSet<V, Count> set(bytes, Count);
    typename V::Vector replacement;
    V::Broadcast(with, replacement);
    set.Map(from, to, size, Count, replacement);
}

// The line controls LF, CR and Ctrl-Z in a block of kScanBlock bytes, one
// bit per byte, the first byte lowest: the one scan every line search of
// the engine is built on.
constexpr std::size_t kScanBlock = 64;
struct TBlockBits {
    std::uint64_t Lf;
    std::uint64_t Cr;
    std::uint64_t CtrlZ;
};

template <typename V>
class TBlockScanner {
public:
    TBlockScanner()
    {
        V::Broadcast('\n', lf_);
        V::Broadcast('\r', cr_);
        V::Broadcast(26, ctrlZ_);
    }

    // The kScanBlock bytes at p, all readable.
    TBlockBits Scan(const unsigned char* p) const
    {
        static_assert(kScanBlock % V::kWidth == 0);
        TBlockBits bits{0, 0, 0};
        for (std::size_t i = 0; i < kScanBlock; i += V::kWidth) {
            typename V::Vector v;
            V::Load(p + i, v);
            typename V::Vector equal;
            V::Equal(v, lf_, equal);
            bits.Lf |= std::uint64_t{V::Bits(equal)} << i;
            V::Equal(v, cr_, equal);
            bits.Cr |= std::uint64_t{V::Bits(equal)} << i;
            V::Equal(v, ctrlZ_, equal);
            bits.CtrlZ |= std::uint64_t{V::Bits(equal)} << i;
        }
        return bits;
    }

    // Whether any of the kScanBlock bytes at p is a line control.
    bool AnyControl(const unsigned char* p) const
    {
        typename V::Vector hit;
        Hits(p, hit);
        for (std::size_t i = V::kWidth; i < kScanBlock; i += V::kWidth) {
            typename V::Vector more;
            Hits(p + i, more);
            V::Or(hit, more);
        }
        return V::Bits(hit) != 0;
    }

    // Bits of the line controls in the V::kWidth bytes at p.
    std::uint32_t Controls(const unsigned char* p) const
    {
        typename V::Vector v;
        V::Load(p, v);
        return Controls(v);
    }
    std::uint32_t Controls(const typename V::Vector& v) const
    {
        typename V::Vector hit;
        Hits(v, hit);
        return V::Bits(hit);
    }

private:
    // All ones in each byte of v that is a line control.
    void Hits(const typename V::Vector& v, typename V::Vector& hit) const
    {
        V::Equal(v, lf_, hit);
        typename V::Vector more;
        V::Equal(v, cr_, more);
        V::Or(hit, more);
        V::Equal(v, ctrlZ_, more);
        V::Or(hit, more);
    }
    void Hits(const unsigned char* p, typename V::Vector& hit) const
    {
        typename V::Vector v;
        V::Load(p, v);
        Hits(v, hit);
    }

    typename V::Vector lf_;
    typename V::Vector cr_;
    typename V::Vector ctrlZ_;
};

// Runs Kernel<V>::Run(args...) at the process's vector width. Each width
// has an entry of its own that pulls the whole kernel into itself, so that
// the AVX2 one is built for AVX2 and the compares unroll.
template <template <typename> class Kernel, typename... Args>
__attribute__((flatten)) auto RunScalar(Args... args)
{
    return Kernel<TScalarBytes>::Run(args...);
}
#if defined(__SSE2__)
template <template <typename> class Kernel, typename... Args>
__attribute__((flatten)) auto RunSse2(Args... args)
{
    return Kernel<TSse2Bytes>::Run(args...);
}
#endif
#if defined(MORVANE_HAVE_AVX2_KERNELS)
template <template <typename> class Kernel, typename... Args>
__attribute__((target("avx2"), flatten)) auto RunAvx2(Args... args)
{
    return Kernel<TAvx2Bytes>::Run(args...);
}
#endif

// A kernel over `size` bytes that one vector of the process's width would
// not fill takes the next narrower width, so that short lines still go a
// vector at a time.
template <template <typename> class Kernel, typename... Args>
auto AtProcessWidthFor(std::size_t size, Args... args)
{
    switch (TVectorWidth::Process()) {
#if defined(MORVANE_HAVE_AVX2_KERNELS)
    case TVectorWidth::TKind::Avx2:
        if (size >= TAvx2Bytes::kWidth)
            return RunAvx2<Kernel>(args...);
        [[fallthrough]];
#endif
#if defined(__SSE2__)
    case TVectorWidth::TKind::Sse2:
        return RunSse2<Kernel>(args...);
#endif
    default:
        (void)size;
        return RunScalar<Kernel>(args...);
    }
}

template <template <typename> class Kernel, typename... Args>
auto AtProcessWidth(Args... args)
{
    return AtProcessWidthFor<Kernel>(~std::size_t{0}, args...);
}

// The entry of Kernel at the process's vector width, for a caller that
// runs the kernel many times: the width is asked once, not on every call.
template <template <typename> class Kernel, typename... Args>
auto KernelAtProcessWidth() -> decltype(&RunScalar<Kernel, Args...>)
{
    switch (TVectorWidth::Process()) {
#if defined(MORVANE_HAVE_AVX2_KERNELS)
    case TVectorWidth::TKind::Avx2:
        return &RunAvx2<Kernel, Args...>;
#endif
#if defined(__SSE2__)
    case TVectorWidth::TKind::Sse2:
        return &RunSse2<Kernel, Args...>;
#endif
    default:
        return &RunScalar<Kernel, Args...>;
    }
}

// The first and the last sizeof(Word) of n >= sizeof(Word) bytes, which
// overlap where n is less than two words.
template <typename Word>
inline void CopyHeadAndTail(char* to, const char* from, std::size_t n)
{
    Word head, tail;
    std::memcpy(&head, from, sizeof head);
    std::memcpy(&tail, from + n - sizeof tail, sizeof tail);
    std::memcpy(to, &head, sizeof head);
    std::memcpy(to + n - sizeof tail, &tail, sizeof tail);
}

// Copies a line's worth of bytes without a library call per line: fixed
// sizes, the last of them overlapping, cost no call.
inline void CopyShort(char* to, const char* from, std::size_t n)
{
    if (n >= 16) {
        std::size_t i = 0;
        for (; n - i > 16; i += 16)
            std::memcpy(to + i, from + i, 16);
        std::memcpy(to + n - 16, from + n - 16, 16);
    } else if (n >= 8) {
        CopyHeadAndTail<std::uint64_t>(to, from, n);
    } else if (n >= 4) {
        CopyHeadAndTail<std::uint32_t>(to, from, n);
    } else {
        for (std::size_t i = 0; i < n; ++i)
            to[i] = from[i];
    }
}

} // namespace morvane
