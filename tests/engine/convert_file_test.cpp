#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <random>

#include "CheckFile.h"
#include "ConvertFile.h"
#include "ConversionModel.h"
#include "LineReaderModel.h"
#include "EConvertError.h"
#include "EInOutError.h"
#include "EOutOfMemory.h"
#include "RecordingSink.h"
#include "TFileIdentity.h"
#include "TempFiles.h"

namespace morvane {
namespace {

using test::ReadBytes;
using test::TempFolder;
using test::TRecordingSink;
using test::WriteBytes;

std::string Reason(int error)
{
    return TOsFile::ErrorText(error);
}

// Buffer sizes the output must not depend on: the defaults, then tiny ones.
struct Buffers {
    std::size_t read;
    std::size_t write;
};
const std::vector<Buffers> kBuffers = {{TLineReader::kDefaultReadSize, TLineWriter::kDefaultBufferSize},
                                       {1, 2}, {3, 5}, {129, 130}};

TConversionSettings SemicolonSettings(bool relativeTime)
{
    TConversionSettings s;
    s.HeaderReplacements = {";"};
    s.DataReplacements = {";"};
    s.RelativeTime = relativeTime;
    return s;
}

struct GoldenCase {
    const char* name;
    std::string input;
    TConversionSettings settings;
    std::string output;
};

class ConvertGolden : public ::testing::TestWithParam<GoldenCase> {};

TEST_P(ConvertGolden, WritesExactlyTheseBytesWhateverTheBufferSizes)
{
    const GoldenCase& c = GetParam();
    TempFolder folder;
    WriteBytes(folder / "in.pe", c.input);
    for (const Buffers& b : kBuffers) {
        SCOPED_TRACE("read " + std::to_string(b.read) + " write " + std::to_string(b.write));
        TRecordingSink sink;
        TConvertFileOptions options;
        options.ReadSize = b.read;
        options.WriteBufferSize = b.write;
        ConvertFile(folder / "in.pe", folder / "out.csv", c.settings, sink, options);
        EXPECT_EQ(ReadBytes(folder / "out.csv"), c.output);
        EXPECT_TRUE(sink.EndsFinished());
    }
}

TConversionSettings AcrossMidnight()
{
    TConversionSettings s = SemicolonSettings(true);
    s.AcrossMidnight = true;
    return s;
}

TConversionSettings Plain()
{
    return TConversionSettings{};
}

TConversionSettings WithBeyond(std::string beyond)
{
    TConversionSettings s;
    s.ReplacementBeyondList = std::move(beyond);
    return s;
}

TConversionSettings TwoSets()
{
    TConversionSettings s;
    s.SeparatorSet = ",:";
    s.HeaderReplacements = {"|"};
    s.DataReplacements = {"", "-", ";"};
    s.RelativeTime = true;
    s.RelativeTimeSeparator = "<>";
    return s;
}

std::string Repeat(const std::string& piece, int times)
{
    std::string out;
    for (int i = 0; i < times; ++i)
        out += piece;
    return out;
}

const std::string kThreeLines = "Time,Value\r\n12:00:00,1.5\r\n12:00:05,2.5\r\n";

INSTANTIATE_TEST_SUITE_P(
    Runs, ConvertGolden,
    ::testing::Values(
        GoldenCase{"ThreeLines", kThreeLines, SemicolonSettings(false),
                   "Time;Value\r\n12:00:00;1.5\r\n12:00:05;2.5\r\n"},
        GoldenCase{"ThreeLinesRelativeTime", kThreeLines, SemicolonSettings(true),
                   "relTime; Time;Value\r\n0;12:00:00;1.5\r\n5;12:00:05;2.5\r\n"},
        GoldenCase{"EmptyInput", "", Plain(), "\r\n"},
        GoldenCase{"EmptyInputRelativeTime", "", SemicolonSettings(true), "relTime; \r\n"},
        GoldenCase{"HeaderOnly", "Time,Value\r\n", SemicolonSettings(false), "Time;Value\r\n"},
        GoldenCase{"LfBecomesCrLf", "a,b\nc,d\ne", Plain(), "a,b\r\nc,d\r\ne\r\n"},
        GoldenCase{"TrailingEmptyLineKept", "h\r\nx\r\n\r\n", Plain(), "h\r\nx\r\n\r\n"},
        GoldenCase{"SeparatorsBeyondListStay", "h,i\r\n1,2,3,4\r\n", SemicolonSettings(false),
                   "h;i\r\n1;2,3,4\r\n"},
        GoldenCase{"BeyondListReplacementEverywhere", "h,i,j\r\n1,2,3\r\n", WithBeyond(";"),
                   "h;i;j\r\n1;2;3\r\n"},
        GoldenCase{"CtrlZEndsInputAtChunkStart", std::string(126, 'h') + "\r\n\x1a" "9,9\r\n",
                   SemicolonSettings(false), std::string(126, 'h') + "\r\n"},
        GoldenCase{"LinesLongerThanAnyBuffer", "h,i\r\n" + Repeat("a,", 150000) + "\r\nz,z",
                   WithBeyond(";"), "h;i\r\n" + Repeat("a;", 150000) + "\r\nz;z\r\n"},
        GoldenCase{"AcrossMidnightCountsOn", "T,V\r\n23:59:50,1\r\n00:00:10,2\r\n23:00:00,3\r\n",
                   AcrossMidnight(), "relTime; T;V\r\n0;23:59:50;1\r\n20;00:00:10;2\r\n82810;23:00:00;3\r\n"},
        GoldenCase{"MappedClockDoesNotDisturbCount", "T,V\r\n08:00:00,1\r\n08:00:11,2\r\n", TwoSets(),
                   "relTime<> T|V\r\n0<>08:00-00;1\r\n11<>08:00-11;2\r\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ConvertFile, ThreeHundredBytesGiveTheProgressSequence)
{
    TempFolder folder;
    const std::string line(98, 'x');
    WriteBytes(folder / "in.pe", line + "\r\n" + "12:00:00," + line.substr(9) + "\r\n" + "12:00:01," +
                                     line.substr(9) + "\r\n");
    for (const Buffers& b : kBuffers) {
        TRecordingSink sink;
        TConvertFileOptions options;
        options.ReadSize = b.read;
        options.WriteBufferSize = b.write;
        ConvertFile(folder / "in.pe", folder / "out.csv", TConversionSettings{}, sink, options);
        EXPECT_EQ(sink.calls, (std::vector<std::string>{"SetText()", "Show", "SetValue(0)", "SetMaximum(2)",
                                                         "SetValue(1)", "SetValue(2)", "SetValue(2)",
                                                         "SetText(finished)", "SetPercent(100)"}));
    }
}

TEST(ConvertFile, BadClockEndsRunAfterCleanUpLeavingTheEarlierOutput)
{
    TempFolder folder;
    struct Case {
        std::string input;
        std::int64_t failedLine;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"T,V\r\n12:00:00,1\r\n12:00:02,2\r\n9:05:03;1,5\r\n12:00:09,3\r\n", 4, "'9:05:03;' is not a valid time"},
        {"T,V\r\n12:00:00,1\r\n\r\n", 3, "'' is not a valid time"},
        {"T,V\r\nDate,1\r\n", 2, "'Date,1' is not a valid time"},
    };
    const std::string earlier(1 << 20, 'e');
    for (const Case& c : cases) {
        WriteBytes(folder / "in.pe", c.input);
        WriteBytes(folder / "out.csv", earlier);
        for (const Buffers& b : kBuffers) {
            TRecordingSink sink;
            std::int64_t failedLine = -1;
            TConvertFileOptions options;
            options.FailedLine = &failedLine;
            options.ReadSize = b.read;
            options.WriteBufferSize = b.write;
            try {
                ConvertFile(folder / "in.pe", folder / "out.csv", SemicolonSettings(true), sink, options);
                ADD_FAILURE() << "no error for " << c.input;
            } catch (const EConvertError& e) {
                EXPECT_EQ(e.Message(), c.message);
            }
            EXPECT_EQ(failedLine, c.failedLine);
            EXPECT_EQ(ReadBytes(folder / "out.csv"), earlier);
            EXPECT_EQ(test::Leftovers(folder / ""), "");
            EXPECT_TRUE(sink.EndsFinished());
        }
    }
}

#ifndef _WIN32
// The output is replaced by renaming a new file over it: what the user set
// up around the earlier output must survive that.
struct ReplacedOutputCase {
    const char* name;
    const char* input;
    std::string output; // what the run is given, relative to the folder
    std::string written; // the file that must then hold the result
    unsigned mode;       // that file's mode after the run
    std::string content;
};

class ReplacedOutput : public ::testing::TestWithParam<ReplacedOutputCase> {};

TEST_P(ReplacedOutput, KeepsModeAndLinksAndOnFailureEveryByte)
{
    const ReplacedOutputCase& c = GetParam();
    TempFolder folder;
    std::filesystem::create_directory(folder / "data");
    WriteBytes(folder / "in.pe", c.input);
    WriteBytes(folder / "data/old.csv", "earlier");
    ::chmod((folder / "data/old.csv").c_str(), 0640);
    std::filesystem::create_symlink("data/old.csv", test::PathOf(folder / "link.csv"));
    std::filesystem::create_symlink("data/new.csv", test::PathOf(folder / "dangling.csv"));
    const auto before = std::filesystem::symlink_status(test::PathOf(folder / c.output)).type();

    TRecordingSink sink;
    try {
        ConvertFile(folder / "in.pe", folder / c.output, SemicolonSettings(true), sink);
    } catch (const EConvertError&) {
    }
    EXPECT_EQ(ReadBytes(folder / c.written), c.content);
    struct stat st {};
    ASSERT_EQ(::stat((folder / c.written).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, c.mode);
    EXPECT_EQ(std::filesystem::symlink_status(test::PathOf(folder / c.output)).type(), before);
    EXPECT_EQ(test::Leftovers(folder / "") + test::Leftovers(folder / "data"), "");
}

const char kGood[] = "T,V\r\n12:00:00,1\r\n";
const char kBad[] = "T,V\r\n12:00:00,1\r\nnoon,2\r\n";

INSTANTIATE_TEST_SUITE_P(
    Mended, ReplacedOutput,
    ::testing::Values(
        ReplacedOutputCase{"FileKeepsItsMode", kGood, "data/old.csv", "data/old.csv", 0640, "relTime; T;V\r\n0;12:00:00;1\r\n"},
        ReplacedOutputCase{"LinkStaysALink", kGood, "link.csv", "data/old.csv", 0640, "relTime; T;V\r\n0;12:00:00;1\r\n"},
        ReplacedOutputCase{"DanglingLinkGetsItsTarget", kGood, "dangling.csv", "data/new.csv", 0666 & ~test::Umask(),
                           "relTime; T;V\r\n0;12:00:00;1\r\n"},
        ReplacedOutputCase{"FailureLeavesFile", kBad, "data/old.csv", "data/old.csv", 0640, "earlier"},
        ReplacedOutputCase{"FailureLeavesLinkTarget", kBad, "link.csv", "data/old.csv", 0640, "earlier"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ConvertFile, WritableOutputInAFolderClosedToNewFilesIsWrittenInPlace)
{
    if (!test::PermissionsBind())
        GTEST_SKIP() << "root may make files in any folder";
    TempFolder folder;
    std::filesystem::create_directory(folder / "shut");
    WriteBytes(folder / "in.pe", kGood);
    WriteBytes(folder / "shut/out.csv", "earlier");
    ::chmod((folder / "shut").c_str(), 0500);
    TRecordingSink sink;
    ConvertFile(folder / "in.pe", folder / "shut/out.csv", {}, sink);
    ::chmod((folder / "shut").c_str(), 0700);
    EXPECT_EQ(ReadBytes(folder / "shut/out.csv"), kGood);
}

// Truncates the input the moment the run has its size, before it reads.
class TShrinkingSink : public TRecordingSink {
public:
    explicit TShrinkingSink(std::string path) : path_(std::move(path)) {}
    void SetMaximum(std::int64_t maximum) override
    {
        TRecordingSink::SetMaximum(maximum);
        std::filesystem::resize_file(test::PathOf(path_), 0);
    }

private:
    std::string path_;
};

TEST(ConvertFile, InputThatBecomesShorterFailsAndLeavesTheEarlierOutput)
{
    TempFolder folder;
    WriteBytes(folder / "in.pe", "T,V\r\n" + std::string(300, 'x') + "\r\n");
    WriteBytes(folder / "out.csv", "earlier");
    TShrinkingSink sink(folder / "in.pe");
    try {
        ConvertFile(folder / "in.pe", folder / "out.csv", {}, sink);
        ADD_FAILURE() << "a cut input went unnoticed";
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.Message(), "The PE file \"" + folder / "in.pe" +
                                   "\" became shorter while it was read: it ended at byte 0 of the 307 it had "
                                   "when the run began");
    }
    EXPECT_EQ(ReadBytes(folder / "out.csv"), "earlier");
}
#endif

// A Ctrl-Z where a line would begin ends the input, as stored files rely
// on; what follows it is told, so that it is not dropped without a word.
TEST(ConvertFile, EndMarkIsToldWithWhatFollowsIt)
{
    TempFolder folder;
    struct Case {
        std::string input;
        std::int64_t offset;
        std::int64_t after;
        bool nonBlank;
    };
    const std::vector<Case> cases = {
        {"H\r\n1\r\n", -1, 0, false},
        {"H\r\n\x1a" "2\r\n", 3, 3, true},
        {"H\r\n" + std::string(123, 'a') + "\r\n\x1a" "12:00:00,1\r\n", 128, 12, true},
        {std::string("H\r\n1\r\n\x1a\x1a\x1a \r\n\0", 13), 6, 6, false},
        {"H\r\n1\x1a" "ab\r\n2\r\n", -1, 0, false},
    };
    for (const Case& c : cases) {
        WriteBytes(folder / "in.pe", c.input);
        for (const Buffers& b : kBuffers) {
            TRecordingSink sink;
            TEndMark mark;
            TConvertFileOptions options;
            options.EndMark = &mark;
            options.ReadSize = b.read;
            ConvertFile(folder / "in.pe", folder / "out.csv", {}, sink, options);
            EXPECT_EQ(mark.Offset, c.offset) << c.input;
            EXPECT_EQ(mark.BytesAfter, c.after) << c.input;
            EXPECT_EQ(mark.NonBlankAfter, c.nonBlank) << c.input;
        }
    }
}

TEST(ConvertFile, ExistingOutputIsReplacedEvenByAShorterOne)
{
    TempFolder folder;
    WriteBytes(folder / "in.pe", "a,b\r\n");
    WriteBytes(folder / "out.csv", std::string(10000, 'z'));
    TRecordingSink sink;
    ConvertFile(folder / "in.pe", folder / "out.csv", TConversionSettings{}, sink);
    EXPECT_EQ(ReadBytes(folder / "out.csv"), "a,b\r\n");
}

TEST(ConvertFile, SuccessfulRunReportsNoFailedLine)
{
    TempFolder folder;
    WriteBytes(folder / "in.pe", kThreeLines);
    TRecordingSink sink;
    std::int64_t failedLine = -1;
    TConvertFileOptions options;
    options.FailedLine = &failedLine;
    ConvertFile(folder / "in.pe", folder / "out.csv", SemicolonSettings(true), sink, options);
    EXPECT_EQ(failedLine, 0);
}

// Faults found before anything is touched: the sink gets no call and no
// output is created or emptied.
struct EarlyFault {
    const char* name;
    std::string input;  // relative to the folder
    std::string output; // likewise
    std::string message;
};

class EarlyFaults : public ::testing::TestWithParam<EarlyFault> {};

TEST_P(EarlyFaults, RaiseBeforeAnythingIsTouched)
{
    const EarlyFault& c = GetParam();
    TempFolder folder;
    const std::string content = "Time,Value\r\n12:00:00,1\r\n";
    WriteBytes(folder / "in.pe", content);
    std::filesystem::create_directory(folder / "dir");
    // Windows gives symbolic links to privileged users only.
    std::error_code noSymlink;
    std::filesystem::create_symlink(test::PathOf(folder / "in.pe"), test::PathOf(folder / "link.csv"), noSymlink);
    if (noSymlink && std::string(c.name) == "OutputIsSymlinkToInput")
        GTEST_SKIP() << "no symbolic links here: " << noSymlink.message();
    std::filesystem::create_hard_link(folder / "in.pe", folder / "hard.csv");

    const std::string input = folder / c.input;
    const std::string output = folder / c.output;
    std::string message = c.message;
    for (const auto& [key, value] : {std::pair{std::string("<in>"), input}, {"<out>", output}}) {
        if (auto at = message.find(key); at != std::string::npos)
            message.replace(at, key.size(), value);
    }

    TRecordingSink sink;
    try {
        ConvertFile(input, output, SemicolonSettings(false), sink);
        ADD_FAILURE() << "no error";
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.Message(), message);
    }
    EXPECT_TRUE(sink.calls.empty());
    EXPECT_EQ(ReadBytes(folder / "in.pe"), content);
    EXPECT_FALSE(std::filesystem::exists(folder / "new.csv"));
    EXPECT_EQ(test::Leftovers(folder / ""), "");
}

INSTANTIATE_TEST_SUITE_P(
    Mended, EarlyFaults,
    ::testing::Values(
        EarlyFault{"MissingInput", "missing.pe", "new.csv",
                   "Cannot open the PE file \"<in>\": " + Reason(test::kNoSuchFile)},
        EarlyFault{"DirectoryInput", "dir", "new.csv", "Cannot open the PE file \"<in>\": " + Reason(TOsFile::DirectoryError())},
        EarlyFault{"OutputInMissingFolder", "in.pe", "nowhere/new.csv",
                   "Cannot create the output file \"<out>\": " + Reason(test::kNoSuchFolder)},
        EarlyFault{"OutputIsADirectory", "in.pe", "dir",
                   "Cannot create the output file \"<out>\": " + Reason(TOsFile::DirectoryError())},
        EarlyFault{"OutputIsInputByPath", "in.pe", "in.pe", "The output file \"<out>\" is the PE file itself"},
        EarlyFault{"OutputIsInputByOtherSpelling", "in.pe", "dir/../in.pe",
                   "The output file \"<out>\" is the PE file itself"},
        EarlyFault{"OutputIsSymlinkToInput", "in.pe", "link.csv",
                   "The output file \"<out>\" is the PE file itself"},
        EarlyFault{"OutputIsHardLinkToInput", "in.pe", "hard.csv",
                   "The output file \"<out>\" is the PE file itself"}),
    [](const auto& info) { return std::string(info.param.name); });

// What the checks above compare: one file only where device and inode both
// match, as every file system numbers its inodes on its own.
struct SameFileCase {
    const char* name;
    TFileIdentity a;
    TFileIdentity b;
    bool same;
};

class SameFile : public ::testing::TestWithParam<SameFileCase> {};

TEST_P(SameFile, TakesDeviceAndInodeTogether)
{
    const SameFileCase& c = GetParam();
    EXPECT_EQ(c.a.SameFileAs(c.b), c.same);
    EXPECT_EQ(c.b.SameFileAs(c.a), c.same);
}

INSTANTIATE_TEST_SUITE_P(
    Identities, SameFile,
    ::testing::Values(SameFileCase{"EqualDeviceAndInode", {8, 42, true}, {8, 42, true}, true},
                      SameFileCase{"EqualInodeOnOtherDevice", {8, 42, true}, {9, 42, true}, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ConvertFile, ReadOnlyInputAsOutputIsStillNamedAsTheInput)
{
    if (!test::PermissionsBind())
        GTEST_SKIP() << "root may write any file";
    TempFolder folder;
    WriteBytes(folder / "in.pe", "a\r\n");
    std::filesystem::permissions(folder / "in.pe", std::filesystem::perms::owner_read);
    TRecordingSink sink;
    EXPECT_THROW(ConvertFile(folder / "in.pe", folder / "in.pe", {}, sink), EInOutError);
    EXPECT_EQ(ReadBytes(folder / "in.pe"), "a\r\n");
}

TEST(ConvertFile, FullDiskRaisesAfterCleanUp)
{
    if (!std::filesystem::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    TempFolder folder;
    // Small and large inputs: the failure shows either at a flush in the run
    // or at the final one in the clean-up.
    for (std::size_t lines : {std::size_t{1}, std::size_t{50000}}) {
        std::string input = "Time,Value\r\n";
        for (std::size_t i = 0; i < lines; ++i)
            input += "12:00:00,1\r\n";
        WriteBytes(folder / "in.pe", input);
        TRecordingSink sink;
        try {
            ConvertFile(folder / "in.pe", "/dev/full", {}, sink);
            ADD_FAILURE() << "a full disk went unnoticed";
        } catch (const EInOutError& e) {
            EXPECT_EQ(e.Message(), "Cannot write the output file \"/dev/full\": " + Reason(ENOSPC));
        }
        EXPECT_TRUE(sink.EndsFinished());
        EXPECT_EQ(sink.calls.front(), "SetText()");
    }
}

// A sink that runs out of memory at its first progress value past zero.
class TStarvingSink : public TRecordingSink {
public:
    void SetValue(std::int64_t value) override
    {
        TRecordingSink::SetValue(value);
        if (value > 0)
            throw std::bad_alloc();
    }
};

TEST(ConvertFile, ExhaustedMemoryBecomesOutOfMemoryAfterCleanUp)
{
    TempFolder folder;
    WriteBytes(folder / "in.pe", std::string(200, 'h') + "\r\n" + std::string(200, 'd') + "\r\n");
    TStarvingSink sink;
    try {
        ConvertFile(folder / "in.pe", folder / "out.csv", {}, sink);
        ADD_FAILURE() << "exhausted memory went unnoticed";
    } catch (const EOutOfMemory& e) {
        EXPECT_EQ(e.Message(), "Out of memory");
    }
    EXPECT_TRUE(sink.EndsFinished());
    // The header was written before memory ran out, but no half output
    // takes the place of a file.
    EXPECT_FALSE(std::filesystem::exists(folder / "out.csv"));
    EXPECT_EQ(test::Leftovers(folder / ""), "");
}

TEST(ConvertFile, FailedReadRaisesAfterCleanUp)
{
    if (!std::filesystem::exists("/proc/self/mem"))
        GTEST_SKIP() << "no /proc/self/mem";
    TempFolder folder;
    TRecordingSink sink;
    // Reading this file at offset 0 fails with an I/O error.
    try {
        ConvertFile("/proc/self/mem", folder / "out.csv", {}, sink);
        ADD_FAILURE() << "a failed read went unnoticed";
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.Message(), "Cannot read the PE file \"/proc/self/mem\": " + Reason(test::kFailedRead));
    }
    EXPECT_TRUE(sink.EndsFinished());
    EXPECT_FALSE(std::filesystem::exists(folder / "out.csv"));
    EXPECT_EQ(test::Leftovers(folder / ""), "");
}

// Findings as "line N: message", in the order they were reported.
std::vector<std::string> CheckFindings(const std::string& input, const TConversionSettings& settings,
                                       IProgressSink& sink, std::size_t readSize,
                                       TCheckSummary* summary = nullptr, std::int64_t secondThreadFrom = 0,
                                       std::function<void()> beforeSecondHalf = {})
{
    std::vector<std::string> findings;
    TCheckFileOptions options;
    options.ReadSize = readSize;
    options.SecondThreadFrom = secondThreadFrom;
    options.BeforeSecondHalf = std::move(beforeSecondHalf);
    const TCheckSummary result = CheckFile(
        input, settings, sink,
        [&](const TCheckFinding& f) { findings.push_back("line " + std::to_string(f.Line) + ": " + f.Message()); },
        options);
    EXPECT_EQ(result.Findings, static_cast<std::int64_t>(findings.size()));
    if (summary)
        *summary = result;
    return findings;
}

TEST(CheckFile, ReportsEveryLineThatWouldNotConvertLikeTheFirstWhateverTheReadSize)
{
    struct Case {
        std::string input;
        bool relativeTime;
        std::int64_t dataLines;
        std::vector<std::string> findings;
    };
    const std::string mixed = "T,V\r\n12:00:00,1\r\n12:00:02,2,9\r\n9:05:03;1,5\r\n12:00:09,3\r\n";
    const std::vector<Case> cases = {
        {mixed, false, 4, {"line 3: 2 separators where the first data line has 1"}},
        {mixed, true, 4,
         {"line 3: 2 separators where the first data line has 1", "line 4: '9:05:03;' is not a valid time"}},
        // Numbered as the reader takes lines: a lone CR joins, a Ctrl-Z cuts
        // the rest of its line off, and says so first.
        {"h\r\n1,2\n3,\r4\r\n5\x1a,6,7\r\n8,9,0", false, 4,
         {"line 4: cut at a Ctrl-Z; the rest of the line is not converted",
          "line 4: 0 separators where the first data line has 1",
          "line 5: 2 separators where the first data line has 1"}},
        // A header cut too; a Ctrl-Z with only the break behind it cuts
        // nothing off.
        {"h,\x1ax\r\n1\x1a\r\n2\r\n", false, 2, {"line 1: cut at a Ctrl-Z; the rest of the line is not converted"}},
        // The check goes on past a line the conversion would stop at; a line
        // may give both findings, the clock first.
        {"T\r\nDate,1\r\n12:00:00,2\r\n\r\n", true, 3,
         {"line 2: 'Date,1' is not a valid time", "line 4: '' is not a valid time",
          "line 4: 0 separators where the first data line has 1"}},
        {"T,V\r\n", true, 0, {}},
        {"", true, 0, {}},
    };
    // Checked in two halves at once, the findings and the count are the
    // same, whichever half a Ctrl-Z ends the input in or cuts a line in, and
    // past as many findings as the second half holds before the first has
    // told its own. A Ctrl-Z ends the input only at the start of a 128-byte
    // chunk.
    std::string many = "T,V\r\n1,1\r\n";
    for (int i = 0; i < 20'000; ++i)
        many += i % 3 == 0 ? "12:00:00,1\r\n" : "x,1,2\r\n";
    std::string early = many;
    early[256] = '\x1a';
    std::string late = many;
    const std::size_t lateChunk = (late.size() - 1024) / 128 * 128;
    late[lateChunk] = '\x1a';
    std::string cut = many;
    // Four bytes before a line's end: a field's bytes are behind it.
    cut[many.find('\n', lateChunk + 33) - 4] = '\x1a';
    // Cut in the first half's last line and in the second half's first.
    const std::size_t middleLf = many.find('\n', many.size() / 2);
    std::string cutLast = many;
    cutLast[middleLf - 4] = '\x1a';
    std::string cutFirst = many;
    cutFirst[middleLf + 3] = '\x1a';
    struct Halves {
        std::string input;
        bool split; // where the machine has two processors
        bool endMark;
    };
    const Halves halves[] = {{mixed, true, false},
                             {many, true, false},
                             {early, true, true},
                             {late, true, true},
                             {cut, true, false},
                             {cutLast, true, false},
                             {cutFirst, true, false},
                             {"h\r\n1,2\n3,\r4\r\n5\x1a,6,7\r\n8,9,0", true, false},
                             // No line starts behind the middle.
                             {"h\r\n1,2\r\n" + std::string(100, 'x'), false, false}};
    const bool twoProcessors = std::thread::hardware_concurrency() > 1;
    TempFolder folder;
    for (const Case& c : cases) {
        WriteBytes(folder / "in.pe", c.input);
        TConversionSettings settings;
        settings.RelativeTime = c.relativeTime;
        for (const Buffers& b : kBuffers) {
            SCOPED_TRACE(c.input + " read " + std::to_string(b.read));
            TRecordingSink sink;
            TCheckSummary summary;
            EXPECT_EQ(CheckFindings(folder / "in.pe", settings, sink, b.read, &summary), c.findings);
            EXPECT_EQ(summary.DataLines, c.dataLines);
            EXPECT_EQ(sink.calls, test::NaiveCheck(c.input, settings).calls);
        }
    }

    for (const Halves& h : halves) {
        WriteBytes(folder / "in.pe", h.input);
        TConversionSettings settings;
        settings.RelativeTime = true;
        const test::ExpectedCheck expected = test::NaiveCheck(h.input, settings);
        EXPECT_EQ(test::NaiveSplits(h.input), h.split);
        EXPECT_EQ(!expected.findings.empty() && expected.findings.back().find("end-of-file mark") != std::string::npos,
                  h.endMark);
        for (const Buffers& b : kBuffers) {
            SCOPED_TRACE(h.input.substr(0, 40) + " in halves, read " + std::to_string(b.read));
            TRecordingSink sink;
            TCheckSummary summary;
            EXPECT_EQ(CheckFindings(folder / "in.pe", settings, sink, b.read, &summary, 1), expected.findings);
            EXPECT_EQ(summary.DataLines, expected.dataLines);
            EXPECT_EQ(summary.Halves, h.split && twoProcessors);
            EXPECT_EQ(sink.calls.back(), expected.calls.back());
        }
    }
#ifndef _WIN32
    // What the second half meets reaches the caller, after the first half's
    // findings: here the file becomes shorter a little behind the middle,
    // before the second half holds all the findings it may. (Windows keeps
    // an open input from being cut.)
    const std::size_t shortened = many.size() / 2 + 8192;
    const std::string shorter = "The PE file \"" + folder / "in.pe" +
                                "\" became shorter while it was read: it ended at byte " + std::to_string(shortened) +
                                " of the " + std::to_string(many.size()) + " it had when the run began";
    for (const Buffers& b : kBuffers) {
        if (!twoProcessors)
            break;
        SCOPED_TRACE("cut short in the second half, read " + std::to_string(b.read));
        WriteBytes(folder / "in.pe", many);
        TRecordingSink sink;
        try {
            CheckFindings(folder / "in.pe", {}, sink, std::min<std::size_t>(b.read, 4096), nullptr, 1,
                          [&] { std::filesystem::resize_file(test::PathOf(folder / "in.pe"), shortened); });
            ADD_FAILURE() << "the second half's failure went unnoticed";
        } catch (const EInOutError& e) {
            EXPECT_EQ(e.Message(), shorter);
        }
        EXPECT_TRUE(sink.EndsFinished());
    }
#endif

    TRecordingSink sink;
    EXPECT_THROW(CheckFindings(folder / "missing.pe", {}, sink, TLineReader::kDefaultReadSize), EInOutError);
    EXPECT_TRUE(sink.calls.empty());
}

// A sink that, at its n-th SetValue, does what it was given: on the
// thread that checks the first half.
class TActingSink : public TRecordingSink {
public:
    TActingSink(int at, std::function<void()> act) : at_(at), act_(std::move(act)) {}
    void SetValue(std::int64_t value) override
    {
        TRecordingSink::SetValue(value);
        if (++values_ == at_)
            act_();
    }

private:
    int at_;
    int values_ = 0;
    std::function<void()> act_;
};

// The first SetValue after the split, behind 0, the header's and the first
// data line's: the one after the first half's first thousand lines.
constexpr int kFirstValueInHalves = 4;

#ifndef _WIN32
// Windows keeps an open input from being replaced.
TEST(CheckFile, InHalvesReadsOnlyTheFileItOpenedWhenThePathIsReplaced)
{
    if (std::thread::hardware_concurrency() < 2)
        GTEST_SKIP() << "one processor: never in halves";
    // More findings in the second half than it holds, so that the first
    // goes on from where it stopped.
    std::string input = "T,V\r\n1,1\r\n";
    for (int i = 0; i < 30'000; ++i)
        input += i % 2 == 0 ? "1,1\r\n" : "x,1,2\r\n";
    TempFolder folder;
    WriteBytes(folder / "in.pe", input);
    WriteBytes(folder / "other.pe", "T,V\r\n1,1\r\n");
    const test::ExpectedCheck expected = test::NaiveCheck(input, {});
    TActingSink sink(kFirstValueInHalves, [&] {
        std::filesystem::rename(test::PathOf(folder / "other.pe"), test::PathOf(folder / "in.pe"));
    });
    TCheckSummary summary;
    EXPECT_EQ(CheckFindings(folder / "in.pe", {}, sink, TLineReader::kDefaultReadSize, &summary, 1),
              expected.findings);
    EXPECT_EQ(summary.DataLines, expected.dataLines);
    EXPECT_TRUE(summary.Halves);
    EXPECT_EQ(ReadBytes(folder / "in.pe"), "T,V\r\n1,1\r\n");
}
#endif

// A failure in the first half ends the check at once, even while the
// second reads a line of a gigabyte: it looks for the stop between the
// pieces of a line. What it read shows in the bytes the process read.
TEST(CheckFile, InHalvesFailureOfTheFirstStopsTheSecondWithinItsLine)
{
    const auto bytesRead = [] {
        std::ifstream io("/proc/self/io");
        std::string key;
        std::int64_t value = -1;
        while (io >> key >> value && key != "rchar:") {
        }
        return value;
    };
    if (bytesRead() < 0)
        GTEST_SKIP() << "no /proc/self/io";
    if (std::thread::hardware_concurrency() < 2)
        GTEST_SKIP() << "one processor: never in halves";
    // Sparse: a thousand and more short lines, NULs to the line that starts
    // just behind the middle, and that line of NULs to the end.
    constexpr std::int64_t size = std::int64_t{2} << 30;
    constexpr std::int64_t middleLf = size / 2 + 64;
    TempFolder folder;
    std::string head = "T,V\r\n";
    for (int i = 0; i < 2000; ++i)
        head += "12:00:00,1\r\n";
    WriteBytes(folder / "in.pe", head);
    const std::filesystem::path path = test::PathOf(folder / "in.pe");
    std::filesystem::resize_file(path, middleLf);
    std::ofstream(path, std::ios::binary | std::ios::app) << '\n';
    std::filesystem::resize_file(path, size - 1);
    std::ofstream(path, std::ios::binary | std::ios::app) << '\n';
    ASSERT_EQ(static_cast<std::int64_t>(std::filesystem::file_size(path)), size);

    TActingSink sink(kFirstValueInHalves, [] { throw EInOutError("stopped by the sink"); });
    const std::int64_t before = bytesRead();
    EXPECT_THROW(CheckFindings(folder / "in.pe", {}, sink, TLineReader::kDefaultReadSize, nullptr, 1), EInOutError);
    // The second half's line alone is nearly a gigabyte.
    EXPECT_LT(bytesRead() - before, size / 4);
    EXPECT_TRUE(sink.EndsFinished());
}

TEST(ConvertFile, AgreesWithNaiveConversionOnRandomFiles)
{
    TempFolder folder;
    std::mt19937 rng(99);
    std::uniform_int_distribution<int> percent(0, 99);
    TConversionSettings settings;
    settings.SeparatorSet = ",;";
    settings.HeaderReplacements = {"|", "", "+"};
    settings.DataReplacements = {"/", "", "-", "_"};
    settings.ReplacementBeyondList = "!";
    const std::vector<Buffers> buffers = {{TLineReader::kDefaultReadSize, TLineWriter::kDefaultBufferSize},
                                          {1, 2}, {129, 7}, {4096, 300}, {1000, 100000}};
    for (int round = 0; round < 60; ++round) {
        std::string input;
        const int lines = percent(rng) * 3;
        for (int l = 0; l < lines; ++l) {
            for (int n = percent(rng) % 60; n > 0; --n) {
                const int p = percent(rng);
                input += p < 10 ? ',' : p < 15 ? ';' : p < 17 ? '\r' : (p == 17 && round % 3 == 0) ? '\x1a' : 'x';
            }
            const int end = percent(rng);
            input += end < 70 ? "\r\n" : end < 95 ? "\n" : "";
        }
        WriteBytes(folder / "in.pe", input);
        const test::Expected expected = test::NaiveRun(input, settings);
        for (const Buffers& b : buffers) {
            TRecordingSink sink;
            TConvertFileOptions options;
            options.ReadSize = b.read;
            options.WriteBufferSize = b.write;
            TCutLines cut;
            options.CutLines = &cut;
            ConvertFile(folder / "in.pe", folder / "out.csv", settings, sink, options);
            ASSERT_EQ(ReadBytes(folder / "out.csv"), expected.output)
                << "round " << round << " read " << b.read << " write " << b.write;
            ASSERT_EQ(cut.Count, expected.cutLines) << "round " << round << " read " << b.read;
            ASSERT_EQ(cut.FirstLine, expected.firstCutLine) << "round " << round << " read " << b.read;
            // A check reads the same lines the same way.
            const test::ExpectedCheck check = test::NaiveCheck(input, settings);
            TRecordingSink checkSink;
            ASSERT_EQ(CheckFindings(folder / "in.pe", settings, checkSink, b.read), check.findings)
                << "round " << round << " read " << b.read;
            ASSERT_EQ(checkSink.calls, check.calls);
        }
    }
}

} // namespace
} // namespace morvane
