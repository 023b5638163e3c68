#pragma once

#include <cstddef>
#include <cstdint>

#include "CpuFeatures.h"

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

} // namespace morvane
