#pragma once

// Which vector kernels this build carries beyond its baseline. Whether the
// processor can run them, and which width a run uses, TVectorWidth tells.

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
// The AVX2 kernels are compiled for their own target, so that one program
// serves processors with and without AVX2.
#define MORVANE_HAVE_AVX2_KERNELS 1
#endif
