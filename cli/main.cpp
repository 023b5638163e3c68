// morvane-convert: converts PE files into CSV files without the window.

#include <clocale>
#include <cstdio>
#include <exception>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "CheckFile.h"
#include "ConvertFile.h"
#include "EConvertError.h"
#include "EInOutError.h"
#include "EOutOfMemory.h"
#include "Exception.h"
#include "MessageOutput.h"
#include "OutputName.h"
#include "RelativeTime.h"
#include "TCommandLine.h"
#include "TLineMapper.h"
#include "TLineReader.h"
#include "TLocaleTimeSettings.h"
#include "TOsFile.h"
#include "TTerminalProgress.h"
#include "Version.h"

using namespace morvane;

namespace {

const char* const kProgram = "morvane-convert";

void ReportFailure(const std::string& input, std::int64_t line, const std::string& message)
{
    std::string text = std::string(kProgram) + ": " + input + ": ";
    if (line > 0)
        text += "line " + std::to_string(line) + ": ";
    text += message;
    WriteMessage(stderr, text);
}

// Standard output is written through a buffer, so a full disk or a closed
// reader only shows at the end; that too is a failure.
int FinishStandardOutput(int status)
{
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        WriteMessage(stderr, std::string(kProgram) + ": cannot write to the standard output");
        return 1;
    }
    return status;
}

// The header and the first data line as the conversion would write them,
// read the way the conversion reads them, so that both meet the same
// errors; a line the file does not have is not printed.
void Preview(const std::string& input, const TConversionSettings& settings, bool named,
             std::int64_t& failedLine)
{
    TLineReader reader(TLineReader::TReadFailure::Raise);
    if (!reader.Open(input))
        throw EInOutError::CannotOpenPeFile(input, reader.OpenError());

    const TLineMapper headerMapper(settings.SeparatorSet, settings.HeaderReplacements,
                                   settings.ReplacementBeyondList);
    const TLineMapper dataMapper(settings.SeparatorSet, settings.DataReplacements,
                                 settings.ReplacementBeyondList);
    std::string out = named ? input + ":\n" : "";
    std::string line;
    reader.ReadLine(line);
    if (settings.RelativeTime)
        out += RelativeTimeHeaderCell(settings.RelativeTimeSeparator);
    out += headerMapper.Map(line) + "\n";
    if (!reader.AtEnd()) {
        reader.ReadLine(line);
        if (settings.RelativeTime) {
            TRelativeTimeState state;
            failedLine = 2;
            out += RelativeTimeCell(line, state, settings.RelativeTimeSeparator);
            failedLine = 0;
        }
        out += dataMapper.Map(line) + "\n";
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
}

// An output one input of this call has written, whatever path led to it.
struct TWrittenOutput {
    TFileIdentity File;
    std::string Input;
};

TFileIdentity IdentityOfPath(const std::string& path)
{
    return TOsFile::IdentityOf(path);
}

// Converts one input. An output that an earlier input of the same call
// wrote is refused rather than silently replaced.
void Convert(const std::string& input, const TCommandLine& command, bool showProgress,
             std::vector<TWrittenOutput>& written, std::int64_t& failedLine)
{
    const std::string output = command.Output.empty() ? ProposedOutputPathBeside(input) : command.Output;
    const TFileIdentity existing = IdentityOfPath(output);
    for (const TWrittenOutput& earlier : written) {
        if (earlier.File.SameFileAs(existing))
            throw EInOutError("The output file \"" + output + "\" was already written from \"" +
                              earlier.Input + "\" in this run");
    }

    TNullProgressSink quiet;
    std::optional<TTerminalProgress> progress;
    if (showProgress)
        progress.emplace(stderr, ShowControlBytes(input));
    IProgressSink& sink = progress ? static_cast<IProgressSink&>(*progress) : quiet;
    bool opened = false;
    TConvertFileOptions options;
    options.FailedLine = &failedLine;
    options.OutputOpened = &opened;
    try {
        ConvertFile(input, output, command.Settings, sink, options);
    } catch (...) {
        if (opened)
            written.push_back({IdentityOfPath(output), input});
        throw;
    }
    written.push_back({IdentityOfPath(output), input});
}

// Findings printed per input; the rest are only counted.
constexpr std::int64_t kFindingsShown = 100;

// Checks one input and prints what it finds; returns the number of findings.
std::int64_t Check(const std::string& input, const TCommandLine& command, bool showProgress)
{
    TNullProgressSink quiet;
    std::optional<TTerminalProgress> progress;
    if (showProgress)
        progress.emplace(stderr, ShowControlBytes(input));
    std::int64_t shown = 0;
    const TCheckSummary summary = CheckFile(
        input, command.Settings, progress ? static_cast<IProgressSink&>(*progress) : quiet,
        [&](const TCheckFinding& finding) {
            if (shown == kFindingsShown)
                return;
            ++shown;
            if (progress)
                progress->ClearLine();
            ReportFailure(input, finding.Line, finding.Message());
        });
    if (summary.Findings > shown) {
        WriteMessage(stderr, std::string(kProgram) + ": " + input + ": \u2026 and " +
                                 std::to_string(summary.Findings - shown) + " more");
    }
    const auto plural = [](std::int64_t n, const char* word) {
        return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
    };
    WriteMessage(stdout, input + ": " + plural(summary.DataLines, "data line") + ", " +
                             plural(summary.Findings, "finding"));
    return summary.Findings;
}

int Run(const TCommandLine& command)
{
    const bool showProgress = !command.Quiet && TTerminalProgress::IsTerminal(stderr);
    std::vector<TWrittenOutput> written;
    int status = 0;
    for (const std::string& input : command.Inputs) {
        std::int64_t failedLine = 0;
        try {
            if (command.Action == TCommandLine::TAction::Preview)
                Preview(input, command.Settings, command.Inputs.size() > 1, failedLine);
            else if (command.Action == TCommandLine::TAction::Check)
                status = Check(input, command, showProgress) > 0 ? 1 : status;
            else
                Convert(input, command, showProgress, written, failedLine);
        } catch (const EConvertError& e) {
            ReportFailure(input, failedLine, e.Message());
            status = 1;
        } catch (const Exception& e) {
            ReportFailure(input, 0, e.Message());
            status = 1;
        } catch (const std::bad_alloc&) {
            ReportFailure(input, 0, EOutOfMemory().Message());
            status = 1;
        }
    }
    return FinishStandardOutput(status);
}

} // namespace

// Windows enters through wmain (WideMain.cpp), which hands the arguments on
// as UTF-8.
int ConvertMain(int argc, char** argv)
{
    std::setlocale(LC_ALL, "");
    LoadLocaleTimeSettings();

    TCommandLine command;
    try {
        command = TCommandLine::Parse(argc, argv, ArgumentEncodingOfProcess());
    } catch (const EUsageError& e) {
        WriteMessage(stderr, std::string(kProgram) + ": " + e.what());
        WriteMessage(stderr, std::string("Try '") + kProgram + " --help' for more information.");
        return 2;
    }
    switch (command.Action) {
    case TCommandLine::TAction::Help:
        std::fputs(TCommandLine::HelpText().c_str(), stdout);
        return FinishStandardOutput(0);
    case TCommandLine::TAction::Version:
        std::puts("morvane-convert " MORVANE_VERSION);
        return FinishStandardOutput(0);
    default:
        return Run(command);
    }
}

#ifndef _WIN32
int main(int argc, char** argv)
{
    return ConvertMain(argc, argv);
}
#endif
