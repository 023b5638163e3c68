// The writer sets disk space aside ahead of its writes; none of it may be
// left behind the end of the finished file, and the file's size and bytes
// must be exactly what was written.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "TLineWriter.h"
#include "TempFiles.h"

namespace morvane {
namespace {

using test::ReadBytes;
using test::TempFolder;

TEST(LineWriterSpace, NothingSetAsideOutlivesClose)
{
    TempFolder folder;
    const struct {
        const char* name;
        std::size_t lines;
        std::size_t lineLength;
    } cases[] = {
        {"Empty", 0, 0},
        {"OneShortLine", 1, 10},
        {"JustPastTheFirstReserve", 1, (1 << 20) + 5},
        {"SeveralReserves", 3000, 2500},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = folder / (std::string(c.name) + ".csv");
        std::string expected;
        {
            TLineWriter writer;
            writer.Open(path);
            for (std::size_t i = 0; i < c.lines; ++i) {
                const std::string line(c.lineLength, static_cast<char>('a' + i % 26));
                writer.WriteLine(line);
                expected += line + "\r\n";
            }
            writer.Close();
        }
        EXPECT_EQ(std::filesystem::file_size(test::PathOf(path)), expected.size());
        // Whole blocks of the file system, and no more.
        const std::int64_t allocated = test::AllocatedBytes(path);
        ASSERT_GE(allocated, 0);
        EXPECT_LE(static_cast<std::size_t>(allocated), expected.size() + 64 * 1024) << "allocated " << allocated;
        EXPECT_EQ(ReadBytes(path), expected);
    }
}

TEST(LineWriterSpace, WriterDestroyedWithoutCloseAlsoGivesTheSpaceBack)
{
    TempFolder folder;
    const std::string path = folder / "out.csv";
    {
        TLineWriter writer(4096);
        writer.Open(path);
        writer.WriteLine(std::string(3 << 20, 'x'));
    }
    EXPECT_EQ(std::filesystem::file_size(test::PathOf(path)), (3u << 20) + 2);
    const std::int64_t allocated = test::AllocatedBytes(path);
    ASSERT_GE(allocated, 0);
    EXPECT_LE(static_cast<std::size_t>(allocated), (3u << 20) + 64 * 1024);
}

} // namespace
} // namespace morvane
