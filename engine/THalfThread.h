#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>

#include "TLineReader.h"

namespace morvane {

// What reads the second half of a large input while the caller reads the
// first: the half's reader opened at the first line behind the middle, and
// the reading on a thread of its own, which the caller waits for. A class
// that holds one declares it last, so that the thread is stopped and joined
// before anything it reads goes.
class THalfThread {
public:
    THalfThread() = default;
    THalfThread(const THalfThread&) = delete;
    THalfThread& operator=(const THalfThread&) = delete;

    // Opens `reader` on the file `first` reads, at the first line that
    // starts in its second half, or from `middle` where one is given. False
    // when there is none, or the path no longer leads to that file.
    static bool OpenSecondHalf(TLineReader& reader, const std::string& path, const TLineReader& first,
                               std::int64_t middle = -1);

    // Runs `read` on a thread of its own; false, with nothing run, when no
    // thread can be started.
    bool Start(std::function<void(const std::stop_token&)> read);
    // Whether the reading is done, waiting for it at most `time`.
    bool WaitFor(std::chrono::milliseconds time);
    void Join();

private:
    std::mutex lock_;
    std::condition_variable changed_;
    bool done_ = false;
    std::jthread thread_; // last: stopped and joined before the rest goes
};

} // namespace morvane
