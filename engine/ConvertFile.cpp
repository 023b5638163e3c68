// The run of one conversion: the reader and the writer (or the output's
// sink), the header line, then the data lines (TDataLines), and the output
// put in place only once everything went well.

#include "ConvertFile.h"

#include <algorithm>
#include <exception>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "EConvertError.h"
#include "EInOutError.h"
#include "EOutOfMemory.h"
#include "RelativeTime.h"
#include "TDataLines.h"
#include "TLineMapper.h"
#include "TOutputReplacement.h"
#include "TVectorWidth.h"

namespace morvane {

namespace {

// Whether every entry of a replacement list does to each separator what the
// rule beyond the list does, as the window's boxes do while they still hold
// their own separators. Such a list maps every occurrence alike, and without
// it whole runs of lines are mapped at once.
bool ListMapsAsBeyond(std::string_view separatorSet, const std::vector<std::string>& list,
                      std::string_view beyond)
{
    const auto setIsOnly = [separatorSet](char c) {
        return separatorSet.find_first_not_of(c) == std::string_view::npos;
    };
    const bool keptBeyond = beyond.empty() || setIsOnly(beyond[0]);
    return std::all_of(list.begin(), list.end(), [&](const std::string& entry) {
        if (entry.empty())
            return keptBeyond;
        return beyond.empty() ? setIsOnly(entry[0]) : entry[0] == beyond[0];
    });
}

const std::vector<std::string>& EffectiveList(const TConversionSettings& settings,
                                              const std::vector<std::string>& list)
{
    static const std::vector<std::string> none;
    return ListMapsAsBeyond(settings.SeparatorSet, list, settings.ReplacementBeyondList) ? none : list;
}

// The run into the file at outputPath, or into `output` when it is given.
void ConvertInto(const std::string& inputPath, const std::string& outputPath, ILineSink* output,
                 const TConversionSettings& settings, IProgressSink& sink, const TConvertFileOptions& options)
{
    if (options.FailedLine)
        *options.FailedLine = 0;
    if (options.OutputOpened)
        *options.OutputOpened = false;
    if (options.CutLines)
        *options.CutLines = {};
    // A width the processor lacks is refused before anything is touched.
    TVectorWidth::Process();

    std::optional<TOutputReplacement> replacement;
    TLineWriter writer(options.WriteBufferSize);
    std::exception_ptr error;
    // The reader's scope: the input is closed before the output is put in
    // place.
    {
        TLineReader reader(TLineReader::TReadFailure::Raise, options.ReadSize);
        if (const TOpened opened = reader.Open(inputPath, {.WaitForWriter = options.WaitForWriter}); !opened)
            throw EInOutError::CannotOpenPeFile(inputPath, opened.Error);
        // A sink finishes its own output; a file is written beside the output.
        if (output) {
            writer.Open(*output);
        } else {
            replacement.emplace(outputPath, reader.Identity());
            writer.Open(replacement->WritePath(), reader.Identity(), outputPath, replacement->WritesNewFile());
        }
        if (options.OutputOpened)
            *options.OutputOpened = replacement && replacement->WritesInPlace();

        sink.SetText("");
        sink.Show();
        sink.SetValue(0);
        sink.SetMaximum(SizeInBlocks(reader));

        try {
            const TLineMapper headerMapper(settings.SeparatorSet, EffectiveList(settings, settings.HeaderReplacements),
                                           settings.ReplacementBeyondList);
            const TLineMapper dataMapper(settings.SeparatorSet, EffectiveList(settings, settings.DataReplacements),
                                         settings.ReplacementBeyondList);
            std::string scratch;
            bool ended = false;
            const std::string_view header = reader.ReadLinePiece(scratch, ended);
            if (settings.RelativeTime)
                writer.Write(RelativeTimeHeaderCell(settings.RelativeTimeSeparator));
            WriteMappedLine(writer, headerMapper, reader, header, ended, scratch);
            const bool headerCut = reader.CutLines() > 0;
            sink.SetValue(reader.PositionInBlocks());

            TDataLines lines(reader, writer, dataMapper, settings, sink);
            try {
                lines.Run();
            } catch (const EConvertError&) {
                if (options.FailedLine)
                    *options.FailedLine = lines.LineNumber();
                throw;
            }
            if (options.CutLines)
                *options.CutLines = {reader.CutLines(), headerCut ? 1 : lines.FirstCutLine()};
            if (options.EndMark)
                *options.EndMark = reader.ExamineEndMark();
        } catch (const std::bad_alloc&) {
            error = std::make_exception_ptr(EOutOfMemory());
        } catch (...) {
            error = std::current_exception();
        }
    }

    if (error) {
        // The first failure is the one the user needs to see; a sink is
        // left unfinished.
        writer.CloseAfterFailure();
    } else {
        try {
            writer.Close();
        } catch (const std::bad_alloc&) {
            error = std::make_exception_ptr(EOutOfMemory());
        } catch (...) {
            error = std::current_exception();
        }
    }
    if (!error && replacement) {
        try {
            replacement->Commit(writer.BytesWritten());
            if (options.OutputOpened)
                *options.OutputOpened = true;
        } catch (...) {
            error = std::current_exception();
        }
    }
    sink.SetText("finished");
    sink.SetPercent(100);
    if (error)
        std::rethrow_exception(error);
}

} // namespace

std::string CutLinesMessage(const TCutLines& cut)
{
    if (cut.Count == 1)
        return "1 line was cut at a Ctrl-Z: line " + std::to_string(cut.FirstLine);
    return std::to_string(cut.Count) + " lines were cut at a Ctrl-Z; the first is line " +
           std::to_string(cut.FirstLine);
}

void ConvertFile(const std::string& inputPath, const std::string& outputPath,
                 const TConversionSettings& settings, IProgressSink& sink,
                 const TConvertFileOptions& options)
{
    ConvertInto(inputPath, outputPath, nullptr, settings, sink, options);
}

void ConvertFile(const std::string& inputPath, ILineSink& output, const TConversionSettings& settings,
                 IProgressSink& sink, const TConvertFileOptions& options)
{
    ConvertInto(inputPath, {}, &output, settings, sink, options);
}

} // namespace morvane
