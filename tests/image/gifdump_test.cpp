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

TEST(Gifdump, MissingFileOrFrameIsAFailure)
{
    EXPECT_EQ(Gifdump({Data("no-such-file.gif")}).status, 1);
    const auto out = TempPath("none");
    EXPECT_EQ(Gifdump({Data("bits2_17x9.gif"), "--frame", "1", "--indices", out.string()}).status, 1);
    std::filesystem::remove(out);
    EXPECT_EQ(Gifdump({}).status, 2);
}

} // namespace
