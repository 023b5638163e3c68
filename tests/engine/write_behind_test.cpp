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

TEST(WriteBehind, WithOneProcessorTheCallerWritesAndStillReportsOnTheNextWait)
{
    const struct {
        const char* name;
        unsigned processors;
        bool inCaller;
    } cases[] = {{"OneProcessor", 1, true}, {"Two", 2, false}, {"Unknown", 0, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string file;
        int inCaller = 0;
        std::string errors;
        const std::thread::id caller = std::this_thread::get_id();
        {
            TWriteBehind behind(
                [&](const char* data, std::size_t n) {
                    inCaller += std::this_thread::get_id() == caller;
                    file.append(data, n);
                    return n == 2 ? ENOSPC : 0;
                },
                c.processors);
            for (const char* buffer : {"a", "bb", "c"}) {
                behind.Start(buffer, std::string(buffer).size());
                errors += behind.Wait() == 0 ? '.' : 'E';
            }
        }
        EXPECT_EQ(file, "abbc");
        EXPECT_EQ(errors, ".E.");
        EXPECT_EQ(inCaller, c.inCaller ? 3 : 0);
    }
}

// A side kept waiting far longer than it looks stops looking before it
// sleeps (whether the quick side keeps looking depends on the machine's
// load, so only the slow side is told of); the writes are the same either way.
TEST(WriteBehind, ASideKeptWaitingLongStopsLookingBeforeItSleeps)
{
    using std::chrono::milliseconds;
    const struct {
        const char* name;
        milliseconds perWrite;      // keeps the caller waiting
        milliseconds betweenStarts; // keeps the writer waiting
    } cases[] = {
        {"SlowWrites", milliseconds(5), milliseconds(0)},
        {"SlowCaller", milliseconds(0), milliseconds(5)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string file;
        TWriteBehind behind(
            [&](const char* data, std::size_t n) {
                std::this_thread::sleep_for(c.perWrite);
                file.append(data, n);
                return 0;
            },
            2);
        EXPECT_EQ(behind.CallerPolls(), true);
        EXPECT_EQ(behind.WriterPolls(), true);
        for (const char* buffer : {"a", "b", "c", "d"}) {
            std::this_thread::sleep_for(c.betweenStarts);
            behind.Start(buffer, 1);
            EXPECT_EQ(behind.Wait(), 0);
        }
        EXPECT_EQ(file, "abcd");
        if (c.perWrite.count() > 0)
            EXPECT_EQ(behind.CallerPolls(), false);
        else
            EXPECT_EQ(behind.WriterPolls(), false);
    }
}

} // namespace
} // namespace morvane
