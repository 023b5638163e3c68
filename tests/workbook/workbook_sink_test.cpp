// Workbooks written from converted lines, read back by openpyxl.

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "../engine/TempFiles.h"
#include "ConvertFile.h"
#include "ConvertToWorkbook.h"
#include "EWorkbookError.h"
#include "TLocaleTimeSettings.h"
#include "TWorkbookSink.h"

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

} // namespace
