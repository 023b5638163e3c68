// Workbooks written from converted lines, read back by openpyxl.

#include <gtest/gtest.h>

#include <cerrno>
#include <clocale>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "../engine/TempFiles.h"
#include "ConvertFile.h"
#include "ConvertToWorkbook.h"
#include "EWorkbookError.h"
#include "TLocaleTimeSettings.h"
#include "TWorkbookSink.h"

#ifdef _WIN32
#include "WideText.h"
#endif

namespace {

using morvane::test::TempFolder;

const char* const kPython = "/usr/bin/python3";

// What the reader prints for the workbook at `path`.
std::string ReadBack(const std::string& path)
{
    const std::string command = std::string(kPython) + " " MORVANE_WORKBOOK_READER " '" + path + "' 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return "cannot run " + command;
    std::string out;
    char buffer[4096];
    while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe))
        out.append(buffer, n);
    pclose(pipe);
    return out;
}

// Runs the test under a regional setting whose decimal separator is a
// comma, as the window runs after QApplication's setlocale.
class GermanLocale {
public:
    GermanLocale() : ok_(std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr) { morvane::LoadLocaleTimeSettings(); }
    ~GermanLocale()
    {
        std::setlocale(LC_ALL, "C");
        morvane::LoadLocaleTimeSettings();
    }
    GermanLocale(const GermanLocale&) = delete;
    GermanLocale& operator=(const GermanLocale&) = delete;
    bool Ok() const { return ok_; }

private:
    bool ok_;
};

// Points the system's folder for temporary files at `folder` while it
// lives, as a user's profile folder would.
class TemporaryFolderAt {
public:
    explicit TemporaryFolderAt(const std::string& folder)
    {
#ifdef _WIN32
        std::wstring wide;
        morvane::WideFromUtf8(folder, wide);
        for (const wchar_t* name : {L"TMP", L"TEMP"}) {
            wchar_t kept[32768];
            const DWORD n = GetEnvironmentVariableW(name, kept, 32768);
            kept_.emplace_back(name, n > 0 ? std::optional<std::wstring>(kept) : std::nullopt);
            SetEnvironmentVariableW(name, wide.c_str());
        }
#else
        const char* const kept = std::getenv("TMPDIR");
        kept_ = kept ? std::optional<std::string>(kept) : std::nullopt;
        setenv("TMPDIR", folder.c_str(), 1);
#endif
    }
    ~TemporaryFolderAt()
    {
#ifdef _WIN32
        for (const auto& [name, value] : kept_)
            SetEnvironmentVariableW(name.c_str(), value ? value->c_str() : nullptr);
#else
        kept_ ? setenv("TMPDIR", kept_->c_str(), 1) : unsetenv("TMPDIR");
#endif
    }
    TemporaryFolderAt(const TemporaryFolderAt&) = delete;
    TemporaryFolderAt& operator=(const TemporaryFolderAt&) = delete;

private:
#ifdef _WIN32
    std::vector<std::pair<std::wstring, std::optional<std::wstring>>> kept_;
#else
    std::optional<std::string> kept_;
#endif
};

// The names a folder holds, sorted, each followed by a blank.
std::string NamesIn(const std::string& folder)
{
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(morvane::test::PathOf(folder)))
        names.insert(morvane::test::Utf8Of(entry.path().filename()));
    std::string joined;
    for (const std::string& name : names)
        joined += name + " ";
    return joined;
}

struct TWorkbookCase {
    const char* Name;
    std::string Input;
    bool RelativeTime;
    std::uint32_t RowsPerSheet;
    std::size_t WriteBufferSize;
    std::string Expected;
};

TEST(WorkbookSink, CellsSheetsAndHeaderReadBackAsWritten)
{
#ifdef _WIN32
    GTEST_SKIP() << "the reader runs on the build machine: tools/compare-windows-output.sh reads this build's workbooks";
#endif
    if (!std::filesystem::exists(kPython))
        GTEST_SKIP() << "no " << kPython << " to read the workbook with";
    const GermanLocale german;
    if (!german.Ok())
        GTEST_SKIP() << "no de_DE.UTF-8 locale (tools/setup.sh makes it)";

    const TWorkbookCase cases[] = {
        {"typed cells with the relative time in front",
         "Time\tValue\tNote\tGap\tA longer header\tExp\r\n"
         "12:00:00\t1,5\tok\t\t-2.25\t1e3\r\n"
         "12:00:01,250\t2\t\xE4\x80\x01_x0041_\tx\t3\r\n",
         true, morvane::TWorkbook::kMaxRows, morvane::TLineWriter::kDefaultBufferSize,
         "sheet Data freeze=A2 filter=A1:G3 widths=A:10.7109,B:10.7109,C:10.7109,D:10.7109,E:10.7109,F:18.7109,G:10.7109\n"
         "A1 s 'relTime'\nB1 s ' Time'\nC1 s 'Value'\nD1 s 'Note'\nE1 s 'Gap'\nF1 s 'A longer header'\nG1 s 'Exp'\n"
         "A2 n 0\nB2 d 12:00:00 hh:mm:ss\nC2 n 1.5\nD2 s 'ok'\nF2 n -2.25\nG2 n 1000\n"
         "A3 n 1\nB3 d 12:00:01.250000 hh:mm:ss.000\nC3 n 2\nD3 s '\xC3\xA4\xE2\x82\xAC_x0001__x005F_x0041_'\n"
         "E3 s 'x'\nF3 n 3\n"},
        {"rows past a full sheet go on to the next, each under the header; pieces cut anywhere",
         "h1\th2\r\n1\ta\r\n2\tb\r\n3\tc\r\n4\td\r\n5\r\n", false, 3, 5,
         "sheet Data freeze=A2 filter=A1:B3 widths=A:10.7109,B:10.7109\nA1 s 'h1'\nB1 s 'h2'\nA2 n 1\nB2 s 'a'\nA3 n 2\nB3 s 'b'\n"
         "sheet Data 2 freeze=A2 filter=A1:B3 widths=A:10.7109,B:10.7109\nA1 s 'h1'\nB1 s 'h2'\nA2 n 3\nB2 s 'c'\nA3 n 4\n"
         "B3 s 'd'\n"
         "sheet Data 3 freeze=A2 filter=A1:B2 widths=A:10.7109,B:10.7109\nA1 s 'h1'\nB1 s 'h2'\nA2 n 5\n"},
        {"a cell of the most characters a cell holds, one of them written escaped",
         "h\r\n" + std::string(32'766, 'x') + "\x01\r\n", false, morvane::TWorkbook::kMaxRows,
         morvane::TLineWriter::kDefaultBufferSize,
         "sheet Data freeze=A2 filter=A1:A2 widths=A:10.7109\nA1 s 'h'\nA2 s '" + std::string(32'766, 'x') +
             "_x0001_'\n"},
    };
    for (const TWorkbookCase& c : cases) {
        TempFolder folder;
        const std::string input = folder / "in.pe";
        const std::string output = folder / "out.xlsx";
        morvane::test::WriteBytes(input, c.Input);
        morvane::TConversionSettings settings;
        settings.SeparatorSet = "\t";
        settings.ReplacementBeyondList = ";";
        settings.RelativeTime = c.RelativeTime;
        morvane::TConvertFileOptions options;
        options.WriteBufferSize = c.WriteBufferSize;
        morvane::TNullProgressSink progress;
        {
            morvane::TWorkbookSink sink(output, output, ';', {}, false, c.RowsPerSheet);
            morvane::ConvertFile(input, sink, settings, progress, options);
        }
        EXPECT_EQ(ReadBack(output), c.Expected) << c.Name;
    }
}

// LibreOffice Calc, when it is there, opens a workbook and reads the values
// and times the workbook was given.
TEST(WorkbookSink, LibreOfficeCalcReadsTheSameValues)
{
#ifdef _WIN32
    GTEST_SKIP() << "LibreOffice runs on the build machine";
#else
    if (std::system("command -v soffice >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "no LibreOffice (soffice) installed";
    TempFolder folder;
    const std::string input = folder / "in.pe";
    const std::string output = folder / "out.xlsx";
    morvane::test::WriteBytes(input, "Time\tValue\tNote\tGap\tExp\r\n"
                                     "12:00:00\t1,5\tok\t\t1e3\r\n"
                                     "12:00:01.250\t-2.25\t\xE4\x80\tx\t-0.125\r\n");
    morvane::TConversionSettings settings;
    settings.SeparatorSet = "\t";
    settings.ReplacementBeyondList = ";";
    settings.RelativeTime = true;
    morvane::TNullProgressSink progress;
    morvane::ConvertToWorkbook(input, output, settings, {}, progress);
    // A profile of its own, so that no running or configured LibreOffice of
    // the user's takes part; the C locale makes the shown numbers plain.
    const std::string command = "cd '" + folder / "" + "' && LC_ALL=C.UTF-8 soffice -env:UserInstallation=file://'" +
                                folder / "profile" +
                                "' --headless --convert-to 'csv:Text - txt - csv (StarCalc):44,34,76,1' out.xlsx "
                                ">/dev/null 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(morvane::test::ReadBytes(folder / "out.csv"),
              "\"relTime\",\" Time\",\"Value\",\"Note\",\"Gap\",\"Exp\"\n"
              "0,12:00:00,1.5,\"ok\",,1000\n"
              "1,12:00:01.250,-2.25,\"\xC3\xA4\xE2\x82\xAC\",\"x\",-0.125\n");
#endif
}

// The parts are deflated at zlib's fastest level, which zip records in the
// general-purpose flags of every part's header (bits 1 and 2 both set). The
// library alone would use the default level, at twice the time.
TEST(WorkbookSink, PartsAreDeflatedAtTheFastestLevel)
{
    TempFolder folder;
    const std::string input = folder / "in.pe";
    const std::string output = folder / "out.xlsx";
    morvane::test::WriteBytes(input, "Time,Value\r\n12:00:00,1.5\r\n");
    morvane::TNullProgressSink progress;
    morvane::ConvertToWorkbook(input, output, morvane::TConversionSettings{}, {}, progress);
    const std::string book = morvane::test::ReadBytes(output);
    ASSERT_GE(book.size(), 8u);
    EXPECT_EQ(book.substr(0, 4), "PK\x03\x04");
    EXPECT_EQ(static_cast<unsigned char>(book[6]) & 6, 6);
}

// A run that fails, whether the worksheet cannot hold a line or the engine
// stops at one, leaves the earlier output byte for byte and no new file.
TEST(WorkbookSink, FailedRunLeavesTheEarlierOutputAndNoNewFile)
{
    struct Case {
        std::string Input;
        bool RelativeTime;
        bool EarlierOutput;
        std::string Message;
    };
    const std::string wide = "h\r\n" + std::string(16'384, ';') + "\r\n";
    const std::string longCell = "h\r\n1;" + std::string(32'768, 'x') + "\r\n";
    const Case cases[] = {
        {wide, false, false, "Line 2, column 16385: the line has more than 16384 cells, the most a worksheet row holds"},
        {wide, false, true, "Line 2, column 16385: the line has more than 16384 cells, the most a worksheet row holds"},
        {longCell, false, true,
         "Line 2, column 2: the cell has more than 32767 characters, the most a worksheet cell holds"},
        {"h\r\n1;" + std::string(32'767, '_') + "\x01\r\n", false, true,
         "Line 2, column 2: the cell has more than 32767 characters, the most a worksheet cell holds"},
        {"Time,Value\r\n12:00:00,1.5\r\n12:00:02,2.5\r\n9:05:03;1,5\r\n", true, true,
         "'9:05:03;' is not a valid time"},
    };
    for (const Case& c : cases) {
        TempFolder folder;
        const std::string input = folder / "in.pe";
        const std::string output = folder / "out.xlsx";
        const std::string earlier = "PK\x03\x04 earlier\r\n\xFF";
        morvane::test::WriteBytes(input, c.Input);
        if (c.EarlierOutput)
            morvane::test::WriteBytes(output, earlier);
        morvane::TConversionSettings settings;
        settings.RelativeTime = c.RelativeTime;
        morvane::TNullProgressSink progress;
        std::string raised;
        try {
            morvane::ConvertToWorkbook(input, output, settings, {}, progress);
        } catch (const morvane::Exception& e) {
            raised = e.Message();
        }
        EXPECT_EQ(raised, c.Message);
        EXPECT_EQ(std::filesystem::exists(morvane::test::PathOf(output)), c.EarlierOutput) << c.Message;
        EXPECT_EQ(morvane::test::ReadBytes(output), c.EarlierOutput ? earlier : "") << c.Message;
        EXPECT_EQ(morvane::test::Leftovers(folder / ""), "") << c.Message;
    }
}

// A temporary folder with room for a sheet's rows but not for the copy the
// library puts the sheet together in: the run fails, where it used to write
// a workbook with a cut sheet and report success. The rows' temporary file
// is closed after the failure, so the folder can be unmounted at once.
TEST(WorkbookSink, TemporaryFolderWithoutRoomForTheSheetFailsTheRun)
{
#ifdef _WIN32
    GTEST_SKIP() << "the small folder is a tmpfs of the build machine";
#else
    TempFolder folder;
    const std::string small = folder / "small";
    std::filesystem::create_directory(morvane::test::PathOf(small));
    if (std::system(("mount -t tmpfs -o size=1m tmpfs '" + small + "' 2>/dev/null").c_str()) != 0)
        GTEST_SKIP() << "cannot mount a small tmpfs here (needs root)";
    std::string lines = "Time,Value\r\n";
    for (int i = 0; i < 10'000; ++i)
        lines += "12:00:00,1.5\r\n";
    const std::string input = folder / "in.pe";
    const std::string output = folder / "out.xlsx";
    morvane::test::WriteBytes(input, lines);
    const char* const previous = std::getenv("TMPDIR");
    const std::string kept = previous ? previous : "";
    setenv("TMPDIR", small.c_str(), 1);
    std::string raised;
    try {
        morvane::TConversionSettings settings;
        settings.SeparatorSet = ",";
        settings.ReplacementBeyondList = ";";
        morvane::TNullProgressSink progress;
        morvane::ConvertToWorkbook(input, output, settings, {}, progress);
    } catch (const morvane::Exception& e) {
        raised = e.Message();
    }
    previous ? setenv("TMPDIR", kept.c_str(), 1) : unsetenv("TMPDIR");
    EXPECT_EQ(std::system(("umount '" + small + "'").c_str()), 0);
    EXPECT_EQ(raised.substr(0, raised.find(" has ")),
              "Cannot write the output file \"" + output + "\": \"" + small + "\"");
    EXPECT_EQ(std::filesystem::exists(morvane::test::PathOf(output)), false);
#endif
}

// Names beyond ASCII, of the output and of the folders it and the rows'
// temporary files are in (a Windows profile such as C:\Users\Jürgen holds
// both), take the workbook as they take a CSV file: in place of the earlier
// output, with nothing left beside it and nothing on the standard error.
TEST(WorkbookSink, NamesAndFoldersBeyondAsciiTakeTheOutput)
{
    struct Case {
        const char* Folder;
        const char* Output;
        bool EarlierOutput;
    };
    // "Ω" is in no Western code page, so no narrow name stands for it.
    const Case cases[] = {
        {"", "K\u00fchlwasser (XLS).xlsx", true},
        {"", "M\u00e4rz.xlsx", false},
        {"M\u00fcller Daten", "run1 (XLS).xlsx", false},
        {"J\u00fcrgen \u03a9", "run1 (XLS).xlsx", true},
        {"", "K\u00fchlwasser.csv", true},
        {"M\u00fcller Daten", "run1.csv", false},
        {"J\u00fcrgen \u03a9", "run1.csv", false},
    };
    const std::string input = "Time,Value\r\n12:00:00,1.5\r\n";
    const std::string earlier = "PK\x03\x04 earlier";
    for (const Case& c : cases) {
        TempFolder folder;
        const std::string place = *c.Folder ? folder / c.Folder : folder / "";
        std::filesystem::create_directories(morvane::test::PathOf(place));
        std::filesystem::create_directory(morvane::test::PathOf(folder / "Temp \u03a9"));
        morvane::test::WriteBytes(folder / "in.pe", input);
        const std::string output =
            morvane::test::Utf8Of(morvane::test::PathOf(place) / morvane::test::PathOf(c.Output));
        if (c.EarlierOutput)
            morvane::test::WriteBytes(output, earlier);
        const bool workbook = output.ends_with(".xlsx");
        morvane::TConversionSettings settings;
        settings.ReplacementBeyondList = ";";
        morvane::TNullProgressSink progress;
        std::string raised;
        // The capture's own file goes to the temporary folder before.
        testing::internal::CaptureStderr();
        try {
            const TemporaryFolderAt temporary(folder / "Temp \u03a9");
            if (workbook)
                morvane::ConvertToWorkbook(folder / "in.pe", output, settings, {}, progress);
            else
                morvane::ConvertFile(folder / "in.pe", output, settings, progress);
        } catch (const morvane::Exception& e) {
            raised = e.Message();
        }
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << c.Output;
        EXPECT_EQ(raised, "") << c.Output;
        const std::string written = morvane::test::ReadBytes(output);
        EXPECT_EQ(workbook ? written.substr(0, 4) : written, workbook ? "PK\x03\x04" : "Time;Value\r\n12:00:00;1.5\r\n")
            << c.Output;
        EXPECT_NE(written, earlier) << c.Output;
        const std::string others = *c.Folder ? "" : "Temp \u03a9 in.pe ";
        EXPECT_EQ(NamesIn(place), std::string(c.Output) + " " + others) << c.Output;
    }
}

// The rows wait in the folder the workbook was given, whatever its name:
// on Windows their file is there, to be removed when it is closed; on Linux
// it is removed from its folder at once.
TEST(WorkbookSink, RowsWaitInTheTemporaryFolderGiven)
{
#ifdef _WIN32
    const std::string whileOpen = "1 file";
#else
    const std::string whileOpen = "0 files";
#endif
    TempFolder folder;
    const std::string rows = folder / "J\u00fcrgen \u03a9";
    std::filesystem::create_directory(morvane::test::PathOf(rows));
    const auto count = [&rows] {
        const auto n = std::distance(std::filesystem::directory_iterator(morvane::test::PathOf(rows)),
                                     std::filesystem::directory_iterator());
        return std::to_string(n) + (n == 1 ? " file" : " files");
    };
    {
        morvane::TWorkbookSink sink(folder / "out.xlsx", folder / "out.xlsx", ';', rows);
        sink.Write("h\r\n1\r\n", 6);
        EXPECT_EQ(count(), whileOpen);
        sink.Finish();
    }
    EXPECT_EQ(count(), "0 files");
    EXPECT_EQ(morvane::test::ReadBytes(folder / "out.xlsx").substr(0, 4), "PK\x03\x04");
}

// A temporary folder that cannot take the rows is named in our message,
// without the workbook library's own lines on the standard error.
TEST(WorkbookSink, TemporaryFolderThatCannotTakeTheRowsIsNamed)
{
#ifndef _WIN32
    GTEST_SKIP() << "the library on Linux looks for another folder itself";
#else
    TempFolder folder;
    const std::string gone = folder / "gone \u03a9";
    std::string raised;
    testing::internal::CaptureStderr();
    try {
        morvane::TWorkbookSink sink(folder / "out.xlsx", folder / "out.xlsx", ';', gone);
        sink.Write("h\r\n", 3);
    } catch (const morvane::Exception& e) {
        raised = e.Message();
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(raised, "Cannot make a temporary file for the workbook's rows in \"" + gone +
                          "\": " + std::strerror(ENOENT));
#endif
}

} // namespace
