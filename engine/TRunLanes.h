#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "CpuFeatures.h"
#include "TNumberRun.h"

namespace morvane {

// Up to four fields' runs side by side, one to a lane of one vector, for
// the lines whose fields stand where the line before held them and keep
// their runs' shapes: one line then costs all its fields a few vector
// operations. The runs are taken in with Load and given back with Store;
// in between only the lanes hold them.
class TRunLanes {
public:
    static constexpr std::size_t kLanes = 4;

    // Whether the process runs at a vector width the lanes are built for.
    static bool Usable();

    // Takes in `n` (1 to kLanes) running runs, whose fields lie `from`
    // bytes into the lines with `length` (1 to TNumberRun::kLongest) bytes.
    void Load(TNumberRun* const* runs, std::size_t n, const std::uint8_t* from, const std::uint8_t* length);
    // The next line, at `text`, eight bytes of each field readable, at
    // `time`: added where every field's text is of its run's shape; false,
    // with nothing added, otherwise.
    bool Add(const char* text, std::int64_t time);
    // Gives the runs back, as if each line had gone into them one by one.
    void Store(TNumberRun* const* runs) const;

#if defined(MORVANE_HAVE_AVX2_KERNELS)
    // The values the lines change, held in registers over a stretch of
    // lines by code built for AVX2: taken out with Enter, each line added
    // with Step, put back with Leave.
    struct TRegisters {
        __m256i Min;
        __m256i Max;
        __m256i First;
        __m256i Last;
        __m256i FirstTime;
        __m256i LastTime;
        std::int64_t Added;
    };
    __attribute__((target("avx2"))) void Enter(TRegisters& registers) const;
    // As Add, into `registers`, which it leaves as they were where it
    // answers false.
    __attribute__((target("avx2"))) bool Step(TRegisters& registers, const char* text, std::int64_t time) const;
    __attribute__((target("avx2"))) void Leave(const TRegisters& registers);
#endif

private:
    std::uint64_t shape_[kLanes] = {};
    std::uint64_t keep_[kLanes] = {};   // the bytes of each field's length
    std::uint64_t top_[kLanes] = {};    // their top bits
    std::uint64_t length_[kLanes] = {}; // as it stands in a shape
    // The run's flip. A run's keys all have the top bit of its first
    // byte's kind (a digit, a mark, a plus: clear; a minus, flipped: set),
    // so the signed compares of the lanes order them as the run does.
    std::uint64_t flip_[kLanes] = {};
    std::uint64_t min_[kLanes] = {};
    std::uint64_t max_[kLanes] = {};
    std::uint64_t first_[kLanes] = {};
    std::uint64_t last_[kLanes] = {};
    std::int64_t firstTime_[kLanes] = {};
    std::int64_t lastTime_[kLanes] = {};
    std::uint32_t from_[kLanes] = {};
    std::size_t n_ = 0;
    std::int64_t added_ = 0;
};

#if defined(MORVANE_HAVE_AVX2_KERNELS)
namespace run_lanes_detail {

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

} // namespace run_lanes_detail

inline void TRunLanes::Enter(TRegisters& registers) const
{
    using run_lanes_detail::At;
    registers = {At(min_), At(max_), At(first_), At(last_), At(firstTime_), At(lastTime_), 0};
}

inline void TRunLanes::Leave(const TRegisters& registers)
{
    using run_lanes_detail::Put;
    Put(min_, registers.Min);
    Put(max_, registers.Max);
    Put(first_, registers.First);
    Put(last_, registers.Last);
    Put(firstTime_, registers.FirstTime);
    Put(lastTime_, registers.LastTime);
    added_ += registers.Added;
}

inline bool TRunLanes::Step(TRegisters& registers, const char* text, std::int64_t time) const
{
    using run_lanes_detail::At;
    // Put together in registers: a vector loaded from four words just
    // stored would wait for the stores.
    const auto bytesAt = [&](std::size_t k) {
        std::uint64_t bytes;
        std::memcpy(&bytes, text + from_[k], sizeof bytes);
        return static_cast<long long>(bytes);
    };
    const __m128i low = _mm_insert_epi64(_mm_cvtsi64_si128(bytesAt(0)), bytesAt(1), 1);
    const __m128i high = _mm_insert_epi64(_mm_cvtsi64_si128(bytesAt(2)), bytesAt(3), 1);
    const __m256i word = _mm256_and_si256(_mm256_inserti128_si256(_mm256_castsi128_si256(low), high, 1), At(keep_));
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
    registers.Min = _mm256_blendv_epi8(registers.Min, key, _mm256_cmpgt_epi64(registers.Min, key));
    registers.Max = _mm256_blendv_epi8(registers.Max, key, _mm256_cmpgt_epi64(key, registers.Max));
    // As KeepFirstAndLast, lane by lane.
    const __m256i when = _mm256_set1_epi64x(time);
    const __m256i earlier = _mm256_cmpgt_epi64(registers.FirstTime, when);
    const __m256i before = _mm256_cmpgt_epi64(registers.LastTime, when); // a later last stays
    registers.First = _mm256_blendv_epi8(registers.First, key, earlier);
    registers.FirstTime = _mm256_blendv_epi8(registers.FirstTime, when, earlier);
    registers.Last = _mm256_blendv_epi8(key, registers.Last, before);
    registers.LastTime = _mm256_blendv_epi8(when, registers.LastTime, before);
    ++registers.Added;
    return true;
}
#endif

} // namespace morvane
