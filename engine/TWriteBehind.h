#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <thread>

namespace morvane {

// Writes one buffer at a time on a thread of its own, so that the system's
// copying of a full buffer into the file overlaps the filling of the next.
// The thread is started with the first write, so short outputs never pay
// for one; with one processor, or where no thread can be started, the write
// is done in the caller.
class TWriteBehind {
public:
    // `write` puts n bytes into the file and returns 0 or the system's error
    // code; it runs on the thread, never at the same time as itself. With
    // one processor the two sides could only take turns, so `processors`
    // (the machine's, unless a test says otherwise) of 1 writes in the caller.
    explicit TWriteBehind(std::function<int(const char*, std::size_t)> write,
                          unsigned processors = MachineProcessors());
    // Waits for the write in flight.
    ~TWriteBehind();
    TWriteBehind(const TWriteBehind&) = delete;
    TWriteBehind& operator=(const TWriteBehind&) = delete;

    // Hands over n bytes that must stay as they are until Wait returns; the
    // write before must have been waited for.
    void Start(const char* data, std::size_t n);
    // Waits for the write in flight, if any; 0, or the code of its failure.
    int Wait();

    // Whether each side looks before it sleeps, as the last wait taught it;
    // the writer's is read only after a Wait.
    bool CallerPolls() const { return callerSpins_; }
    bool WriterPolls() const { return threadSpins_; }

    static unsigned MachineProcessors();

private:
    bool AwaitWork();
    void Serve();
    template <typename Ready>
    static bool SpinUntil(Ready ready);
    template <typename Ready>
    void Await(Ready ready, bool& spins, std::atomic<bool>& asleep);

    std::function<int(const char*, std::size_t)> write_;
    std::thread thread_;
    const char* data_ = nullptr;
    std::size_t size_ = 0;
    int error_ = 0;
    // Handed over and not yet written; set by the caller, cleared by the
    // thread. Each side looks for a short while before it sleeps, since the
    // other is usually about to come: a wake-up costs more than the wait.
    //
    // No wake-up is lost because every access to busy_ and the two asleep
    // flags is sequentially consistent (the default of std::atomic; do not
    // weaken it). A side about to sleep stores its asleep flag, then reads
    // busy_ under the mutex; the other side stores busy_, then reads that
    // asleep flag and, if set, notifies under the mutex. In the one total
    // order of those four accesses, at least one side sees the other's
    // store: either the sleeper finds busy_ already changed and does not
    // sleep, or the other finds it asleep and wakes it, the mutex making
    // sure the notification cannot fall between its check and its wait.
    // With acquire and release alone both loads could miss both stores, and
    // each side would wait for the other.
    std::atomic<bool> busy_{false};
    std::atomic<bool> stopping_{false};
    std::atomic<bool> threadAsleep_{false};
    std::atomic<bool> callerAsleep_{false};
    // Each side's own: whether it looks before it sleeps.
    bool threadSpins_ = true;
    bool callerSpins_ = true;
    const bool oneProcessor_;
    std::mutex mutex_;
    std::condition_variable wake_;
};

} // namespace morvane
