#include "TRunLanes.h"

#include <bit>

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
        flip_[k] = run.flip_;
        min_[k] = run.min_;
        max_[k] = run.max_;
        first_[k] = run.first_;
        last_[k] = run.last_;
        firstTime_[k] = run.firstTime_;
        lastTime_[k] = run.lastTime_;
    }
}

void TRunLanes::Store(TNumberRun* const* runs) const
{
    for (std::size_t k = 0; k < n_; ++k) {
        TNumberRun& run = *runs[k];
        run.min_ = min_[k];
        run.max_ = max_[k];
        run.first_ = first_[k];
        run.last_ = last_[k];
        run.firstTime_ = firstTime_[k];
        run.lastTime_ = lastTime_[k];
        run.count_ += added_;
    }
}

#if defined(MORVANE_HAVE_AVX2_KERNELS)
__attribute__((target("avx2"))) bool TRunLanes::Add(const char* text, std::int64_t time)
{
    TRegisters registers;
    Enter(registers);
    if (!Step(registers, text, time))
        return false;
    Leave(registers);
    return true;
}
#else
bool TRunLanes::Add(const char*, std::int64_t)
{
    return false;
}
#endif

} // namespace morvane
