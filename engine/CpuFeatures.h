#pragma once

// Which vector kernels this build carries beyond its baseline, and whether
// the processor it runs on can use them. Every fast path asks here.

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
// The AVX2 kernels are compiled for their own target, so that one program
// serves processors with and without AVX2.
#define MORVANE_HAVE_AVX2_KERNELS 1
#endif

namespace morvane {

#if defined(MORVANE_HAVE_AVX2_KERNELS)
// Asked once per process.
inline const bool kHaveAvx2 = [] {
    __builtin_cpu_init(); // this may run before the library's own start-up
    return __builtin_cpu_supports("avx2") != 0;
}();
#endif

} // namespace morvane
