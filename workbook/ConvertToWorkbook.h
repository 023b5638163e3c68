#pragma once

#include <string>

#include "ConvertFile.h"
#include "IProgressSink.h"
#include "TConversionSettings.h"

namespace morvane {

// How the converted lines become a workbook's cells.
struct TWorkbookOptions {
    // Cuts each converted line into cells: the relative time separator's
    // default, so that a line mapped to it gives one cell per field.
    char CellSeparator = ';';
};

// The workbook's name for an output proposed as a CSV file: its ".csv"
// becomes ".xlsx".
std::string WorkbookPathFor(const std::string& csvPath);

// Converts the PE file at inputPath as ConvertFile does, into a workbook at
// outputPath rather than a CSV file (TWorkbookSink). The workbook is built
// beside the output and takes its place only when complete, so a run that
// fails leaves the earlier output as it was. Progress, "finished" and the
// errors are those of ConvertFile; a line or cell a worksheet cannot hold
// raises EWorkbookError.
void ConvertToWorkbook(const std::string& inputPath, const std::string& outputPath,
                       const TConversionSettings& settings, const TWorkbookOptions& workbook,
                       IProgressSink& sink, const TConvertFileOptions& options = {});

} // namespace morvane
