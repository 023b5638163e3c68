#include "TTemplateExcerpt.h"

#include "TemplateLine.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
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

const std::size_t kChunkSizes[] = {1, 2, 3, 7, 128, 64 * 1024};

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

TEST_F(TemplateExcerptTest, ReadsBothLinesByTheReaderRulesForEveryChunkSize)
{
    for (const LineCase& c : LineCases()) {
        const std::string path = Write(c.file);
        for (std::size_t chunk : kChunkSizes) {
            SCOPED_TRACE(std::string(c.name) + " chunk " + std::to_string(chunk));
            const TTemplateExcerpt first = TTemplateExcerpt::Read(path, true, ",", chunk);
            const TTemplateExcerpt second = TTemplateExcerpt::Read(path, false, ",", chunk);
            EXPECT_EQ(first.Text, c.line1);
            EXPECT_EQ(second.Text, c.line2);
            EXPECT_FALSE(first.Cut);
            EXPECT_FALSE(second.Cut);
        }
    }
}

// The engine's own template reader is the reference: on files of random
// breaks, CRs and Ctrl-Zs (some on 128-byte boundaries) both must agree.
TEST_F(TemplateExcerptTest, AgreesWithTheEngineReaderOnRandomFiles)
{
    std::mt19937 random(20261207);
    const char alphabet[] = {'a', ',', '\r', '\n', '\x1a', ';', 'b'};
    for (int round = 0; round < 300; ++round) {
        std::uniform_int_distribution<int> length(0, 400);
        std::uniform_int_distribution<int> pick(0, 20);
        std::string bytes(static_cast<std::size_t>(length(random)), 'x');
        for (char& b : bytes) {
            const int p = pick(random);
            b = p < 7 ? alphabet[p] : static_cast<char>('a' + p);
        }
        // Rare Ctrl-Zs and breaks elsewhere, but often right on a block start.
        if (bytes.size() > 128 && round % 3 == 0)
            bytes[128] = '\x1a';
        const std::string path = Write(bytes);
        for (bool first : {true, false}) {
            const std::string expected = morvane::ReadTemplateLine(path, first);
            for (std::size_t chunk : {std::size_t{1}, std::size_t{5}, std::size_t{64 * 1024}}) {
                SCOPED_TRACE("round " + std::to_string(round) + (first ? " line 1" : " line 2")
                             + " chunk " + std::to_string(chunk));
                EXPECT_EQ(TTemplateExcerpt::Read(path, first, ",", chunk).Text, expected);
            }
        }
    }
}

TEST_F(TemplateExcerptTest, MissingFileAndDirectoryGiveNothing)
{
    const std::string missing = (dir_ / "nope.pe").string();
    fs::create_directories(dir_ / "folder.pe");
    for (const std::string& path : {missing, (dir_ / "folder.pe").string()}) {
        for (bool first : {true, false}) {
            const TTemplateExcerpt excerpt = TTemplateExcerpt::Read(path, first, ",");
            EXPECT_EQ(excerpt.Text, "");
            EXPECT_FALSE(excerpt.Cut);
        }
    }
}

struct CapCase {
    const char* name;
    std::string line;          // one line, no break
    std::string separators;
    std::size_t expectedKept;  // bytes kept
};

TEST_F(TemplateExcerptTest, KeepsOnlyWhatPreviewAndRowNeed)
{
    constexpr std::size_t kMax = TTemplateExcerpt::kMaxBytes;
    std::string sparse;
    for (int i = 0; i < 3000; ++i)
        sparse += std::string(99, 'v') + ",";
    const std::vector<CapCase> cases = {
        // Every byte a separator: the preview's 10 000 already hold 1 000 boxes.
        {"DenseSeparators", std::string(50000, ','), ",", TTemplateExcerpt::kPreviewChars},
        // One separator in 100 bytes: the 1 000th ends at byte 100 000.
        {"SparseSeparators", sparse, ",", 100000},
        // No separator at all: the hard limit.
        {"NoSeparators", std::string(kMax + 5000, 'q'), ",", kMax},
        // An empty separator set never reaches the box limit either.
        {"EmptySeparatorSet", std::string(kMax + 1, ','), "", kMax},
    };
    for (const CapCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = Write("head\r\n" + c.line + "\r\nthird\r\n");
        const TTemplateExcerpt excerpt = TTemplateExcerpt::Read(path, false, c.separators, 4096);
        EXPECT_EQ(excerpt.Text.size(), c.expectedKept);
        EXPECT_EQ(excerpt.Text, c.line.substr(0, c.expectedKept));
        EXPECT_TRUE(excerpt.Cut);
    }
}

TEST_F(TemplateExcerptTest, LineEndingExactlyAtTheLimitIsNotCut)
{
    const std::string line(TTemplateExcerpt::kPreviewChars, ',');
    for (const std::string& end : {std::string("\r\n"), std::string("\n"), std::string(""),
                                   std::string("\r")}) {
        const std::string path = Write(line + end);
        const TTemplateExcerpt excerpt = TTemplateExcerpt::Read(path, true, ",", 333);
        EXPECT_EQ(excerpt.Text, line);
        EXPECT_FALSE(excerpt.Cut) << "line end " << end.size() << " bytes";
    }
    const std::string path = Write(line + "\rX");
    EXPECT_TRUE(TTemplateExcerpt::Read(path, true, ",", 333).Cut);
}

TEST_F(TemplateExcerptTest, SecondLineIsFoundBehindAHugeFirstLine)
{
    std::string file(3 * TTemplateExcerpt::kMaxBytes, 'h');
    file[12345] = '\r'; // a lone CR inside the run-over line changes nothing
    file += "\r\n12:00:00,1\r\n";
    const std::string path = Write(file);
    for (std::size_t chunk : {std::size_t{1000}, std::size_t{64 * 1024}}) {
        const TTemplateExcerpt second = TTemplateExcerpt::Read(path, false, ",", chunk);
        EXPECT_EQ(second.Text, "12:00:00,1");
        EXPECT_FALSE(second.Cut);
        const TTemplateExcerpt first = TTemplateExcerpt::Read(path, true, ",", chunk);
        EXPECT_EQ(first.Text.size(), TTemplateExcerpt::kMaxBytes);
        EXPECT_TRUE(first.Cut);
    }
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
