// The developer tool end to end: its report lines, index dumps and exit codes.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "ProgramRun.h"
#include "TempFiles.h"

namespace {

struct ToolRun {
    int status;
    std::string out;
};

ToolRun Gifdump(const std::vector<std::string>& args)
{
    const morvane::test::TempFolder folder;
    ToolRun r;
    r.status = morvane::test::RunProgram(MORVANE_GIFDUMP, args, "", folder / "out.txt", folder / "err.txt");
    r.out = morvane::test::ReadBytes(folder / "out.txt");
#ifdef _WIN32
    // The report is text, which the C runtime ends with CR LF there.
    for (std::size_t at = r.out.find("\r\n"); at != std::string::npos; at = r.out.find("\r\n", at))
        r.out.erase(at, 1);
#endif
    return r;
}

std::string Data(const std::string& name)
{
    return std::string(MORVANE_TEST_DATA) + "/gif/" + name;
}

std::vector<char> ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::filesystem::path TempPath(const std::string& name)
{
    static const std::string run = std::to_string(std::random_device{}());
    return std::filesystem::temp_directory_path() / ("gifdump_test_" + run + "_" + name);
}

TEST(Gifdump, ReportsOneKeyValueLinePerFact)
{
    const ToolRun r = Gifdump({Data("frames3_local_29x17.gif")});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              "version: 89a\n"
              "screen: 29x17\n"
              "global colours: 4\n"
              "background: 0\n"
              "loop: yes\n"
              "repeat: 7\n"
              "frames: 3\n"
              "frame 0: position 0,0; size 29x17; bits per pixel 2; interlaced no; local table no; transparent none; "
              "interval 70; disposal 1; corrupted no\n"
              "frame 1: position 0,0; size 29x17; bits per pixel 4; interlaced no; local table yes; transparent none; "
              "interval 120; disposal 1; corrupted no\n"
              "frame 2: position 0,0; size 29x17; bits per pixel 6; interlaced no; local table yes; transparent none; "
              "interval 250; disposal 1; corrupted no\n");
}

TEST(Gifdump, TransparentColourShowsWithItsIndex)
{
    const ToolRun r = Gifdump({Data("bits5_transparent_19x7.gif")});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("transparent #"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("(index 5)"), std::string::npos) << r.out;
}

TEST(Gifdump, IndicesOfTheChosenFrameMatchTheGoldenBytes)
{
    struct Case {
        const char* file;
        int frame;
        const char* golden;
    };
    for (const Case c : {Case{"frames3_local_29x17.gif", 2, "frames3_local_29x17.f2.idx"},
                         Case{"magick_bits1_21x11.gif", 0, "magick_bits1_21x11.f0.idx"},
                         Case{"bits4_31x21_interlaced.gif", 0, "bits4_31x21_interlaced.f0.idx"}}) {
        const auto out = TempPath("indices");
        const ToolRun r = Gifdump({Data(c.file), "--frame", std::to_string(c.frame), "--indices", out.string()});
        EXPECT_EQ(r.status, 0) << c.file;
        EXPECT_EQ(ReadAll(out.string()), ReadAll(Data(c.golden))) << c.file;
        std::filesystem::remove(out);
    }
}

TEST(Gifdump, LoadErrorExitsWithOneAndTheMessage)
{
    const auto bad = TempPath("bad.gif");
    {
        std::ofstream f(bad, std::ios::binary);
        f << "GIF90a" << std::string(7, '\0');
    }
    const ToolRun r = Gifdump({bad.string()});
    std::filesystem::remove(bad);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Unknown GIF version"), std::string::npos) << r.out;
}

TEST(Gifdump, CorruptedFrameNamesHowItsDecodingEnded)
{
    struct Case {
        const char* name;
        std::string codes; // the frame's data after its descriptor
        const char* line;  // how the frame line ends
    };
    // A 2 x 1 frame with code size 2: a clear and pixel 1, then nothing; a
    // table code before any other; a clear, pixels 1 and 2 and the end code
    // in a sub-block that claims 9 bytes.
    for (const Case& c : {Case{"ShortData", std::string("\x02\x01\x0c\x00", 4), "corrupted yes (ShortData)\n"},
                         Case{"BadCode", std::string("\x02\x01\x07\x00", 4), "corrupted yes (BadCode)\n"},
                         Case{"CutShort", std::string("\x02\x09\x8c\x0a", 4), "corrupted yes (cut short)\n"}}) {
        const auto path = TempPath(std::string(c.name) + ".gif");
        {
            std::ofstream f(path, std::ios::binary);
            f << std::string("GIF89a\x02\x00\x01\x00\x80\x00\x00" "\x00\x00\x00\xff\xff\xff", 19)
              << std::string("\x2c\x00\x00\x00\x00\x02\x00\x01\x00\x00", 10) << c.codes;
        }
        const ToolRun r = Gifdump({path.string()});
        std::filesystem::remove(path);
        EXPECT_EQ(r.status, 0) << c.name;
        const std::string end = c.line;
        ASSERT_GE(r.out.size(), end.size()) << c.name;
        EXPECT_EQ(r.out.substr(r.out.size() - end.size()), end) << c.name;
    }
}

TEST(Gifdump, MissingFileOrFrameIsAFailure)
{
    EXPECT_EQ(Gifdump({Data("no-such-file.gif")}).status, 1);
    const auto out = TempPath("none");
    EXPECT_EQ(Gifdump({Data("bits2_17x9.gif"), "--frame", "1", "--indices", out.string()}).status, 1);
    std::filesystem::remove(out);
    EXPECT_EQ(Gifdump({}).status, 2);
}

} // namespace
