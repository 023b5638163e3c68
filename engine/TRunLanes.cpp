#include "TRunLanes.h"

#include <bit>
#include <cstring>

#include "CpuFeatures.h"
#include "TVectorWidth.h"

namespace morvane {

bool TRunLanes::Usable()
{
#if defined(MORVANE_HAVE_AVX2_KERNELS)
    return std::endian::native == std::endian::little && TVectorWidth::Process() == TVectorWidth::TKind::Avx2;
#else
    return false;
#endif
}

void TRunLanes::Load(TNumberRun* const* runs, std::size_t n, const std::uint8_t* from, const std::uint8_t* length)
{
    n_ = n;
    added_ = 0;
    for (std::size_t k = 0; k < kLanes; ++k) {
        // A lane without a run reads the first field again and keeps
        // nothing of it: its bytes all masked, its shape 0 as theirs.
        const bool used = k < n;
        const TNumberRun& run = *runs[used ? k : 0];
        from_[k] = from[used ? k : 0];
        keep_[k] = used ? (std::uint64_t{1} << 8 * length[k]) - 1 : 0;
        top_[k] = keep_[k] & 0x8080'8080'8080'8080ull;
        length_[k] = used ? std::uint64_t{length[k]} << 56 : 0;
        shape_[k] = used ? run.shape_ : 0;
        flip_[k] = run.flip_ ^ kBias;
        min_[k] = run.min_ ^ kBias;
        max_[k] = run.max_ ^ kBias;
        first_[k] = run.first_ ^ kBias;
        last_[k] = run.last_ ^ kBias;
        firstTime_[k] = run.firstTime_;
        lastTime_[k] = run.lastTime_;
    }
}

void TRunLanes::Store(TNumberRun* const* runs) const
{
    for (std::size_t k = 0; k < n_; ++k) {
        TNumberRun& run = *runs[k];
        run.min_ = min_[k] ^ kBias;
        run.max_ = max_[k] ^ kBias;
        run.first_ = first_[k] ^ kBias;
        run.last_ = last_[k] ^ kBias;
        run.firstTime_ = firstTime_[k];
        run.lastTime_ = lastTime_[k];
        run.count_ += added_;
    }
}

#if defined(MORVANE_HAVE_AVX2_KERNELS)
namespace {

// Unaligned, as a Windows build does not align its stack to 32 bytes.
template <typename T>
__attribute__((target("avx2"), always_inline)) inline __m256i At(const T* p)
{
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

template <typename T>
__attribute__((target("avx2"), always_inline)) inline void Put(T* p, __m256i v)
{
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v);
}

} // namespace

__attribute__((target("avx2"))) bool TRunLanes::Add(const char* text, std::int64_t time)
{
    // Put together in registers: a vector loaded from four words just
    // stored would wait for the stores.
    const auto bytesAt = [&](std::size_t k) {
        std::uint64_t bytes;
        std::memcpy(&bytes, text + from_[k], sizeof bytes);
        return static_cast<long long>(bytes);
    };
    const __m128i low = _mm_insert_epi64(_mm_cvtsi64_si128(bytesAt(0)), bytesAt(1), 1);
    const __m128i high = _mm_insert_epi64(_mm_cvtsi64_si128(bytesAt(2)), bytesAt(3), 1);
    const __m256i keep = At(keep_);
    const __m256i word = _mm256_and_si256(_mm256_inserti128_si256(_mm256_castsi128_si256(low), high, 1), keep);
    // As TNumberRun::TextAt: the bytes that are no digit, where they stand,
    // each with its top bit set, and the length.
    const __m256i digits = _mm256_xor_si256(word, _mm256_set1_epi8('0'));
    const __m256i isDigit = _mm256_cmpeq_epi8(_mm256_min_epu8(digits, _mm256_set1_epi8(9)), digits);
    const __m256i shape = _mm256_or_si256(_mm256_andnot_si256(isDigit, _mm256_or_si256(word, At(top_))), At(length_));
    if (_mm256_movemask_epi8(_mm256_cmpeq_epi64(shape, At(shape_))) != -1)
        return false;
    // Each lane's bytes reversed: the first byte the highest.
    const __m256i reverse = _mm256_setr_epi8(7, 6, 5, 4, 3, 2, 1, 0, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2,
                                             1, 0, 15, 14, 13, 12, 11, 10, 9, 8);
    const __m256i key = _mm256_xor_si256(_mm256_shuffle_epi8(word, reverse), At(flip_));
    const __m256i min = At(min_);
    const __m256i max = At(max_);
    Put(min_, _mm256_blendv_epi8(min, key, _mm256_cmpgt_epi64(min, key)));
    Put(max_, _mm256_blendv_epi8(max, key, _mm256_cmpgt_epi64(key, max)));
    // As KeepFirstAndLast, lane by lane.
    const __m256i when = _mm256_set1_epi64x(time);
    const __m256i firstTime = At(firstTime_);
    const __m256i lastTime = At(lastTime_);
    const __m256i earlier = _mm256_cmpgt_epi64(firstTime, when);
    const __m256i before = _mm256_cmpgt_epi64(lastTime, when); // a later last stays
    Put(first_, _mm256_blendv_epi8(At(first_), key, earlier));
    Put(firstTime_, _mm256_blendv_epi8(firstTime, when, earlier));
    Put(last_, _mm256_blendv_epi8(key, At(last_), before));
    Put(lastTime_, _mm256_blendv_epi8(when, lastTime, before));
    ++added_;
    return true;
}
#else
bool TRunLanes::Add(const char*, std::int64_t)
{
    return false;
}
#endif

} // namespace morvane
