// The writer thread's hand-over: every buffer written once, in order, its
// failure reported by the next wait, and neither side lost asleep whether
// the other comes at once or only after it has given up looking.

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <thread>

#include "TWriteBehind.h"

namespace morvane {
namespace {

TEST(WriteBehind, WritesEveryBufferInOrderAndReportsEachFailureOnce)
{
    using std::chrono::milliseconds;
    const struct {
        const char* name;
        milliseconds betweenStarts; // the caller filling its next buffer
        milliseconds perWrite;      // the system taking its time
    } cases[] = {
        {"BothQuick", milliseconds(0), milliseconds(0)},
        {"SlowCaller", milliseconds(3), milliseconds(0)},
        {"SlowWrites", milliseconds(0), milliseconds(3)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string file;
        int calls = 0;
        std::string errors;
        {
            TWriteBehind behind([&](const char* data, std::size_t n) {
                std::this_thread::sleep_for(c.perWrite);
                file.append(data, n);
                return ++calls % 4 == 0 ? ENOSPC : 0;
            });
            std::string buffers[2];
            for (int i = 0; i < 10; ++i) {
                errors += behind.Wait() == 0 ? '.' : 'E';
                std::string& buffer = buffers[i % 2];
                buffer = std::to_string(i) + ";";
                behind.Start(buffer.data(), buffer.size());
                std::this_thread::sleep_for(c.betweenStarts);
            }
            errors += behind.Wait() == 0 ? '.' : 'E';
            errors += behind.Wait() == 0 ? '.' : 'E';
        }
        EXPECT_EQ(file, "0;1;2;3;4;5;6;7;8;9;");
        EXPECT_EQ(errors, "....E...E...");
    }
}

TEST(WriteBehind, EndingWithAWriteInFlightFinishesIt)
{
    std::string file;
    {
        TWriteBehind behind([&](const char* data, std::size_t n) {
            std::this_thread::sleep_for(std::chrono::milliseconds(3));
            file.append(data, n);
            return 0;
        });
        behind.Start("last", 4);
    }
    EXPECT_EQ(file, "last");
}

} // namespace
} // namespace morvane
