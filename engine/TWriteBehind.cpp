#include "TWriteBehind.h"

#include <cassert>
#include <chrono>
#include <system_error>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace morvane {

namespace {

// Longer than either side keeps the other waiting while the run goes at full
// speed, shorter than filling a buffer takes: a side that has waited this
// long sleeps rather than keep a processor busy.
constexpr auto kSpinTime = std::chrono::microseconds(50);

inline void Relax()
{
#if defined(__SSE2__)
    _mm_pause();
#endif
}

} // namespace

TWriteBehind::TWriteBehind(std::function<int(const char*, std::size_t)> write, unsigned processors)
    : write_(std::move(write)), oneProcessor_(processors == 1)
{
}

unsigned TWriteBehind::MachineProcessors()
{
    // Asked once: the answer costs a look at the system.
    static const unsigned processors = std::thread::hardware_concurrency();
    return processors;
}

TWriteBehind::~TWriteBehind()
{
    if (!thread_.joinable())
        return;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

template <typename Ready>
bool TWriteBehind::SpinUntil(Ready ready)
{
    const auto until = std::chrono::steady_clock::now() + kSpinTime;
    for (;;) {
        for (int i = 0; i < 64; ++i) {
            if (ready())
                return true;
            Relax();
        }
        if (std::chrono::steady_clock::now() >= until)
            return ready();
    }
}

// Looks for a while before it sleeps, where that paid the last time: a side
// that had to sleep anyway looks again only once it is woken soon enough.
template <typename Ready>
void TWriteBehind::Await(Ready ready, bool& spins, std::atomic<bool>& asleep)
{
    if (ready() || (spins && SpinUntil(ready)))
        return;
    const auto start = std::chrono::steady_clock::now();
    {
        std::unique_lock lock(mutex_);
        asleep = true;
        wake_.wait(lock, ready);
        asleep = false;
    }
    spins = std::chrono::steady_clock::now() - start < kSpinTime;
}

void TWriteBehind::Start(const char* data, std::size_t n)
{
    assert(!busy_ && "TWriteBehind::Start needs the write before waited for");
    if (oneProcessor_) {
        error_ = write_(data, n);
        return;
    }
    if (!thread_.joinable()) {
        try {
            thread_ = std::thread([this] { Serve(); });
        } catch (const std::system_error&) {
            // No thread to be had: the caller writes, as if there were none.
            error_ = write_(data, n);
            return;
        }
    }
    data_ = data;
    size_ = n;
    busy_ = true;
    if (threadAsleep_) {
        std::lock_guard lock(mutex_);
        wake_.notify_all();
    }
}

int TWriteBehind::Wait()
{
    Await([this] { return !busy_; }, callerSpins_, callerAsleep_);
    return std::exchange(error_, 0);
}

// Whether there is something to write; false once the writer is going.
bool TWriteBehind::AwaitWork()
{
    Await([this] { return busy_ || stopping_; }, threadSpins_, threadAsleep_);
    return busy_;
}

void TWriteBehind::Serve()
{
    while (AwaitWork()) {
        error_ = write_(data_, size_);
        busy_ = false;
        if (callerAsleep_) {
            std::lock_guard lock(mutex_);
            wake_.notify_all();
        }
    }
}

} // namespace morvane
