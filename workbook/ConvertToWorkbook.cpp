#include "ConvertToWorkbook.h"

#include <cstdint>
#include <filesystem>
#include <system_error>

#include "TOsFile.h"
#include "TOutputReplacement.h"
#include "TWorkbookSink.h"

namespace morvane {

namespace {

// An input above this size may give a sheet past the 4 GiB a plain zip
// entry holds (a short cell takes eight times its bytes in the sheet).
constexpr std::uintmax_t kLargeInput = 256u << 20;

std::filesystem::path PathOf(const std::string& utf8)
{
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

// Where the workbook library keeps the rows until the workbook is written:
// the system's folder for temporary files (on Windows the C library's own
// choice is the drive's root, which a user may not write).
std::string TemporaryFolder()
{
    std::error_code error;
    const std::filesystem::path folder = std::filesystem::temp_directory_path(error);
    if (error)
        return {};
    const std::u8string text = folder.u8string();
    return std::string(text.begin(), text.end());
}

} // namespace

std::string WorkbookPathFor(const std::string& csvPath)
{
    const std::string csv = ".csv";
    if (csvPath.size() >= csv.size() && csvPath.compare(csvPath.size() - csv.size(), csv.size(), csv) == 0)
        return csvPath.substr(0, csvPath.size() - csv.size()) + ".xlsx";
    return csvPath + ".xlsx";
}

void ConvertToWorkbook(const std::string& inputPath, const std::string& outputPath,
                       const TConversionSettings& settings, const TWorkbookOptions& workbook,
                       IProgressSink& sink, const TConvertFileOptions& options)
{
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(PathOf(inputPath), error);
    const bool large = !error && size > kLargeInput;
    // The input's identity guards it as ConvertFile guards a CSV output;
    // an input that cannot be opened is reported by the run itself.
    TOutputReplacement replacement(outputPath, TOsFile::IdentityOf(inputPath));
    if (options.OutputOpened)
        *options.OutputOpened = false;
    TWorkbookSink book(replacement.WritePath(), outputPath, workbook.CellSeparator, TemporaryFolder(), large);
    ConvertFile(inputPath, book, settings, sink, options);
    replacement.Commit();
    if (options.OutputOpened)
        *options.OutputOpened = true;
}

} // namespace morvane
