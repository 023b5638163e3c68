#pragma once

#include <cstddef>
#include <cstdint>

#include "CpuFeatures.h"

namespace morvane {

// Byte vectors of one width each, so that a kernel is written once over the
// width. The AVX2 kind carries its own target: a kernel over it is entered
// through a function with target("avx2") and flatten, which pulls the kernel
// and these helpers into code built for that target.

#if defined(__SSE2__)
struct TSse2Bytes {
    using Vector = __m128i;
    static constexpr std::size_t kWidth = 16;

    static Vector Load(const unsigned char* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
    static void Store(unsigned char* p, Vector v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
    static Vector Broadcast(unsigned char b) { return _mm_set1_epi8(static_cast<char>(b)); }
    static Vector Equal(Vector a, Vector b) { return _mm_cmpeq_epi8(a, b); }
    static Vector Or(Vector a, Vector b) { return _mm_or_si128(a, b); }
    // `with` where mask is set, else v.
    static Vector Select(Vector mask, Vector with, Vector v)
    {
        return _mm_or_si128(_mm_and_si128(mask, with), _mm_andnot_si128(mask, v));
    }
    // One bit per byte, the first byte lowest.
    static std::uint32_t Bits(Vector mask) { return static_cast<std::uint32_t>(_mm_movemask_epi8(mask)); }
};
#endif

#if defined(MORVANE_HAVE_AVX2_KERNELS)
struct TAvx2Bytes {
    using Vector = __m256i;
    static constexpr std::size_t kWidth = 32;

    __attribute__((target("avx2"))) static Vector Load(const unsigned char* p)
    {
        return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    }
    __attribute__((target("avx2"))) static void Store(unsigned char* p, Vector v)
    {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v);
    }
    __attribute__((target("avx2"))) static Vector Broadcast(unsigned char b)
    {
        return _mm256_set1_epi8(static_cast<char>(b));
    }
    __attribute__((target("avx2"))) static Vector Equal(Vector a, Vector b) { return _mm256_cmpeq_epi8(a, b); }
    __attribute__((target("avx2"))) static Vector Or(Vector a, Vector b) { return _mm256_or_si256(a, b); }
    __attribute__((target("avx2"))) static Vector Select(Vector mask, Vector with, Vector v)
    {
        return _mm256_blendv_epi8(v, with, mask);
    }
    __attribute__((target("avx2"))) static std::uint32_t Bits(Vector mask)
    {
        return static_cast<std::uint32_t>(_mm256_movemask_epi8(mask));
    }
};
#endif

// A function that takes or returns an AVX2 vector by value has another
// calling convention in code not built for AVX2, which the compiler notes at
// every such call in the code below. It never matters: vectors cross no
// function boundary of this code by value, and the AVX2 calls run only
// inlined into code built for AVX2.
#pragma GCC diagnostic push
#if defined(__clang__)
#pragma clang diagnostic ignored "-Wunknown-warning-option"
#endif
#pragma GCC diagnostic ignored "-Wpsabi"

// Up to Capacity bytes, each broadcast across a vector once per call rather
// than once per block, and the separator kernel over them.
template <typename V, std::size_t Capacity>
struct TVectorByteSet {
    using Vector = typename V::Vector;

    TVectorByteSet(const unsigned char* set, std::size_t n) : count(n)
    {
        for (std::size_t k = 0; k < n; ++k)
            bytes[k] = V::Broadcast(set[k]);
    }

    // Which bytes of v equal one of the first n bytes of the set (n >= 1).
    // Given a constant n, the compares unroll.
    void Match(const Vector& v, std::size_t n, Vector& mask) const
    {
        mask = V::Equal(v, bytes[0]);
        for (std::size_t k = 1; k < n; ++k)
            mask = V::Or(mask, V::Equal(v, bytes[k]));
    }

    // Copies `size` >= V::kWidth bytes from `from` to `to` (the same place,
    // or apart) with every byte that one of the first n of the set turned
    // into `with`. The last bytes go as one block that overlaps bytes
    // already done: mapping a byte twice gives what mapping it once gave, as
    // long as `with` maps to itself.
    void Map(const unsigned char* from, unsigned char* to, std::size_t size, std::size_t n,
             const Vector& with) const
    {
        auto map = [&](std::size_t at) {
            const Vector v = V::Load(from + at);
            Vector mask;
            Match(v, n, mask);
            V::Store(to + at, V::Select(mask, with, v));
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
    const typename V::Vector replacement = V::Broadcast(with);
    set.Map(from, to, size, Count, replacement);
}

#pragma GCC diagnostic pop

} // namespace morvane
