#include "TWorkbook.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

#include <xlsxwriter.h>

#include "EWorkbookError.h"

namespace morvane {

namespace {

// Wide enough for a clock or a number in its general form, and for the
// header's own text with the filter button beside it.
constexpr double kNarrowestColumn = 10;
constexpr double kWidestColumn = 100;
constexpr double kFilterButtonWidth = 3;

std::size_t Utf8Length(const std::string& text)
{
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

} // namespace

TWorkbook::TWorkbook(const std::string& path, const std::string& temporaryFolder, bool large,
                     std::uint32_t rowsPerSheet)
    : path_(path), rowsPerSheet_(std::clamp<std::uint32_t>(rowsPerSheet, 2, kMaxRows))
{
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    options.use_zip64 = large ? LXW_TRUE : LXW_FALSE;
    std::string folder = temporaryFolder;
    options.tmpdir = folder.empty() ? nullptr : folder.data();
    book_ = workbook_new_opt(path.c_str(), &options);
    if (!book_)
        throw std::bad_alloc();
    time_ = workbook_add_format(book_);
    timeMilliseconds_ = workbook_add_format(book_);
    if (!time_ || !timeMilliseconds_)
        throw std::bad_alloc();
    format_set_num_format(time_, "hh:mm:ss");
    format_set_num_format(timeMilliseconds_, "hh:mm:ss.000");
}

TWorkbook::~TWorkbook()
{
    if (book_)
        lxw_workbook_free(book_);
}

void TWorkbook::Check(int error, std::uint32_t column) const
{
    if (error == LXW_NO_ERROR)
        return;
    if (error == LXW_ERROR_MEMORY_MALLOC_FAILED)
        throw std::bad_alloc();
    throw EWorkbookError("Cannot write row " + std::to_string(row_ + 1) + ", column " + std::to_string(column + 1) +
                         " of the workbook \"" + path_ + "\": " + lxw_strerror(static_cast<lxw_error>(error)));
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
    sheet_ = workbook_add_worksheet(book_, name.c_str());
    if (!sheet_)
        throw std::bad_alloc();
    row_ = 0;
    worksheet_freeze_panes(sheet_, 1, 0);
    for (std::uint32_t column = 0; column < header_.size(); ++column) {
        if (header_[column].empty())
            continue;
        const double width = std::clamp(static_cast<double>(Utf8Length(header_[column])) + kFilterButtonWidth,
                                        kNarrowestColumn, kWidestColumn);
        Check(worksheet_set_column(sheet_, static_cast<lxw_col_t>(column), static_cast<lxw_col_t>(column), width,
                                   nullptr),
              column);
        Check(worksheet_write_string(sheet_, 0, static_cast<lxw_col_t>(column), header_[column].c_str(), nullptr),
              column);
    }
}

void TWorkbook::FinishSheet()
{
    if (sheet_ && !header_.empty()) {
        Check(worksheet_autofilter(sheet_, 0, 0, row_, static_cast<lxw_col_t>(header_.size() - 1)), 0);
    }
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
    Check(worksheet_write_number(sheet_, row_, static_cast<lxw_col_t>(column), value, nullptr), column);
}

void TWorkbook::WriteTime(std::uint32_t column, double fractionOfDay, bool milliseconds)
{
    Check(worksheet_write_number(sheet_, row_, static_cast<lxw_col_t>(column), fractionOfDay,
                                 milliseconds ? timeMilliseconds_ : time_),
          column);
}

void TWorkbook::WriteText(std::uint32_t column, const std::string& utf8)
{
    Check(worksheet_write_string(sheet_, row_, static_cast<lxw_col_t>(column), utf8.c_str(), nullptr), column);
}

void TWorkbook::Close()
{
    FinishSheet();
    // The library frees the workbook whatever the outcome.
    lxw_workbook* const book = book_;
    book_ = nullptr;
    errno = 0;
    const lxw_error error = workbook_close(book);
    if (error == LXW_NO_ERROR)
        return;
    const int osError = errno;
    std::string message = "Cannot write the output file \"" + path_ + "\": " + lxw_strerror(error);
    if (osError != 0)
        message += std::string(" (") + std::strerror(osError) + ")";
    throw EWorkbookError(message);
}

} // namespace morvane
