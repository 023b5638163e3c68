#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "ProgramRun.h"
#include "TOsFile.h"
#include "TempFiles.h"

namespace {

using morvane::test::ReadBytes;
using morvane::test::TempFolder;
using morvane::test::WriteBytes;

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs the converter with these arguments inside `folder`, stdin closed.
Result Convert(const TempFolder& folder, const std::vector<std::string>& args)
{
    Result r;
    r.status = morvane::test::RunProgram(MORVANE_CONVERT, args, folder / "", folder / "stdout.txt",
                                         folder / "stderr.txt");
    r.out = ReadBytes(folder / "stdout.txt");
    r.err = ReadBytes(folder / "stderr.txt");
    return r;
}

const std::string kInput = "Time,A,B\r\n12:00:00,1,2\r\n12:00:05,3,4,5\r\n";

TEST(MorvaneConvert, VersionAndHelpSucceed)
{
    TempFolder folder;
    const Result version = Convert(folder, {"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "morvane-convert 1.01\n");
    const Result help = Convert(folder, {"-h"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("Usage: morvane-convert [options] INPUT...\n", 0), 0u);
    EXPECT_EQ(help.err, "");
}

TEST(MorvaneConvert, BadUsageExitsTwoWithAHint)
{
    TempFolder folder;
    WriteBytes(folder / "a.pe", kInput);
    struct Case {
        std::vector<std::string> args;
        std::string problem;
    };
    const std::vector<Case> cases = {
        {{}, "no INPUT file named"},
        {{"-q"}, "no INPUT file named"},
        {{"-o", "x.csv", "a.pe", "a.pe"}, "--output names one file, but 2 inputs were given"},
        {{"--to", ";;", "a.pe"}, "--to takes exactly one character, not \";;\""},
        {{"--to=", "a.pe"}, "--to takes exactly one character, not \"\""},
        {{"--bogus", "a.pe"}, "unknown option \"--bogus\""},
        {{"-x", "a.pe"}, "unknown option \"-x\""},
        {{"a.pe", "-s"}, "option \"-s\" needs a value"},
    };
    for (const Case& c : cases) {
        const Result r = Convert(folder, c.args);
        EXPECT_EQ(r.status, 2) << c.problem;
        EXPECT_EQ(r.err, "morvane-convert: " + c.problem +
                             "\nTry 'morvane-convert --help' for more information.\n");
        EXPECT_EQ(r.out, "");
    }
    EXPECT_FALSE(std::filesystem::exists(folder / "x.csv"));
    EXPECT_FALSE(std::filesystem::exists(folder / "a (XLS).csv"));
}

TEST(MorvaneConvert, ConvertsByTheOptions)
{
    struct Case {
        std::vector<std::string> options;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {{}, "Time,A,B\r\n12:00:00,1,2\r\n12:00:05,3,4,5\r\n"},
        {{"--to", ";"}, "Time;A;B\r\n12:00:00;1;2\r\n12:00:05;3;4;5\r\n"},
        {{"-t;", "-r"}, "relTime; Time;A;B\r\n0;12:00:00;1;2\r\n5;12:00:05;3;4;5\r\n"},
        {{"-r", "--relative-time-separator", "\t", "-q"},
         "relTime\t Time,A,B\r\n0\t12:00:00,1,2\r\n5\t12:00:05,3,4,5\r\n"},
        // Map entries win where they reach; --to covers what lies beyond.
        {{"--header-map", "|", "--data-map", "/.", "--to", ";"},
         "Time|A;B\r\n12:00:00/1.2\r\n12:00:05/3.4;5\r\n"},
        {{"--data-map", "/"}, "Time,A,B\r\n12:00:00/1,2\r\n12:00:05/3,4,5\r\n"},
        {{"-s", ",:", "--to=_"}, "Time_A_B\r\n12_00_00_1_2\r\n12_00_05_3_4_5\r\n"},
        {{"-s", "", "-t", ";"}, "Time,A,B\r\n12:00:00,1,2\r\n12:00:05,3,4,5\r\n"},
    };
    for (const Case& c : cases) {
        TempFolder folder;
        WriteBytes(folder / "run1.pe", kInput);
        std::vector<std::string> args = c.options;
        args.push_back("run1.pe");
        const Result r = Convert(folder, args);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(ReadBytes(folder / "run1 (XLS).csv"), c.expected);
    }
}

TEST(MorvaneConvert, ProposedNameLandsBesideTheInputAndOutputOptionWins)
{
    TempFolder folder;
    std::filesystem::create_directory(folder / "data.old");
    WriteBytes(folder / "data.old/run.1.pe", kInput);
    EXPECT_EQ(Convert(folder, {"data.old/run.1.pe"}).status, 0);
    EXPECT_EQ(ReadBytes(folder / "data.old/run.1 (XLS).csv"), kInput);

    EXPECT_EQ(Convert(folder, {"-o", "chosen.csv", "--to", ";", folder / "data.old/run.1.pe"}).status, 0);
    EXPECT_EQ(ReadBytes(folder / "chosen.csv"), "Time;A;B\r\n12:00:00;1;2\r\n12:00:05;3;4;5\r\n");

    // A name outside any single code page reaches the file and the proposal
    // unchanged.
    const std::string name = "p\xC3\xA4iv\xC3\xA4 \xE2\x82\xAC \xCE\xB1";
    WriteBytes(folder / (name + ".pe"), kInput);
    EXPECT_EQ(Convert(folder, {name + ".pe"}).status, 0);
    EXPECT_EQ(ReadBytes(folder / (name + " (XLS).csv")), kInput);
#ifdef _WIN32
    // Windows names folders with a backslash as well.
    EXPECT_EQ(Convert(folder, {"-t", ";", "data.old\\run.1.pe"}).status, 0);
    EXPECT_EQ(ReadBytes(folder / "data.old/run.1 (XLS).csv"), "Time;A;B\r\n12:00:00;1;2\r\n12:00:05;3;4;5\r\n");
#endif
}

TEST(MorvaneConvert, PreviewPrintsHeaderAndFirstDataLineOnly)
{
    TempFolder folder;
    WriteBytes(folder / "a.pe", kInput);
    struct Case {
        std::vector<std::string> args;
        std::string out;
    };
    const std::vector<Case> cases = {
        {{"--preview", "a.pe"}, "Time,A,B\n12:00:00,1,2\n"},
        {{"--preview", "--to", ";", "-r", "a.pe"}, "relTime; Time;A;B\n0;12:00:00;1;2\n"},
        {{"--preview", "--data-map", "/", "a.pe", "a.pe"},
         "a.pe:\nTime,A,B\n12:00:00/1,2\na.pe:\nTime,A,B\n12:00:00/1,2\n"},
    };
    for (const Case& c : cases) {
        const Result r = Convert(folder, c.args);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, c.out);
    }
    EXPECT_FALSE(std::filesystem::exists(folder / "a (XLS).csv"));

    const Result missing = Convert(folder, {"--preview", "none.pe"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err.rfind("morvane-convert: none.pe: Cannot open the PE file \"none.pe\": ", 0), 0u);
}

TEST(MorvaneConvert, FailingInputIsReportedAndTheRestStillRun)
{
    TempFolder folder;
    WriteBytes(folder / "a.pe", kInput);
    WriteBytes(folder / "c.pe", "H,I\r\n12:00:00,1\r\n");
    const Result r = Convert(folder, {"--to", ";", "a.pe", "missing.pe", "c.pe"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "morvane-convert: missing.pe: Cannot open the PE file \"missing.pe\": " +
                         morvane::TOsFile::ErrorText(morvane::test::kNoSuchFile) + "\n");
    EXPECT_EQ(ReadBytes(folder / "a (XLS).csv"), "Time;A;B\r\n12:00:00;1;2\r\n12:00:05;3;4;5\r\n");
    EXPECT_EQ(ReadBytes(folder / "c (XLS).csv"), "H;I\r\n12:00:00;1\r\n");
}

TEST(MorvaneConvert, LineThatCausedTheFailureIsNamed)
{
    TempFolder folder;
    std::filesystem::copy_file(std::string(MORVANE_TEST_DATA) + "/bad-clock.pe", folder / "bad.pe");
    const Result r = Convert(folder, {"-r", "-o", "out.csv", "bad.pe"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "morvane-convert: bad.pe: line 4: '9:05:03;' is not a valid time\n");
    EXPECT_EQ(ReadBytes(folder / "out.csv"), "relTime; Time,Value\r\n0;12:00:00,1.5\r\n2;12:00:02,2.5\r\n");

    // Without the column the same file converts.
    EXPECT_EQ(Convert(folder, {"-o", "out.csv", "bad.pe"}).status, 0);
}

TEST(MorvaneConvert, FileErrorsCarryNoLineNumber)
{
    TempFolder folder;
    WriteBytes(folder / "a.pe", kInput);
    const Result self = Convert(folder, {"-o", "a.pe", "a.pe"});
    EXPECT_EQ(self.status, 1);
    EXPECT_EQ(self.err, "morvane-convert: a.pe: The output file \"a.pe\" is the PE file itself\n");
    EXPECT_EQ(ReadBytes(folder / "a.pe"), kInput);

    if (std::filesystem::exists("/dev/full")) {
        const Result full = Convert(folder, {"-o", "/dev/full", "a.pe"});
        EXPECT_EQ(full.status, 1);
        EXPECT_EQ(full.err, "morvane-convert: a.pe: Cannot write the output file \"/dev/full\": "
                            "No space left on device\n");
    }
}

TEST(MorvaneConvert, BundledSampleConvertsWithRelativeTime)
{
    TempFolder folder;
    const Result r = Convert(folder, {"-q", "-r", "--to", ";", "-o", "s.csv", std::string(MORVANE_TEST_DATA) + "/sample.pe"});
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string out = ReadBytes(folder / "s.csv");
    EXPECT_EQ(out.rfind("relTime; Time;", 0), 0u);
    // One output line per input line, and the last one 19 seconds in.
    std::size_t lines = 0;
    for (std::size_t at = out.find("\r\n"); at != std::string::npos; at = out.find("\r\n", at + 2))
        ++lines;
    EXPECT_EQ(lines, 21u);
    EXPECT_NE(out.find("\r\n19;09:15:11;"), std::string::npos);
}

} // namespace
