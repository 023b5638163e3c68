#include "ConvertFile.h"

#include <cstring>
#include <exception>
#include <new>

#include "EConvertError.h"
#include "EInOutError.h"
#include "EOutOfMemory.h"
#include "RelativeTime.h"
#include "TLineMapper.h"
#include "TRelativeTimeState.h"

namespace morvane {

namespace {

void WriteMappedLine(TLineWriter& writer, const TLineMapper& mapper, std::string_view line)
{
    writer.WriteLineWith(line.size(),
                         [&](char* destination) { mapper.MapInto(line.data(), line.size(), destination); });
}

} // namespace

void ConvertFile(const std::string& inputPath, const std::string& outputPath,
                 const TConversionSettings& settings, IProgressSink& sink,
                 const TConvertFileOptions& options)
{
    if (options.FailedLine)
        *options.FailedLine = 0;

    TLineReader reader(TLineReader::TReadFailure::Raise, options.ReadSize);
    if (!reader.Open(inputPath)) {
        throw EInOutError("Cannot open the PE file \"" + inputPath + "\": " +
                          std::strerror(reader.OpenError()));
    }
    TLineWriter writer(options.WriteBufferSize);
    writer.Open(outputPath, reader.Identity());

    TRelativeTimeState state;
    sink.SetText("");
    sink.Show();
    sink.SetValue(0);
    sink.SetMaximum(reader.SizeInBlocks());

    std::exception_ptr error;
    std::int64_t lineNumber = 1;
    try {
        const TLineMapper headerMapper(settings.SeparatorSet, settings.HeaderReplacements,
                                       settings.ReplacementBeyondList);
        const TLineMapper dataMapper(settings.SeparatorSet, settings.DataReplacements,
                                     settings.ReplacementBeyondList);
        std::string scratch;
        std::string cell;

        std::string_view line = reader.ReadLineView(scratch);
        if (settings.RelativeTime)
            writer.Write(RelativeTimeHeaderCell(settings.RelativeTimeSeparator));
        WriteMappedLine(writer, headerMapper, line);
        sink.SetValue(reader.PositionInBlocks());

        while (!reader.AtEnd()) {
            ++lineNumber;
            line = reader.ReadLineView(scratch);
            if (settings.RelativeTime) {
                try {
                    cell.clear();
                    AppendRelativeTimeCell(cell, line, state, settings.RelativeTimeSeparator);
                    writer.Write(cell);
                } catch (const EConvertError&) {
                    if (options.FailedLine)
                        *options.FailedLine = lineNumber;
                    throw;
                }
            }
            WriteMappedLine(writer, dataMapper, line);
            sink.SetValue(reader.PositionInBlocks());
        }
    } catch (const std::bad_alloc&) {
        error = std::make_exception_ptr(EOutOfMemory());
    } catch (...) {
        error = std::current_exception();
    }

    reader.Close();
    try {
        writer.Close();
    } catch (...) {
        // The first failure is the one the user needs to see.
        if (!error)
            error = std::current_exception();
    }
    sink.SetText("finished");
    sink.SetPercent(100);
    if (error)
        std::rethrow_exception(error);
}

} // namespace morvane
