#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <set>
#include <string>
#include <vector>

#ifndef _WIN32
#include <csignal>
#include <fcntl.h>
#ifdef __linux__
#include <sys/inotify.h>
#endif
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

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

#ifndef _WIN32
std::string Quote(const std::string& arg)
{
    std::string q = "'";
    for (char c : arg)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

std::string CommandLine(const TempFolder& folder, const std::vector<std::string>& args)
{
    std::string command = "cd " + Quote(folder / "") + " && " + Quote(MORVANE_CONVERT);
    for (const std::string& a : args)
        command += " " + Quote(a);
    return command;
}
#endif

// Runs the converter with these arguments inside `folder`, stdin closed;
// its standard output goes to `stdoutPath` when one is given.
Result Convert(const TempFolder& folder, const std::vector<std::string>& args,
               const std::string& stdoutPath = "")
{
    const std::string out = stdoutPath.empty() ? folder / "stdout.txt" : stdoutPath;
    Result r;
    r.status = morvane::test::RunProgram(MORVANE_CONVERT, args, folder / "", out, folder / "stderr.txt");
    r.out = stdoutPath.empty() ? ReadBytes(out) : "";
    r.err = ReadBytes(folder / "stderr.txt");
    return r;
}

#ifndef _WIN32
// What the converter writes to its standard error when that is a pipe.
std::string ErrorsThroughPipe(const TempFolder& folder, const std::vector<std::string>& args)
{
    const std::string command = CommandLine(folder, args) + " </dev/null 2>&1 >/dev/null";
    std::FILE* pipe = ::popen(command.c_str(), "r");
    std::string err;
    char buffer[256];
    for (std::size_t n; pipe != nullptr && (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        err.append(buffer, n);
    if (pipe != nullptr)
        ::pclose(pipe);
    return err;
}
#endif

// The system's own words for a missing file, which the converter passes on.
const std::string kNoSuchFileText = morvane::TOsFile::ErrorText(morvane::test::kNoSuchFile);

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

#ifdef _WIN32
TEST(MorvaneConvert, HelpAnswersSlashQuestionAndQuotesItsExamplesForCmd)
{
    TempFolder folder;
    const Result help = Convert(folder, {"--help"});
    const Result slash = Convert(folder, {"-q", "/?"});
    EXPECT_EQ(slash.status, 0);
    EXPECT_EQ(slash.out, help.out);
    const std::size_t examples = help.out.find("Examples:");
    ASSERT_NE(examples, std::string::npos);
    EXPECT_EQ(help.out.find('\'', examples), std::string::npos);
}

TEST(MorvaneConvert, WildcardsInInputsNameTheMatchingFiles)
{
    TempFolder folder;
    for (const char* name : {"a1.pe", "b2.pe", "c.txt"})
        WriteBytes(folder / name, kInput);
    // Option values keep their '*' and '?'.
    const Result r = Convert(folder, {"-q", "-s", ",*?", "--to", "?", "*.pe"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadBytes(folder / "a1 (XLS).csv").substr(0, 10), "Time?A?B\r\n");
    EXPECT_EQ(ReadBytes(folder / "b2 (XLS).csv").substr(0, 10), "Time?A?B\r\n");
    EXPECT_FALSE(std::filesystem::exists(folder / "c (XLS).csv"));

    const Result none = Convert(folder, {"-q", "c.txt", "z*.pe"});
    EXPECT_EQ(none.status, 2);
    EXPECT_EQ(none.err, "morvane-convert: no file matches \"z*.pe\"\n"
                        "Try 'morvane-convert --help' for more information.\n");
}
#endif

TEST(MorvaneConvert, HelpAndVersionFailWhenTheOutputCannotBeWritten)
{
    if (!std::filesystem::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    TempFolder folder;
    for (const char* option : {"--help", "--version"}) {
        const Result r = Convert(folder, {option}, "/dev/full");
        EXPECT_EQ(r.status, 1) << option;
        EXPECT_EQ(r.err, "morvane-convert: cannot write to the standard output\n");
    }
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
        {{"--preview=1", "a.pe"}, "option '--preview' doesn't allow an argument"},
        {{"--qu=", "a.pe"}, "option '--quiet' doesn't allow an argument"},
        {{"-t", "\xCE\xA9", "a.pe"}, "--to: \"\xCE\xA9\" (U+03A9) is not a Windows-1252 character"},
        {{"--data-map", ";\xE2\x86\x92", "a.pe"},
         "--data-map: \"\xE2\x86\x92\" (U+2192) is not a Windows-1252 character"},
        {{"--across-midnight", "a.pe"}, "--across-midnight counts the relative time column; it needs -r"},
        {{"--check", "--preview", "a.pe"}, "--preview and --check cannot be combined"},
        {{"--check", "-o", "x.csv", "a.pe"}, "--check writes nothing; --output has no use with it"},
        {{"--format", "ods", "a.pe"}, "--format takes csv or xlsx, not \"ods\""},
        {{"--cell-separator", "", "a.pe"}, "--cell-separator takes exactly one character, not \"\""},
        {{"--format", "xlsx", "-o", "-", "a.pe"},
         "a workbook cannot be written to the standard output; name a file with --output"},
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
        std::string input = kInput;
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
        // Characters reach the data as their Windows-1252 bytes (the tests
        // run in a UTF-8 locale).
        {{"-s", "\xC2\xB0", "--to", "\xC2\xA7"}, "T\xA7" "A\xC2" "B\r\n", "T\xB0" "A\xC2" "B\r\n"},
        {{"--data-map", "\xC3\xA4\xC3\xA9", "--relative-time-separator", "\xE2\x80\xA6", "-r"},
         "relTime\x85 Time,A,B\r\n0\x85" "12:00:00\xE4" "1\xE9" "2\r\n5\x85" "12:00:05\xE4" "3\xE9" "4,5\r\n"},
        {{"-r", "--across-midnight"}, "relTime; T\r\n0;23:59:50\r\n20;00:00:10\r\n", "T\r\n23:59:50\r\n00:00:10\r\n"},
        {{"-r"}, "relTime; T\r\n0;23:59:50\r\n86380;00:00:10\r\n", "T\r\n23:59:50\r\n00:00:10\r\n"},
    };
    for (const Case& c : cases) {
        TempFolder folder;
        WriteBytes(folder / "run1.pe", c.input);
        std::vector<std::string> args = c.options;
        args.push_back("run1.pe");
        const Result r = Convert(folder, args);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(ReadBytes(folder / "run1 (XLS).csv"), c.expected);
    }
}

TEST(MorvaneConvert, SettingsFileGivesWhatTheCommandLineDoesNot)
{
    TempFolder folder;
    // Saved without an input: nothing converted, no header in the file.
    const Result saved = Convert(folder, {"--save-settings", "lab.ini", "-r", "--to", ";", "--data-map", "/"});
    ASSERT_EQ(saved.status, 0) << saved.err;
    EXPECT_EQ(ReadBytes(folder / "lab.ini").find("header-separators="), std::string::npos);
    EXPECT_EQ(std::filesystem::exists(morvane::test::PathOf(folder / "run1 (XLS).csv")), false);
    struct Case {
        std::vector<std::string> options;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {{"--settings", "lab.ini"}, "relTime; Time;A;B\r\n0;12:00:00/1;2\r\n5;12:00:05/3;4;5\r\n"},
        // A command-line option wins on either side of --settings.
        {{"--to", ":", "--settings", "lab.ini"}, "relTime; Time:A:B\r\n0;12:00:00/1:2\r\n5;12:00:05/3:4:5\r\n"},
        {{"--settings=lab.ini", "--data-map", "|", "--relative-time-separator", "#"},
         "relTime# Time;A;B\r\n0#12:00:00|1;2\r\n5#12:00:05|3;4;5\r\n"},
        {{"--settings", "lab.ini", "--across-midnight"}, "relTime; Time;A;B\r\n0;12:00:00/1;2\r\n5;12:00:05/3;4;5\r\n"},
    };
    for (const Case& c : cases) {
        WriteBytes(folder / "run1.pe", kInput);
        std::vector<std::string> args = c.options;
        args.push_back("run1.pe");
        const Result r = Convert(folder, args);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(ReadBytes(folder / "run1 (XLS).csv"), c.expected) << c.options[0];
    }
}

TEST(MorvaneConvert, HeaderWithAnotherSeparatorCountIsRefusedUnlessAnyHeader)
{
    TempFolder folder;
    WriteBytes(folder / "day1.pe", kInput);
    const Result saved = Convert(folder, {"-q", "--to", ";", "--save-settings", "lab.ini", "day1.pe"});
    ASSERT_EQ(saved.status, 0) << saved.err;
    EXPECT_EQ(ReadBytes(folder / "day1 (XLS).csv"), "Time;A;B\r\n12:00:00;1;2\r\n12:00:05;3;4;5\r\n");
    WriteBytes(folder / "wide.pe", "Time,A,B,C\r\n12:00:00,1,2,3\r\n");
    WriteBytes(folder / "other.pe", "Zeit,X,Y\r\n12:00:00,1,2\r\n");
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string err;
        std::string wide; // the output of wide.pe, "-" when none
    };
    const std::vector<Case> cases = {
        {{"--settings", "lab.ini", "wide.pe", "other.pe"}, 1,
         "morvane-convert: wide.pe: the header has 3 separators, but lab.ini was made for a header with 2; "
         "nothing converted (--any-header converts it anyway)\n"
         "morvane-convert: other.pe: note: the header differs from the one lab.ini was made for (both have 2 "
         "separators)\n"
         "morvane-convert: 2 files: 1 converted, 1 failed, 0 skipped\n"
         "wide.pe: the header has 3 separators, but lab.ini was made for a header with 2; "
         "nothing converted (--any-header converts it anyway)\n",
         "-"},
        {{"--settings", "lab.ini", "--save-settings", "new.ini", "wide.pe"}, 1,
         "morvane-convert: wide.pe: the header has 3 separators, but lab.ini was made for a header with 2; "
         "nothing converted (--any-header converts it anyway)\n",
         "-"},
        {{"--any-header", "--settings", "lab.ini", "wide.pe"}, 0, "", "Time;A;B;C\r\n12:00:00;1;2;3\r\n"},
        // Another separator set counts other separators: the count does not apply.
        {{"--settings", "lab.ini", "-s", ";", "wide.pe"}, 0, "", "Time,A,B,C\r\n12:00:00,1,2,3\r\n"},
    };
    for (const Case& c : cases) {
        std::filesystem::remove(morvane::test::PathOf(folder / "wide (XLS).csv"));
        const Result r = Convert(folder, c.args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.err, c.err);
        const bool written = std::filesystem::exists(morvane::test::PathOf(folder / "wide (XLS).csv"));
        EXPECT_EQ(written ? ReadBytes(folder / "wide (XLS).csv") : "-", c.wide);
    }
    EXPECT_EQ(std::filesystem::exists(morvane::test::PathOf(folder / "new.ini")), false);
    EXPECT_EQ(ReadBytes(folder / "other (XLS).csv"), "Zeit;X;Y\r\n12:00:00;1;2\r\n");
}

TEST(MorvaneConvert, UnusableSettingsFileConvertsNothing)
{
    TempFolder folder;
    WriteBytes(folder / "a.pe", kInput);
    WriteBytes(folder / "bad.ini", "morvane-settings 1\nseparators=,\nseparators=;\n");
    WriteBytes(folder / "new.ini", "morvane-settings 9\n");
    WriteBytes(folder / "midnight.ini", "morvane-settings 1\nrelative-time=off\n");
    struct Case {
        std::vector<std::string> args;
        std::string err;
    };
    const std::vector<Case> cases = {
        {{"--settings", "missing.ini", "a.pe"},
         "morvane-convert: Cannot read the settings file \"missing.ini\": " + kNoSuchFileText + "\n"},
        {{"--settings", "bad.ini", "a.pe"},
         "morvane-convert: The settings file \"bad.ini\", line 3: \"separators\" is given a second time (first on "
         "line 2)\n"},
        {{"--settings", "new.ini", "a.pe"},
         "morvane-convert: The settings file \"new.ini\" was made by a newer version of Morvane (format 9; this one "
         "reads 1)\n"},
        {{"--settings", "midnight.ini", "--across-midnight", "a.pe"},
         "morvane-convert: --across-midnight counts the relative time column; it needs -r\n"},
    };
    for (const Case& c : cases) {
        const Result r = Convert(folder, c.args);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(std::filesystem::exists(morvane::test::PathOf(folder / "a (XLS).csv")), false);
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
#ifndef _WIN32
    // "\\" and ":" are name characters: each input keeps its own output.
    WriteBytes(folder / "x:1.pe", kInput);
    WriteBytes(folder / "y:1.pe", "H\r\n");
    WriteBytes(folder / "C:\\z.pe", "Z\r\n");
    EXPECT_EQ(Convert(folder, {"x:1.pe", "y:1.pe", "C:\\z.pe"}).status, 0);
    EXPECT_EQ(ReadBytes(folder / "x:1 (XLS).csv"), kInput);
    EXPECT_EQ(ReadBytes(folder / "y:1 (XLS).csv"), "H\r\n");
    EXPECT_EQ(ReadBytes(folder / "C:\\z (XLS).csv"), "Z\r\n");
#endif
}

// `-o -` is the standard output, as for other tools; so is a name that
// leads to it, such as /dev/stdout, even when it is a pipe, whose link text
// names no file.
TEST(MorvaneConvert, DashAndNamesOfTheStandardOutputWriteIt)
{
    TempFolder folder;
    WriteBytes(folder / "a.pe", kInput);
    const std::string converted = "Time;A;B\r\n12:00:00;1;2\r\n12:00:05;3;4;5\r\n";
    const Result r = Convert(folder, {"-q", "--to", ";", "-o", "-", "a.pe"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, converted);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(std::filesystem::exists(morvane::test::PathOf(folder / "-")), false);
#ifndef _WIN32
    for (const std::string name : {"-", "/dev/stdout", "/dev/fd/1"}) {
        const std::string command =
            CommandLine(folder, {"-q", "--to", ";", "-o", name, "a.pe"}) + " </dev/null 2>" + Quote(folder / "err.txt");
        std::FILE* pipe = ::popen(command.c_str(), "r");
        ASSERT_NE(pipe, nullptr);
        std::string out;
        char buffer[256];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            out.append(buffer, n);
        const int raw = ::pclose(pipe);
        EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, 0) << name;
        EXPECT_EQ(out, converted) << name;
        EXPECT_EQ(ReadBytes(folder / "err.txt"), "") << name;
        EXPECT_EQ(morvane::test::Leftovers(folder / ""), "") << name;
    }
#endif
}

// The cells themselves are read back in the workbook tests; here only which
// container is written, under which name, and the warning.
TEST(MorvaneConvert, WorkbookFollowsFormatOrOutputNameAndWarnsOfOneCellLines)
{
    const std::string warning = "morvane-convert: a.pe: warning: the first data line holds no \";\" after the "
                                "separators are mapped, so every line becomes one cell; map them to it with "
                                "--to \";\" or name another with --cell-separator\n";
    struct Case {
        std::vector<std::string> args;
        std::string output;
        std::string start; // of the file written
        std::string err;
    };
    const std::vector<Case> cases = {
        {{"--format", "xlsx", "a.pe"}, "a (XLS).xlsx", "PK", warning},
        {{"-o", "o.XLSX", "--to", ";", "a.pe"}, "o.XLSX", "PK", ""},
        {{"-o", "o.xlsx", "--cell-separator", ",", "a.pe"}, "o.xlsx", "PK", ""},
        {{"--format", "csv", "-o", "o.xlsx", "a.pe"}, "o.xlsx", "Time,A,B", ""},
    };
    for (const Case& c : cases) {
        TempFolder folder;
        WriteBytes(folder / "a.pe", kInput);
        const Result r = Convert(folder, c.args);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(ReadBytes(folder / c.output).substr(0, c.start.size()), c.start);
    }
}

TEST(MorvaneConvert, OutputWrittenEarlierInTheSameCallIsNotReplaced)
{
    TempFolder folder;
    WriteBytes(folder / "a.pe", kInput);
    WriteBytes(folder / "a.log", "Other\r\n");
    WriteBytes(folder / "c.pe", "H,I\r\n");
    // Another text for the same file, and a run that never reached its
    // output, which therefore still belongs to the next input.
    WriteBytes(folder / "m.log", "M\r\n");
    const Result r = Convert(folder, {"a.pe", "./a.log", "c.pe", "m.pe", "m.log"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "morvane-convert: ./a.log: The output file \"./a (XLS).csv\" was already written "
                     "from \"a.pe\" in this run\n"
                     "morvane-convert: m.pe: Cannot open the PE file \"m.pe\": " + kNoSuchFileText + "\n"
                     "morvane-convert: 5 files: 3 converted, 2 failed, 0 skipped\n"
                     "./a.log: The output file \"./a (XLS).csv\" was already written from \"a.pe\" in this run\n"
                     "m.pe: Cannot open the PE file \"m.pe\": " + kNoSuchFileText + "\n");
    EXPECT_EQ(ReadBytes(folder / "a (XLS).csv"), kInput);
    EXPECT_EQ(ReadBytes(folder / "c (XLS).csv"), "H,I\r\n");
    EXPECT_EQ(ReadBytes(folder / "m (XLS).csv"), "M\r\n");

    // A run that failed left its output alone, so the next input may write it.
    WriteBytes(folder / "f.pe", "H\r\nno time\r\n");
    WriteBytes(folder / "f.log", "H\r\n12:00:00\r\n");
    const Result failed = Convert(folder, {"-r", "f.pe", "f.log"});
    EXPECT_EQ(failed.err, "morvane-convert: f.pe: line 2: 'no time' is not a valid time\n"
                          "morvane-convert: 2 files: 1 converted, 1 failed, 0 skipped\n"
                          "f.pe: line 2: 'no time' is not a valid time\n");
    EXPECT_EQ(ReadBytes(folder / "f (XLS).csv"), "relTime; H\r\n0;12:00:00\r\n");
}

TEST(MorvaneConvert, PreviewPrintsHeaderAndFirstDataLineOnly)
{
    TempFolder folder;
    WriteBytes(folder / "a.pe", kInput);
    struct Case {
        std::vector<std::string> args;
        std::string out;
    };
    WriteBytes(folder / "header.pe", "H,I\r\n");
    WriteBytes(folder / "empty.pe", "");
    const std::vector<Case> cases = {
        {{"--preview", "a.pe"}, "Time,A,B\n12:00:00,1,2\n"},
        {{"--preview", "header.pe"}, "H,I\n"},
        {{"--preview", "-r", "header.pe"}, "relTime; H,I\n"},
        {{"--preview", "-r", "empty.pe"}, "relTime; \n"},
        {{"--preview", "--to", ";", "-r", "a.pe"}, "relTime; Time;A;B\n0;12:00:00;1;2\n"},
        {{"--preview", "--format", "xlsx", "-r", "--to", ";", "a.pe"},
         "[text \"relTime\"] [text \" Time\"] [text \"A\"] [text \"B\"]\n"
         "[number 0] [time 12:00:00] [number 1] [number 2]\n"},
        {{"--preview", "-o", "x.xlsx", "--cell-separator", ",", "a.pe"},
         "[text \"Time\"] [text \"A\"] [text \"B\"]\n[time 12:00:00] [number 1] [number 2]\n"},
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

    // Opens, but every read fails.
    if (std::filesystem::exists("/proc/self/mem")) {
        const Result unreadable = Convert(folder, {"--preview", "/proc/self/mem"});
        EXPECT_EQ(unreadable.status, 1);
        EXPECT_EQ(unreadable.out, "");
        EXPECT_EQ(unreadable.err, Convert(folder, {"-o", "out.csv", "/proc/self/mem"}).err);
        EXPECT_EQ(unreadable.err.rfind("morvane-convert: /proc/self/mem: Cannot read the PE file ", 0), 0u);
    }
}

TEST(MorvaneConvert, CheckReportsFindingsPerInputAndWritesNothing)
{
    TempFolder folder;
    WriteBytes(folder / "a.pe", kInput);
    WriteBytes(folder / "clean.pe", "T,V\r\n12:00:00,1\r\n12:00:01,2\r\n");
    std::filesystem::copy_file(std::string(MORVANE_TEST_DATA) + "/bad-clock.pe", folder / "bad.pe");
    std::string many = "T,V\r\n1,2\r\n";
    for (int i = 0; i < 103; ++i)
        many += "1\r\n";
    WriteBytes(folder / "many.pe", many);
    WriteBytes(folder / "z.pe", "T,V\r\n" + std::string(121, '1') + "\r\n\x1a" "12:00:00,2\r\n");
    WriteBytes(folder / "cut.pe", "T,V\r\n1,2\r\n3\x1a,4\r\n5,6\r\n");
    std::string shownOfMany;
    for (int line = 3; line < 103; ++line)
        shownOfMany += "morvane-convert: many.pe: line " + std::to_string(line) +
                       ": 0 separators where the first data line has 1\n";

    struct Case {
        std::vector<std::string> args;
        int status;
        std::string out;
        std::string err;
    };
    const std::vector<Case> cases = {
        {{"--check", "clean.pe"}, 0, "clean.pe: 2 data lines, 0 findings\n", ""},
        {{"--check", "-r", "bad.pe", "clean.pe"}, 1,
         "bad.pe: 4 data lines, 1 finding\nclean.pe: 2 data lines, 0 findings\n",
         "morvane-convert: bad.pe: line 4: '9:05:03;' is not a valid time\n"},
        // Without -r the clock is not looked at; -s decides what counts.
        {{"--check", "bad.pe"}, 0, "bad.pe: 4 data lines, 0 findings\n", ""},
        {{"--check", "-s", ",;", "bad.pe"}, 1, "bad.pe: 4 data lines, 1 finding\n",
         "morvane-convert: bad.pe: line 4: 2 separators where the first data line has 1\n"},
        {{"--check", "cut.pe"}, 1, "cut.pe: 3 data lines, 2 findings\n",
         "morvane-convert: cut.pe: line 3: cut at a Ctrl-Z; the rest of the line is not converted\n"
         "morvane-convert: cut.pe: line 3: 0 separators where the first data line has 1\n"},
        {{"--check", "z.pe"}, 1, "z.pe: 1 data line, 1 finding\n",
         "morvane-convert: z.pe: line 3: stopped at the end-of-file mark at byte 128; 12 bytes after it "
         "were not converted\n"},
        {{"--check", "a.pe", "missing.pe", "many.pe"}, 1,
         "a.pe: 2 data lines, 1 finding\nmany.pe: 104 data lines, 103 findings\n",
         "morvane-convert: a.pe: line 3: 3 separators where the first data line has 2\n"
         "morvane-convert: missing.pe: Cannot open the PE file \"missing.pe\": " + kNoSuchFileText + "\n" +
             shownOfMany + "morvane-convert: many.pe: \u2026 and 3 more\n"},
    };
    for (const Case& c : cases) {
        const Result r = Convert(folder, c.args);
        EXPECT_EQ(r.status, c.status) << c.args.back();
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, c.err);
    }
    for (const auto& entry : std::filesystem::directory_iterator(folder / ""))
        EXPECT_NE(entry.path().extension(), ".csv") << entry.path();
}

TEST(MorvaneConvert, FailingInputIsReportedAndTheRestStillRun)
{
    TempFolder folder;
    WriteBytes(folder / "a.pe", kInput);
    WriteBytes(folder / "c.pe", "H,I\r\n12:00:00,1\r\n");
    const Result r = Convert(folder, {"--to", ";", "a.pe", "missing.pe", "c.pe"});
    EXPECT_EQ(r.status, 1);
    const std::string reason =
        "Cannot open the PE file \"missing.pe\": " + morvane::TOsFile::ErrorText(morvane::test::kNoSuchFile);
    // Then what became of each file, as the window's summary tells it.
    EXPECT_EQ(r.err, "morvane-convert: missing.pe: " + reason + "\n" +
                         "morvane-convert: 3 files: 2 converted, 1 failed, 0 skipped\nmissing.pe: " + reason + "\n");
    EXPECT_EQ(ReadBytes(folder / "a (XLS).csv"), "Time;A;B\r\n12:00:00;1;2\r\n12:00:05;3;4;5\r\n");
    EXPECT_EQ(ReadBytes(folder / "c (XLS).csv"), "H;I\r\n12:00:00;1\r\n");
    // Quiet means quiet: the failure only, and the same exit code.
    const Result quiet = Convert(folder, {"-q", "--to", ";", "a.pe", "missing.pe", "c.pe"});
    EXPECT_EQ(quiet.status, 1);
    EXPECT_EQ(quiet.err, "morvane-convert: missing.pe: " + reason + "\n");
}

TEST(MorvaneConvert, LineThatCausedTheFailureIsNamed)
{
    TempFolder folder;
    std::filesystem::copy_file(std::string(MORVANE_TEST_DATA) + "/bad-clock.pe", folder / "bad.pe");
    const Result r = Convert(folder, {"-r", "-o", "out.csv", "bad.pe"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "morvane-convert: bad.pe: line 4: '9:05:03;' is not a valid time\n");
    EXPECT_FALSE(std::filesystem::exists(folder / "out.csv"));

    // Without the column the same file converts.
    EXPECT_EQ(Convert(folder, {"-o", "out.csv", "bad.pe"}).status, 0);
}

#ifndef _WIN32
// Windows file names cannot hold control bytes.
TEST(MorvaneConvert, DataBehindAnEndOfFileMarkOrCutOffAtACtrlZIsWarnedOf)
{
    TempFolder folder;
    const std::string filler(121, '1');
    struct Case {
        std::string input;
        std::string err;
        std::string output;
    };
    const std::vector<Case> cases = {
        {"T,V\r\n" + filler + "\r\n\x1a" "12:00:00,2\r\n\x1a",
         "morvane-convert: z.pe: warning: stopped at the end-of-file mark at byte 128; 13 bytes after it were not "
         "converted\n",
         "T,V\r\n" + filler + "\r\n"},
        // Once per file, before the mark's, which comes later in the file.
        {"T,V\r\n1,2\r\n3\x1a,4\r\n5,6\x1a\r\n7\x1a" "8\r\n" + filler.substr(0, 101) + "\x1a" "9\r\n",
         "morvane-convert: z.pe: warning: 2 lines were cut at a Ctrl-Z; the first is line 3\n"
         "morvane-convert: z.pe: warning: stopped at the end-of-file mark at byte 128; 3 bytes after it were not "
         "converted\n",
         "T,V\r\n1,2\r\n3\r\n5,6\r\n7\r\n" + filler.substr(0, 101) + "\r\n"},
        {"T\x1a,V\r\n1,2\r\n", "morvane-convert: z.pe: warning: 1 line was cut at a Ctrl-Z: line 1\n",
         "T\r\n1,2\r\n"},
    };
    for (const Case& c : cases) {
        WriteBytes(folder / "z.pe", c.input);
        const Result r = Convert(folder, {"-o", "out.csv", "z.pe"});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(ReadBytes(folder / "out.csv"), c.output);
    }
}

#ifndef _WIN32
// Whatever ends a run early, the output that was there stays byte for byte
// and the run's unfinished new file is gone.
TEST(MorvaneConvert, FailedOrInterruptedRunLeavesTheEarlierOutput)
{
    TempFolder folder;
    std::string big = "Time,A\r\n";
    while (big.size() < 200000)
        big += "12:00:00,1\r\n";
    WriteBytes(folder / "big.pe", big);
    const std::string earlier(1 << 20, 'e');

    // A disk that fills: writes past the file size limit fail as they
    // would on a full disk, without needing one. A workbook's rows go to a
    // temporary file first, which fills before the output does.
    ASSERT_EQ(::mkdir((folder / "tmp").c_str(), 0700), 0);
    const std::pair<std::string, std::string> fullDisk[] = {
        {"out.csv", "Cannot write the output file \"out.csv\": " + morvane::TOsFile::ErrorText(EFBIG)},
        {"out.xlsx", "Cannot write the workbook's rows to a temporary file in \"" + folder / "tmp" +
                         "\": " + morvane::TOsFile::ErrorText(EFBIG)},
    };
    for (const auto& [output, message] : fullDisk) {
        WriteBytes(folder / output, earlier);
        const std::string limited = "trap '' XFSZ; ulimit -f 64; TMPDIR=" + Quote(folder / "tmp") + "; export TMPDIR; " +
                                    CommandLine(folder, {"-q", "--to", ";", "-o", output, "big.pe"}) + " 2>" +
                                    Quote(folder / "err.txt");
        EXPECT_NE(std::system(limited.c_str()), 0) << output;
        EXPECT_EQ(ReadBytes(folder / "err.txt"), "morvane-convert: big.pe: " + message + "\n");
        EXPECT_EQ(ReadBytes(folder / output), earlier) << output;
        EXPECT_EQ(morvane::test::Leftovers(folder / ""), "") << output;
    }

    // Signals that end it in the middle of reading a FIFO that never ends.
    ASSERT_EQ(::mkfifo((folder / "endless.pe").c_str(), 0600), 0);
    for (const int signal : {SIGINT, SIGTERM}) {
        const int writer = ::open((folder / "endless.pe").c_str(), O_RDWR);
        ASSERT_GE(writer, 0);
        ASSERT_EQ(::write(writer, big.data(), 4096), 4096);
        const pid_t child = morvane::test::StartProgram(MORVANE_CONVERT, {"-q", "-o", "out.csv", "endless.pe"},
                                                        folder / "", folder / "out.txt", folder / "err.txt");
        for (int wait = 0; wait < 500 && morvane::test::Leftovers(folder / "").empty(); ++wait)
            ::usleep(10000);
        EXPECT_NE(morvane::test::Leftovers(folder / ""), "") << "the run never began";
        ::kill(child, signal);
        const int raw = morvane::test::WaitForProgram(child);
        ::close(writer);
        EXPECT_EQ(WIFSIGNALED(raw) ? WTERMSIG(raw) : 0, signal);
        EXPECT_EQ(ReadBytes(folder / "out.csv"), earlier);
        EXPECT_EQ(morvane::test::Leftovers(folder / ""), "");
    }
}

#ifdef __linux__
// A signal that comes the moment the new file appears, before the run has
// gone on to anything else, still finds it named for the handler. The
// file's creation is watched for, and the signal sent at once, many times.
TEST(MorvaneConvert, SignalAsTheNewFileIsMadeLeavesNothingBehind)
{
    TempFolder folder;
    ASSERT_EQ(::mkfifo((folder / "endless.pe").c_str(), 0600), 0);
    const int writer = ::open((folder / "endless.pe").c_str(), O_RDWR);
    ASSERT_GE(writer, 0);
    WriteBytes(folder / "out.csv", "earlier\r\n");
    const int watch = ::inotify_init1(IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(::inotify_add_watch(watch, (folder / "").c_str(), IN_CREATE), 0);
    int ended = 0;
    for (int attempt = 0; attempt < 200; ++attempt) {
        const pid_t child = morvane::test::StartProgram(MORVANE_CONVERT, {"-q", "-o", "out.csv", "endless.pe"},
                                                        folder / "", "/dev/null", "/dev/null");
        alignas(struct inotify_event) char events[4096];
        for (bool made = false; !made;) {
            const ssize_t n = ::read(watch, events, sizeof events);
            ASSERT_GT(n, 0);
            for (ssize_t at = 0; at < n;) {
                const auto* event = reinterpret_cast<const struct inotify_event*>(events + at);
                made = made || std::string(event->len > 0 ? event->name : "").find(".part") != std::string::npos;
                at += static_cast<ssize_t>(sizeof(struct inotify_event) + event->len);
            }
        }
        ::kill(child, SIGTERM);
        const int raw = morvane::test::WaitForProgram(child);
        ended += WIFSIGNALED(raw) && WTERMSIG(raw) == SIGTERM ? 1 : 0;
        ASSERT_EQ(morvane::test::Leftovers(folder / ""), "") << "after " << attempt + 1 << " runs";
    }
    ::close(watch);
    ::close(writer);
    EXPECT_EQ(ended, 200);
    EXPECT_EQ(ReadBytes(folder / "out.csv"), "earlier\r\n");
}
#endif

// Where no second thread can be had, the check reads the whole input
// itself. A thread's stack larger than the address space may hold makes
// starting one fail; the sanitizers need more address space than that.
#if defined(__SANITIZE_ADDRESS__)
#define MORVANE_ADDRESS_SANITIZER
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define MORVANE_ADDRESS_SANITIZER
#endif
#endif
#ifndef MORVANE_ADDRESS_SANITIZER
TEST(MorvaneConvert, CheckOfALargeInputWithoutASecondThreadReadsItAlone)
{
    TempFolder folder;
    std::string big = "T,V\r\n";
    std::int64_t lines = 1;
    for (; big.size() < (17u << 20); ++lines)
        big += "12:00:00,1\r\n";
    big += "12:00:01\r\n";
    WriteBytes(folder / "big.pe", big);
    const std::string expectedOut = "big.pe: " + std::to_string(lines) + " data lines, 1 finding\n";
    const std::string expectedErr =
        "morvane-convert: big.pe: line " + std::to_string(lines + 1) + ": 0 separators where the first data line has 1\n";
    for (const char* limits : {"", "ulimit -s 1048576 && ulimit -v 524288 && "}) {
        const std::string command = limits + CommandLine(folder, {"-q", "--check", "big.pe"}) + " >" +
                                    Quote(folder / "out.txt") + " 2>" + Quote(folder / "err.txt");
        const int raw = std::system(command.c_str());
        EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, 1) << limits;
        EXPECT_EQ(ReadBytes(folder / "out.txt"), expectedOut) << limits;
        EXPECT_EQ(ReadBytes(folder / "err.txt"), expectedErr) << limits;
    }
}
#endif

// A FIFO is read as `cat` reads it: a writer that comes late is waited for,
// not taken for an empty file.
TEST(MorvaneConvert, FifoInputWaitsForItsWriter)
{
    TempFolder folder;
    ASSERT_EQ(::mkfifo((folder / "late.pe").c_str(), 0600), 0);
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string out;
    };
    const std::vector<Case> cases = {
        {{"--to=;", "-o", "out.csv", "late.pe"}, 0, ""},
        {{"--check", "late.pe"}, 1, "late.pe: 2 data lines, 1 finding\n"},
    };
    for (const Case& c : cases) {
        const pid_t child = morvane::test::StartProgram(MORVANE_CONVERT, c.args, folder / "", folder / "out.txt",
                                                        folder / "err.txt");
        ::usleep(300000);
        const int writer = ::open((folder / "late.pe").c_str(), O_WRONLY);
        ASSERT_GE(writer, 0);
        ASSERT_EQ(::write(writer, kInput.data(), kInput.size()), static_cast<ssize_t>(kInput.size()));
        ::close(writer);
        const int raw = morvane::test::WaitForProgram(child);
        EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, c.status) << c.args.front();
        EXPECT_EQ(ReadBytes(folder / "out.txt"), c.out);
    }
    EXPECT_EQ(ReadBytes(folder / "out.csv"), "Time;A;B\r\n12:00:00;1;2\r\n12:00:05;3;4;5\r\n");
}
#endif

TEST(MorvaneConvert, MessagesAreWrittenWholeAndShowControlBytesOnAPipe)
{
    TempFolder folder;
    const std::string clockWithNul("12:0\0:00", 8);
    WriteBytes(folder / "n.pe", "T,A\r\n12:00:00,1\r\n" + clockWithNul + ",2\r\n");
    const std::vector<std::string> args = {"-r", "n.pe", "\x1B[2Jm.pe"};
    std::filesystem::copy_file(folder / "n.pe", folder / "\x1B[2Jm.pe");

    // A file gets the bytes as they are.
    EXPECT_EQ(Convert(folder, args).err,
              "morvane-convert: n.pe: line 3: '" + clockWithNul + "' is not a valid time\n"
              "morvane-convert: \x1B[2Jm.pe: line 3: '" + clockWithNul + "' is not a valid time\n"
              "morvane-convert: 2 files: 0 converted, 2 failed, 0 skipped\n"
              "n.pe: line 3: '" + clockWithNul + "' is not a valid time\n"
              "\x1B[2Jm.pe: line 3: '" + clockWithNul + "' is not a valid time\n");
    // The summary's lines too.
    EXPECT_EQ(ErrorsThroughPipe(folder, args),
              "morvane-convert: n.pe: line 3: '12:0\\x00:00' is not a valid time\n"
              "morvane-convert: \\x1B[2Jm.pe: line 3: '12:0\\x00:00' is not a valid time\n"
              "morvane-convert: 2 files: 0 converted, 2 failed, 0 skipped\n"
              "n.pe: line 3: '12:0\\x00:00' is not a valid time\n"
              "\\x1B[2Jm.pe: line 3: '12:0\\x00:00' is not a valid time\n");
}
#endif

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

// Every option a text names: a word of one dash and a letter or of two dashes
// and a name. In roff a dash is written "\-" and fonts change with "\fB" etc.
std::set<std::string> OptionNames(std::string text)
{
    text = std::regex_replace(text, std::regex(R"(\\f[BIRP])"), "");
    text = std::regex_replace(text, std::regex(R"(\\-)"), "-");
    static const std::regex option(R"((^|[^A-Za-z0-9_-])(--[a-z][a-z-]*[a-z]|-[a-zA-Z])(?![A-Za-z0-9_-]))");
    std::set<std::string> names;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), option); it != std::sregex_iterator(); ++it)
        names.insert((*it)[2].str());
    return names;
}

// The manual page and the shell completion are written by hand; a new option
// must reach both, and an option dropped from the program must leave both.
TEST(MorvaneConvert, ManualPageAndCompletionNameExactlyTheOptionsOfHelp)
{
    TempFolder folder;
    const Result help = Convert(folder, {"--help"});
    ASSERT_EQ(help.status, 0);
    const std::set<std::string> helpOptions = OptionNames(help.out);
    EXPECT_EQ(helpOptions.count("--relative-time-separator"), 1u);

    const std::string packaging = MORVANE_PACKAGING_DIR;
    EXPECT_EQ(OptionNames(ReadBytes(packaging + "/morvane-convert.1.in")), helpOptions);

    const std::string completion = ReadBytes(packaging + "/morvane-convert.bash");
    std::smatch words;
    ASSERT_TRUE(std::regex_search(completion, words, std::regex(R"(local opts="([^"]*)\")")));
    EXPECT_EQ(OptionNames(words[1].str()), helpOptions);
}

} // namespace
