#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "TTypedCell.h"

struct lxw_workbook;
struct lxw_worksheet;
struct lxw_format;

namespace morvane {

class TXlsxwriter;

// A workbook written row by row in the workbook library's constant-memory
// mode: the header row, then data rows of typed cells. Each sheet ("Data",
// "Data 2", ...) holds as many rows as a worksheet can, starts with the
// header row, keeps it frozen and gives it an autofilter. Nothing is
// written to `path` until Close. Failures raise EWorkbookError.
class TWorkbook {
public:
    // The most rows and columns a worksheet holds.
    static constexpr std::uint32_t kMaxRows = 1'048'576;
    static constexpr std::uint32_t kMaxColumns = 16'384;
    // The most characters a cell holds.
    static constexpr std::size_t kMaxCellLength = 32'767;

    // Messages name the output `shownPath`, which `path` replaces later;
    // `temporaryFolder` takes the rows until Close (empty: the system's);
    // `large` lets a sheet grow past 4 GiB. Tests make `rowsPerSheet` small.
    TWorkbook(const std::string& path, const std::string& shownPath, const std::string& temporaryFolder, bool large,
              std::uint32_t rowsPerSheet = kMaxRows);
    // Writes nothing when Close was not reached.
    ~TWorkbook();
    TWorkbook(const TWorkbook&) = delete;
    TWorkbook& operator=(const TWorkbook&) = delete;

    // The header's cells as the workbook shows them (UTF-8, escaped); an
    // empty one is left out. Starts the first sheet.
    void SetHeader(std::vector<std::string> cells);
    // Starts the next data row, on the next sheet when this one is full.
    void BeginDataRow();
    void WriteNumber(std::uint32_t column, double value);
    void WriteTime(std::uint32_t column, double fractionOfDay, bool milliseconds);
    void WriteText(std::uint32_t column, const std::string& utf8);
    // Writes the workbook to the path.
    void Close();

private:
    void StartSheet();
    void FinishSheet();
    void CheckRoomToAssemble() const;
    void Check(int error, std::uint32_t column) const;
    std::string TemporaryFolderName() const;

    const TXlsxwriter& lib_;
    std::string shownPath_;
    std::string temporaryFolder_;
    lxw_workbook* book_ = nullptr;
    lxw_worksheet* sheet_ = nullptr;
    lxw_format* time_ = nullptr;
    lxw_format* timeMilliseconds_ = nullptr;
    std::vector<std::string> header_;
    std::uint32_t rowsPerSheet_;
    std::uint32_t sheets_ = 0;
    std::uint32_t row_ = 0;
    // The largest sheet's rows, in bytes of their temporary file.
    std::uint64_t largestRows_ = 0;
};

} // namespace morvane
