#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ILineSink.h"
#include "TWorkbook.h"

namespace morvane {

// Turns a run's converted lines into a workbook: each line is cut into
// cells at the cell separator, the first line becomes the header row of
// text, and every cell of the other lines is typed (TTypedCell). A line of
// more cells, or a cell of more characters, than a worksheet holds raises
// EWorkbookError naming the line and the column; the workbook is written
// only by Finish.
class TWorkbookSink final : public ILineSink {
public:
    TWorkbookSink(const std::string& path, const std::string& shownPath, char cellSeparator,
                  const std::string& temporaryFolder = {}, bool large = false,
                  std::uint32_t rowsPerSheet = TWorkbook::kMaxRows);

    void Write(const char* data, std::size_t size) override;
    void Finish() override;

private:
    void Append(const char* data, std::size_t size);
    void EndCell();
    void EndLine();

    TWorkbook book_;
    char separator_;
    std::int64_t line_ = 0;
    std::uint32_t column_ = 0;
    bool atLineStart_ = true;
    // A CR ends the line only with the LF behind it, which may come with
    // the next piece.
    bool pendingCr_ = false;
    std::string cell_;
    std::vector<std::string> header_;
};

} // namespace morvane
