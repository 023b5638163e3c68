#include "TVectorWidth.h"

#include <cstdlib>
#include <string>

#include "CpuFeatures.h"
#include "EUnsupportedWidth.h"

namespace morvane {

namespace {

constexpr TVectorWidth::TKind kKinds[] = {TVectorWidth::TKind::Scalar, TVectorWidth::TKind::Sse2,
                                          TVectorWidth::TKind::Avx2};

} // namespace

std::string_view TVectorWidth::Name(TKind kind)
{
    switch (kind) {
    case TKind::Avx2:
        return "avx2";
    case TKind::Sse2:
        return "sse2";
    default:
        return "scalar";
    }
}

TVectorWidth::TKind TVectorWidth::Widest()
{
#if defined(MORVANE_HAVE_AVX2_KERNELS)
    __builtin_cpu_init(); // this may run before the library's own start-up
    if (__builtin_cpu_supports("avx2"))
        return TKind::Avx2;
#endif
#if defined(__SSE2__)
    return TKind::Sse2;
#else
    return TKind::Scalar;
#endif
}

TVectorWidth::TKind TVectorWidth::Choose(const char* request, TKind widest)
{
    if (!request || !*request)
        return widest;
    for (const TKind kind : kKinds) {
        if (Name(kind) != request)
            continue;
        if (kind > widest)
            throw EUnsupportedWidth("MORVANE_SIMD=" + std::string(request) + " asks for vector code this " +
                                    "processor cannot run; its widest is " + std::string(Name(widest)) +
                                    ": unset MORVANE_SIMD or name that or a narrower width");
        return kind;
    }
    throw EUnsupportedWidth("MORVANE_SIMD=" + std::string(request) +
                            " names no vector width: use scalar, sse2 or avx2, or unset it");
}

TVectorWidth::TKind TVectorWidth::ChooseForProcess()
{
    // A refused request is not kept, so every run that asks is told. Two
    // threads asking at once choose alike.
    const TKind kind = Choose(std::getenv("MORVANE_SIMD"), Widest());
    known_.store(static_cast<int>(kind), std::memory_order_relaxed);
    return kind;
}

} // namespace morvane
