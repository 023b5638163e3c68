#include "TWorkbook.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>
#include <system_error>

#include <xlsxwriter.h>

#include "EWorkbookError.h"
#include "TXlsxwriter.h"

namespace morvane {

namespace {

// Wide enough for a clock or a number in its general form, and for the
// header's own text with the filter button beside it.
constexpr double kNarrowestColumn = 10;
constexpr double kWidestColumn = 100;
constexpr double kFilterButtonWidth = 3;

// What a sheet adds to its rows when the library puts it together: the
// frozen pane, the filter and the page setup, and the width of each column.
constexpr std::uint64_t kSheetAroundRows = 64u << 10;
constexpr std::uint64_t kSheetPerColumn = 64;

std::string SizeText(std::uint64_t bytes, bool roundUp)
{
    const std::uint64_t unit = bytes >= (10u << 20) ? 1u << 20 : 1u << 10;
    return std::to_string((bytes + (roundUp ? unit - 1 : 0)) / unit) + (unit == 1u << 10 ? " KiB" : " MiB");
}

std::uint64_t PositionIn(std::FILE* file)
{
#ifdef _WIN32
    const long long position = _ftelli64(file);
#else
    const long long position = ftello(file);
#endif
    return position > 0 ? static_cast<std::uint64_t>(position) : 0;
}

std::size_t Utf8Length(const std::string& text)
{
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

} // namespace

TWorkbook::TWorkbook(const std::string& path, const std::string& shownPath, const std::string& temporaryFolder,
                     bool large, std::uint32_t rowsPerSheet)
    : lib_(TXlsxwriter::Library())
    , shownPath_(shownPath)
    , temporaryFolder_(temporaryFolder)
    , rowsPerSheet_(std::clamp<std::uint32_t>(rowsPerSheet, 2, kMaxRows))
{
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    options.use_zip64 = large ? LXW_TRUE : LXW_FALSE;
    std::string folder = temporaryFolder;
    options.tmpdir = folder.empty() ? nullptr : folder.data();
    book_ = lib_.workbook_new_opt(path.c_str(), &options);
    if (!book_)
        throw std::bad_alloc();
    time_ = lib_.workbook_add_format(book_);
    timeMilliseconds_ = lib_.workbook_add_format(book_);
    if (!time_ || !timeMilliseconds_)
        throw std::bad_alloc();
    lib_.format_set_num_format(time_, "hh:mm:ss");
    lib_.format_set_num_format(timeMilliseconds_, "hh:mm:ss.000");
}

TWorkbook::~TWorkbook()
{
    if (!book_)
        return;
    // The library frees a workbook that was never closed without closing
    // its sheets' temporary files, whose room would stay taken, whatever
    // their size, until the program ends.
    lxw_worksheet* sheet = nullptr;
    LXW_FOREACH_WORKSHEET(sheet, book_)
    {
        if (sheet->optimize_tmpfile) {
            std::fclose(sheet->optimize_tmpfile);
            sheet->optimize_tmpfile = nullptr;
        }
    }
    lib_.lxw_workbook_free(book_);
}

void TWorkbook::Check(int error, std::uint32_t column) const
{
    if (error == LXW_NO_ERROR)
        return;
    if (error == LXW_ERROR_MEMORY_MALLOC_FAILED)
        throw std::bad_alloc();
    throw EWorkbookError("Cannot write row " + std::to_string(row_ + 1) + ", column " + std::to_string(column + 1) +
                         " of the workbook \"" + shownPath_ +
                         "\": " + lib_.lxw_strerror(static_cast<lxw_error>(error)));
}

void TWorkbook::SetHeader(std::vector<std::string> cells)
{
    header_ = std::move(cells);
    StartSheet();
}

void TWorkbook::StartSheet()
{
    ++sheets_;
    const std::string name = sheets_ == 1 ? "Data" : "Data " + std::to_string(sheets_);
    errno = 0;
    sheet_ = lib_.workbook_add_worksheet(book_, name.c_str());
    if (!sheet_) {
        // The library makes the file for the sheet's rows here; it fails
        // for lack of memory or with the system's reason.
        const int osError = errno;
        if (osError == 0 || osError == ENOMEM)
            throw std::bad_alloc();
        throw EWorkbookError("Cannot make a temporary file for the workbook's rows in " + TemporaryFolderName() +
                             ": " + std::strerror(osError));
    }
    row_ = 0;
    lib_.worksheet_freeze_panes(sheet_, 1, 0);
    for (std::uint32_t column = 0; column < header_.size(); ++column) {
        if (header_[column].empty())
            continue;
        const double width = std::clamp(static_cast<double>(Utf8Length(header_[column])) + kFilterButtonWidth,
                                        kNarrowestColumn, kWidestColumn);
        const auto at = static_cast<lxw_col_t>(column);
        Check(lib_.worksheet_set_column(sheet_, at, at, width, nullptr), column);
        Check(lib_.worksheet_write_string(sheet_, 0, at, header_[column].c_str(), nullptr), column);
    }
}

void TWorkbook::FinishSheet()
{
    if (!sheet_)
        return;
    if (!header_.empty())
        Check(lib_.worksheet_autofilter(sheet_, 0, 0, row_, static_cast<lxw_col_t>(header_.size() - 1)), 0);
    // The library keeps a sheet's rows in a temporary file until Close and
    // copies them into the workbook without looking whether they were all
    // written: a full temporary folder would give a cut sheet and no error.
    // Its last row is still in memory; write it out now and look.
    lib_.lxw_worksheet_write_single_row(sheet_);
    std::FILE* const rows = sheet_->optimize_tmpfile;
    errno = 0;
    if (rows && (std::fflush(rows) != 0 || std::ferror(rows))) {
        const int osError = errno;
        throw EWorkbookError("Cannot write the workbook's rows to a temporary file in " + TemporaryFolderName() +
                             ": " + (osError != 0 ? std::strerror(osError) : "a write failed"));
    }
    if (rows)
        largestRows_ = std::max(largestRows_, PositionIn(rows));
}

std::string TWorkbook::TemporaryFolderName() const
{
    return temporaryFolder_.empty() ? std::string("the system's folder for temporary files")
                                    : "\"" + temporaryFolder_ + "\"";
}

// At Close the library copies each sheet's rows into a second temporary file
// and zips that, again without looking whether the copy was complete: a
// folder with room for the rows but not for the copy gave a workbook with a
// cut sheet, reported as written. So the room is looked at before.
void TWorkbook::CheckRoomToAssemble() const
{
    if (temporaryFolder_.empty() || largestRows_ == 0)
        return;
    std::error_code error;
    const std::filesystem::space_info room =
        std::filesystem::space(std::filesystem::path(std::u8string(temporaryFolder_.begin(), temporaryFolder_.end())),
                               error);
    const std::uint64_t needed = largestRows_ + kSheetAroundRows + kSheetPerColumn * header_.size();
    if (error || room.available >= needed)
        return;
    throw EWorkbookError("Cannot write the output file \"" + shownPath_ + "\": " + TemporaryFolderName() + " has " +
                         SizeText(room.available, false) + " free, and putting a sheet together needs " +
                         SizeText(needed, true) + " there");
}

void TWorkbook::BeginDataRow()
{
    if (row_ + 1 == rowsPerSheet_) {
        FinishSheet();
        StartSheet();
    }
    ++row_;
}

void TWorkbook::WriteNumber(std::uint32_t column, double value)
{
    Check(lib_.worksheet_write_number(sheet_, row_, static_cast<lxw_col_t>(column), value, nullptr), column);
}

void TWorkbook::WriteTime(std::uint32_t column, double fractionOfDay, bool milliseconds)
{
    Check(lib_.worksheet_write_number(sheet_, row_, static_cast<lxw_col_t>(column), fractionOfDay,
                                 milliseconds ? timeMilliseconds_ : time_),
          column);
}

void TWorkbook::WriteText(std::uint32_t column, const std::string& utf8)
{
    Check(lib_.worksheet_write_string(sheet_, row_, static_cast<lxw_col_t>(column), utf8.c_str(), nullptr), column);
}

void TWorkbook::Close()
{
    FinishSheet();
    CheckRoomToAssemble();
    // The library frees the workbook whatever the outcome.
    lxw_workbook* const book = book_;
    book_ = nullptr;
    errno = 0;
    const lxw_error error = lib_.workbook_close(book);
    if (error == LXW_NO_ERROR)
        return;
    const int osError = errno;
    std::string message = "Cannot write the output file \"" + shownPath_ + "\": " + lib_.lxw_strerror(error);
    if (osError != 0)
        message += std::string(" (") + std::strerror(osError) + ")";
    throw EWorkbookError(message);
}

} // namespace morvane
