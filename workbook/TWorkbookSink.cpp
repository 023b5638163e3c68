#include "TWorkbookSink.h"

#include "EWorkbookError.h"
#include "TCNumericLocale.h"
#include "WorkbookText.h"

namespace morvane {

TWorkbookSink::TWorkbookSink(const std::string& path, const std::string& shownPath, char cellSeparator,
                             const std::string& temporaryFolder, bool large, std::uint32_t rowsPerSheet)
    : book_(path, shownPath, temporaryFolder, large, rowsPerSheet), separator_(cellSeparator)
{
}

void TWorkbookSink::Write(const char* data, std::size_t size)
{
    const TCNumericLocale numbers;
    std::size_t i = 0;
    while (i < size) {
        if (atLineStart_) {
            atLineStart_ = false;
            ++line_;
            column_ = 0;
            if (line_ > 1)
                book_.BeginDataRow();
        }
        if (pendingCr_) {
            pendingCr_ = false;
            if (data[i] == '\n') {
                EndCell();
                EndLine();
                ++i;
                continue;
            }
            Append("\r", 1);
        }
        std::size_t end = i;
        while (end < size && data[end] != separator_ && data[end] != '\r')
            ++end;
        Append(data + i, end - i);
        if (end == size)
            break;
        if (data[end] == '\r')
            pendingCr_ = true;
        else
            EndCell();
        i = end + 1;
    }
}

void TWorkbookSink::Append(const char* data, std::size_t size)
{
    if (cell_.size() + size > TWorkbook::kMaxCellLength) {
        throw EWorkbookError("Line " + std::to_string(line_) + ", column " + std::to_string(column_ + 1) +
                             ": the cell has more than " + std::to_string(TWorkbook::kMaxCellLength) +
                             " characters, the most a worksheet cell holds");
    }
    cell_.append(data, size);
}

void TWorkbookSink::EndCell()
{
    if (column_ == TWorkbook::kMaxColumns) {
        throw EWorkbookError("Line " + std::to_string(line_) + ", column " + std::to_string(column_ + 1) +
                             ": the line has more than " + std::to_string(TWorkbook::kMaxColumns) +
                             " cells, the most a worksheet row holds");
    }
    if (line_ == 1) {
        header_.push_back(WorkbookText(cell_));
    } else {
        const TTypedCell typed = TTypedCell::Of(cell_);
        switch (typed.Kind) {
        case TTypedCell::TKind::Empty:
            break;
        case TTypedCell::TKind::Number:
            book_.WriteNumber(column_, typed.Value);
            break;
        case TTypedCell::TKind::Time:
            book_.WriteTime(column_, typed.Value, typed.HasMilliseconds);
            break;
        case TTypedCell::TKind::Text:
            book_.WriteText(column_, WorkbookText(cell_));
            break;
        }
    }
    ++column_;
    cell_.clear();
}

void TWorkbookSink::EndLine()
{
    if (line_ == 1)
        book_.SetHeader(std::move(header_));
    atLineStart_ = true;
}

void TWorkbookSink::Finish()
{
    const TCNumericLocale numbers;
    if (pendingCr_) {
        pendingCr_ = false;
        Append("\r", 1);
    }
    // Every line of a run ends in CR LF; a last one without is ended here.
    if (!atLineStart_) {
        EndCell();
        EndLine();
    }
    book_.Close();
}

} // namespace morvane
