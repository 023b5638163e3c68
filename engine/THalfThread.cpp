#include "THalfThread.h"

#include <system_error>
#include <utility>

namespace morvane {

bool THalfThread::OpenSecondHalf(TLineReader& reader, const std::string& path, const TLineReader& first,
                                 std::int64_t middle)
{
    return reader.Open(path, {.From = middle >= 0 ? middle : first.Size() / 2, .AtNextLine = true}) &&
           reader.Identity().SameFileAs(first.Identity()) && !reader.AtEnd();
}

bool THalfThread::Start(std::function<void(const std::stop_token&)> read)
{
    try {
        thread_ = std::jthread([this, read = std::move(read)](const std::stop_token& stop) {
            read(stop);
            const std::lock_guard lock(lock_);
            done_ = true;
            changed_.notify_all();
        });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

bool THalfThread::WaitFor(std::chrono::milliseconds time)
{
    std::unique_lock lock(lock_);
    return changed_.wait_for(lock, time, [this] { return done_; });
}

void THalfThread::Join()
{
    if (thread_.joinable())
        thread_.join();
}

} // namespace morvane
