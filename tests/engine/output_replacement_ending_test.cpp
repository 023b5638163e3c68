// A program of its own: once the handler has run, the process is taken
// for one that is ending, and no other test could run after it.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#endif

#include "EInOutError.h"
#include "TLineWriter.h"
#include "TOsFile.h"
#include "TOutputReplacement.h"
#include "TempFiles.h"

namespace morvane {
namespace {

using test::Leftovers;
using test::ReadBytes;
using test::TempFolder;
using test::WriteBytes;

std::string Raised(const std::function<void()>& action)
{
    try {
        action();
    } catch (const EInOutError& e) {
        return e.Message();
    }
    return "";
}

// The handler of Ctrl+C, or of a signal that ends the program, runs on a
// thread of its own while the run goes on: the run's new file goes however
// the run or others hold it, nothing makes it again, and the earlier output
// stays.
TEST(OutputReplacementEnding, HandlerOnAnotherThreadTakesTheNewFileAwayForGood)
{
    TempFolder folder;
    const std::string output = folder / "out.csv";
    WriteBytes(output, "earlier\r\n");
    TOutputReplacement replacement(output);
    const std::string newFile = replacement.WritePath();
    TLineWriter writer(64);
    writer.Open(newFile, {}, output, replacement.WritesNewFile());
    writer.WriteLine(std::string(1000, 'a'));
#ifdef _WIN32
    // A virus scanner looking at the new file for a moment, without letting
    // it be deleted meanwhile.
    const HANDLE scanner = CreateFileW(test::PathOf(newFile).wstring().c_str(), GENERIC_READ,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(scanner, INVALID_HANDLE_VALUE);
    std::thread scanned([scanner] {
        Sleep(200);
        CloseHandle(scanner);
    });
#endif
    std::thread handler([] { TOutputReplacement::RemoveTemporaries(); });
    handler.join();
#ifdef _WIN32
    scanned.join();
#endif
    // The run's thread goes on writing for a moment.
    writer.WriteLine(std::string(1000, 'b'));
    EXPECT_EQ(Raised([&] { writer.Close(); }), "");
    EXPECT_EQ(Leftovers(folder / ""), "");

    TLineWriter again;
    EXPECT_EQ(Raised([&] { again.Open(newFile, {}, output, replacement.WritesNewFile()); }),
              "Cannot create the output file \"" + output + "\": " + TOsFile::ErrorText(test::kNoSuchFile));
    EXPECT_EQ(Raised([&] { replacement.Commit(writer.BytesWritten()); }),
              "The output file \"" + output + "\" was left as it was: the program is being ended");
    const std::string other = folder / "other.csv";
    EXPECT_EQ(Raised([&] { TOutputReplacement later(other); }),
              "The output file \"" + other + "\" was left as it was: the program is being ended");

    EXPECT_EQ(Leftovers(folder / ""), "");
    EXPECT_EQ(ReadBytes(output), "earlier\r\n");
    EXPECT_EQ(std::filesystem::exists(test::PathOf(other)), false);
}

} // namespace
} // namespace morvane
