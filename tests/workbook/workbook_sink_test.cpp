// Workbooks written from converted lines, read back by openpyxl.

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <filesystem>
#include <string>

#include "../engine/TempFiles.h"
#include "ConvertFile.h"
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
            morvane::TWorkbookSink sink(output, ';', {}, false, c.RowsPerSheet);
            morvane::ConvertFile(input, sink, settings, progress, options);
        }
        EXPECT_EQ(ReadBack(output), c.Expected) << c.Name;
    }
}

TEST(WorkbookSink, ALineOrCellAWorksheetCannotHoldIsAnErrorAndWritesNothing)
{
    const std::string wide = "h\r\n" + std::string(16'384, ';') + "\r\n";
    const std::string longCell = "h\r\n1;" + std::string(32'768, 'x') + "\r\n";
    const std::pair<std::string, std::string> cases[] = {
        {wide, "Line 2, column 16385: the line has more than 16384 cells, the most a worksheet row holds"},
        {longCell, "Line 2, column 2: the cell has more than 32767 characters, the most a worksheet cell holds"},
    };
    for (const auto& [text, message] : cases) {
        TempFolder folder;
        const std::string input = folder / "in.pe";
        const std::string output = folder / "out.xlsx";
        morvane::test::WriteBytes(input, text);
        morvane::TNullProgressSink progress;
        std::string raised;
        try {
            morvane::TWorkbookSink sink(output, ';');
            morvane::ConvertFile(input, sink, {}, progress);
        } catch (const morvane::EWorkbookError& e) {
            raised = e.Message();
        }
        EXPECT_EQ(raised, message);
        EXPECT_EQ(std::filesystem::exists(morvane::test::PathOf(output)), false);
    }
}

} // namespace
