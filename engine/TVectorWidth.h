#pragma once

#include <atomic>
#include <string_view>

namespace morvane {

// The vector width every kernel of the engine runs at, chosen once per
// process: the widest the processor has, unless MORVANE_SIMD names a
// narrower one (scalar, sse2 or avx2), so that each width's kernels can be
// run and tested on one machine.
class TVectorWidth {
public:
    enum class TKind { Scalar, Sse2, Avx2 };

    // The process's width. Raises EUnsupportedWidth, each time it is asked,
    // while MORVANE_SIMD names a width that cannot run here.
    static TKind Process()
    {
        // Asked before every kernel, so kept where a load finds it.
        const int known = known_.load(std::memory_order_relaxed);
        return known >= 0 ? static_cast<TKind>(known) : ChooseForProcess();
    }

    // The width for `request` (the variable's value; null or empty for
    // none) on a processor whose widest width is `widest`.
    static TKind Choose(const char* request, TKind widest);
    // The widest this build can run on this processor.
    static TKind Widest();
    static std::string_view Name(TKind kind);

private:
    static TKind ChooseForProcess();
    static inline std::atomic<int> known_{-1};
};

} // namespace morvane
