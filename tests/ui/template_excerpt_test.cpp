#include "TTemplateExcerpt.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;

class TemplateExcerptTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = fs::temp_directory_path()
               / ("morvane_excerpt_" + std::to_string(::getpid()) + "_"
                  + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Write(const std::string& bytes, const std::string& name = "in.pe")
    {
        const fs::path path = dir_ / name;
        std::ofstream out(path, std::ios::binary);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return path.string();
    }

    fs::path dir_;
};

struct LineCase {
    const char* name;
    std::string file;
    std::string line1;
    std::string line2;
};

// The line rules of the reader, as the window must see them.
std::vector<LineCase> LineCases()
{
    const std::string z(1, '\x1a');
    std::string at128 = std::string(100, 'h') + "\r\n" + std::string(26, 'd'); // 128 bytes
    std::string at129 = std::string(100, 'h') + "\r\n" + std::string(27, 'd'); // 129 bytes
    return {
        {"CrLf", "A\r\nB\r\n", "A", "B"},
        {"LfWithoutFinalBreak", "A\nB", "A", "B"},
        {"LoneCrDropped", "A\rB\r\nC", "AB", "C"},
        {"EmptySecondLine", "A\r\n\r\n", "A", ""},
        {"CtrlZCutsLine", "AB" + z + "CD\r\nEF", "AB", "EF"},
        {"CtrlZAfterBreakEndsInput", "AB\r\n" + z + "CD", "AB", ""},
        {"CtrlZAtStart", z + "AB\r\nCD", "", ""},
        {"EmptyFile", "", "", ""},
        {"HeaderOnly", "Time,Value\r\n", "Time,Value", ""},
        {"CtrlZAtOffset128EndsInput", at128 + z + "xx\r\nnext\r\n", std::string(100, 'h'),
         std::string(26, 'd')},
        {"CtrlZAtOffset129CutsOnlyItsLine", at129 + z + "xx\r\nnext\r\n", std::string(100, 'h'),
         std::string(27, 'd')},
        {"SkipStopsAtSecondCtrlZ", "A" + z + "b" + z + "c\r\nD\r\n", "A", ""},
        {"NulBytesKept", std::string("a\0b\r\nc\0d", 8), std::string("a\0b", 3), std::string("c\0d", 3)},
        {"CrAtEndOfFile", "A\r", "A", ""},
        {"LongLineWhole", std::string(1000, 'x') + "\r\ny", std::string(1000, 'x'), "y"},
    };
}

TEST_F(TemplateExcerptTest, ReadsBothLinesByTheReaderRules)
{
    for (const LineCase& c : LineCases()) {
        SCOPED_TRACE(c.name);
        const std::string path = Write(c.file);
        const TTemplateExcerpt first = TTemplateExcerpt::Read(path, true);
        const TTemplateExcerpt second = TTemplateExcerpt::Read(path, false);
        EXPECT_EQ(first.Text, c.line1);
        EXPECT_EQ(second.Text, c.line2);
        EXPECT_FALSE(first.Cut);
        EXPECT_FALSE(second.Cut);
    }
}

TEST_F(TemplateExcerptTest, MissingFileAndDirectoryGiveNothing)
{
    const std::string missing = (dir_ / "nope.pe").string();
    fs::create_directories(dir_ / "folder.pe");
    for (const std::string& path : {missing, (dir_ / "folder.pe").string()}) {
        for (bool first : {true, false}) {
            const TTemplateExcerpt excerpt = TTemplateExcerpt::Read(path, first);
            EXPECT_EQ(excerpt.Text, "");
            EXPECT_FALSE(excerpt.Cut);
        }
    }
}

TEST_F(TemplateExcerptTest, KeepsAtMostTheLimitAndNotesTheRest)
{
    constexpr std::size_t kMax = TTemplateExcerpt::kMaxBytes;
    struct CapCase {
        const char* name;
        std::size_t length;
        bool cut;
    };
    const CapCase cases[] = {
        {"Short", 10, false},
        {"ExactlyTheLimit", kMax, false},
        {"OneOver", kMax + 1, true},
        {"FarOver", 3 * kMax, true},
    };
    for (const CapCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::string line(c.length, 'q');
        line[0] = 'S';
        const std::string path = Write("head\r\n" + line + "\r\nthird\r\n");
        const TTemplateExcerpt excerpt = TTemplateExcerpt::Read(path, false);
        EXPECT_EQ(excerpt.Cut, c.cut);
        EXPECT_EQ(excerpt.Text, line.substr(0, kMax));
    }
}

TEST_F(TemplateExcerptTest, SecondLineIsFoundBehindAHugeFirstLine)
{
    std::string file(3 * TTemplateExcerpt::kMaxBytes, 'h');
    file[12345] = '\r'; // a lone CR inside the run-over line changes nothing
    file += "\r\n12:00:00,1\r\n";
    const std::string path = Write(file);
    const TTemplateExcerpt second = TTemplateExcerpt::Read(path, false);
    EXPECT_EQ(second.Text, "12:00:00,1");
    EXPECT_FALSE(second.Cut);
    const TTemplateExcerpt first = TTemplateExcerpt::Read(path, true);
    EXPECT_EQ(first.Text.size(), TTemplateExcerpt::kMaxBytes);
    EXPECT_TRUE(first.Cut);
}

struct PreviewCase {
    const char* name;
    std::size_t length;
    bool cut;
    std::size_t expectedLength;
    bool ellipsis;
};

TEST(TemplateExcerptPreview, ShowsAtMostTheFirstTenThousandCharactersThenEllipsis)
{
    const std::size_t n = TTemplateExcerpt::kPreviewChars;
    const PreviewCase cases[] = {
        {"Short", 5, false, 5, false},
        {"ExactlyTheLimit", n, false, n, false},
        {"OneOver", n + 1, false, n + 1, true},
        {"CutAtTheLimit", n, true, n + 1, true},
        {"CutShortExcerpt", 7, true, 8, true},
    };
    for (const PreviewCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::string text(c.length, 'a');
        text[0] = 'S';
        const std::string preview = TTemplateExcerpt::PreviewOf(text, c.cut);
        EXPECT_EQ(preview.size(), c.expectedLength);
        EXPECT_EQ(preview.front(), 'S');
        EXPECT_EQ(preview.back() == '\x85', c.ellipsis);
    }
}

} // namespace
