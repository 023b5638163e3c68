// morvane-convert: converts PE files into CSV files or workbooks without the
// window.

#include <clocale>
#include <csignal>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "CheckFile.h"
#include "ConvertFile.h"
#include "ConvertToWorkbook.h"
#include "EConvertError.h"
#include "EInOutError.h"
#include "EOutOfMemory.h"
#include "ESettingsFileError.h"
#include "Exception.h"
#include "MessageOutput.h"
#include "OutputName.h"
#include "RelativeTime.h"
#include "SeparatorMap.h"
#include "TBatchSummary.h"
#include "TCommandLine.h"
#include "TLineMapper.h"
#include "TLineReader.h"
#include "TLocaleTimeSettings.h"
#include "TOsFile.h"
#include "TOutputReplacement.h"
#include "TSettingsFile.h"
#include "TStandardOutputSink.h"
#include "TTerminalProgress.h"
#include "TTypedCell.h"
#include "Version.h"

#ifdef _WIN32
#include <windows.h>
#endif

using namespace morvane;

namespace {

// An interrupted run must not leave its unfinished new file beside the
// output it was to replace; the earlier output is still in place.
#ifdef _WIN32
BOOL WINAPI OnConsoleEnd(DWORD /*event*/)
{
    TOutputReplacement::RemoveTemporaries();
    // The system's own handling ends the program.
    return FALSE;
}

void CatchEndingSignals()
{
    SetConsoleCtrlHandler(OnConsoleEnd, TRUE);
}
#else
extern "C" void OnEndingSignal(int signal)
{
    TOutputReplacement::RemoveTemporaries();
    // Ended by the signal as before, so that the caller sees why.
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

void CatchEndingSignals()
{
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction action {};
        action.sa_handler = OnEndingSignal;
        sigemptyset(&action.sa_mask);
        // A signal ignored by whoever started the converter stays ignored.
        struct sigaction previous {};
        if (sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler != SIG_IGN)
            sigaction(signal, &action, nullptr);
    }
}
#endif

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

// The header and the first data line as the conversion maps them, read the
// way the conversion reads them, so that both meet the same errors.
struct TMappedLines {
    std::string Header; // with the relative time cell when asked for
    bool HasData = false;
    std::string DataCell; // the relative time cell, or empty
    std::string Data;
};

TMappedLines ReadMappedLines(const std::string& input, const TConversionSettings& settings, std::int64_t& failedLine)
{
    TLineReader reader(TLineReader::TReadFailure::Raise);
    if (const TOpened opened = reader.Open(input, {.WaitForWriter = true}); !opened)
        throw EInOutError::CannotOpenPeFile(input, opened.Error);

    const TLineMapper headerMapper(settings.SeparatorSet, settings.HeaderReplacements,
                                   settings.ReplacementBeyondList);
    const TLineMapper dataMapper(settings.SeparatorSet, settings.DataReplacements,
                                 settings.ReplacementBeyondList);
    TMappedLines lines;
    std::string line;
    ReadLine(reader, line);
    if (settings.RelativeTime)
        lines.Header = RelativeTimeHeaderCell(settings.RelativeTimeSeparator);
    lines.Header += headerMapper.Map(line);
    if (!reader.AtEnd()) {
        ReadLine(reader, line);
        if (settings.RelativeTime) {
            TRelativeTimeState state;
            failedLine = 2;
            lines.DataCell = RelativeTimeCell(line, state, settings.RelativeTimeSeparator);
            failedLine = 0;
        }
        lines.HasData = true;
        lines.Data = dataMapper.Map(line);
    }
    return lines;
}

// The two lines as they would be written (for a workbook, their typed
// cells); a line the file does not have is not printed.
void Preview(const std::string& input, const TCommandLine& command, bool named, std::int64_t& failedLine)
{
    const TMappedLines lines = ReadMappedLines(input, command.Settings, failedLine);
    const bool workbook = command.Format == TCommandLine::TFormat::Xlsx;
    const auto shown = [&](const std::string& line, bool header) {
        return (workbook ? TTypedCell::DescribeLine(line, command.CellSeparator, header) : line) + "\n";
    };
    std::string out = named ? input + ":\n" : "";
    out += shown(lines.Header, true);
    if (lines.HasData)
        out += shown(lines.DataCell + lines.Data, false);
    std::fwrite(out.data(), 1, out.size(), stdout);
}

// A workbook whose first data line, mapped, holds no cell separator would
// have one cell per line: most likely the separators were not mapped to it.
// Only a regular file is read ahead, as a pipe's lines would be lost.
void WarnOfOneCellLines(const std::string& input, const TCommandLine& command)
{
    std::error_code error;
    if (!std::filesystem::is_regular_file(std::filesystem::path(std::u8string(input.begin(), input.end())), error))
        return;
    std::int64_t ignored = 0;
    TMappedLines lines;
    try {
        lines = ReadMappedLines(input, command.Settings, ignored);
    } catch (const Exception&) {
        // The conversion meets the same error and reports it.
        return;
    }
    if (!lines.HasData || lines.Data.find(command.CellSeparator) != std::string::npos)
        return;
    const std::string separator(1, command.CellSeparator);
    WriteMessage(stderr, std::string(kProgram) + ": " + input + ": warning: the first data line holds no \"" +
                             separator + "\" after the separators are mapped, so every line becomes one cell; " +
                             "map them to it with --to \"" + separator + "\" or name another with --cell-separator");
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
    const bool workbook = command.Format == TCommandLine::TFormat::Xlsx;
    std::string output = command.Output;
    const bool toStandardOutput = output == TCommandLine::kStandardOutput;
    if (output.empty())
        output = workbook ? WorkbookPathFor(ProposedOutputPathBeside(input)) : ProposedOutputPathBeside(input);
    if (toStandardOutput && workbook)
        throw Exception("a workbook cannot be written to the standard output; name a file with --output");
    const TFileIdentity existing = toStandardOutput ? TFileIdentity{} : IdentityOfPath(output);
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
    TEndMark mark;
    TCutLines cut;
    TConvertFileOptions options;
    options.FailedLine = &failedLine;
    options.OutputOpened = &opened;
    options.EndMark = &mark;
    options.CutLines = &cut;
    options.WaitForWriter = true;
    if (workbook)
        WarnOfOneCellLines(input, command);
    try {
        if (workbook) {
            TWorkbookOptions cells;
            cells.CellSeparator = command.CellSeparator;
            ConvertToWorkbook(input, output, command.Settings, cells, sink, options);
        } else if (toStandardOutput) {
            TStandardOutputSink standardOutput(stdout);
            ConvertFile(input, standardOutput, command.Settings, sink, options);
        } else {
            ConvertFile(input, output, command.Settings, sink, options);
        }
    } catch (...) {
        if (opened)
            written.push_back({IdentityOfPath(output), input});
        throw;
    }
    written.push_back({IdentityOfPath(output), input});
    // The rules that end a line or the input at a Ctrl-Z stay, since stored
    // files rely on them; but data behind one is not dropped without a word.
    if (cut.Count > 0)
        WriteMessage(stderr, std::string(kProgram) + ": " + input + ": warning: " + CutLinesMessage(cut));
    if (mark.NonBlankAfter)
        WriteMessage(stderr, std::string(kProgram) + ": " + input + ": warning: " + EndMarkMessage(mark));
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
    TCheckFileOptions options;
    options.WaitForWriter = true;
    const TCheckSummary summary = CheckFile(
        input, command.Settings, progress ? static_cast<IProgressSink&>(*progress) : quiet,
        [&](const TCheckFinding& finding) {
            if (shown == kFindingsShown)
                return;
            ++shown;
            if (progress)
                progress->ClearLine();
            ReportFailure(input, finding.Line, finding.Message());
        },
        options);
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

std::string ReadHeader(const std::string& input)
{
    TLineReader reader(TLineReader::TReadFailure::Raise);
    if (const TOpened opened = reader.Open(input); !opened)
        throw EInOutError::CannotOpenPeFile(input, opened.Error);
    std::string line;
    ReadLine(reader, line);
    return line;
}

// A header the settings were not made for: another separator count is
// refused, as its boxes would land on other fields; the same count with
// other text is only noted.
void CheckHeader(const std::string& input, const std::string& header, const TCommandLine& command,
                 bool note = true)
{
    if (!command.HeaderSeparators || command.AnyHeader)
        return;
    const std::size_t count = CountSeparators(header, command.Settings.SeparatorSet);
    const std::size_t expected = *command.HeaderSeparators;
    if (count != expected) {
        throw Exception("the header has " + std::to_string(count) + " separators, but " + command.SettingsFile +
                        " was made for a header with " + std::to_string(expected) +
                        "; nothing converted (--any-header converts it anyway)");
    }
    if (note && !command.Header.empty() && header != command.Header) {
        WriteMessage(stderr, std::string(kProgram) + ": " + input + ": note: the header differs from the one " +
                                 command.SettingsFile + " was made for (both have " + std::to_string(count) +
                                 " separators)");
    }
}

// Writes --save-settings; with one input its header goes in. False when
// it could not, the reason reported.
bool SaveSettings(const TCommandLine& command)
{
    TSavedSettings saved = command.SettingsToSave();
    const std::string* input = command.Inputs.size() == 1 ? &command.Inputs.front() : nullptr;
    try {
        if (input) {
            const std::string header = ReadHeader(*input);
            // The conversion that follows notes a different text.
            CheckHeader(*input, header, command, false);
            TSettingsFile::SetHeader(saved, header);
        }
    } catch (const Exception& e) {
        ReportFailure(*input, 0, e.Message());
        return false;
    }
    try {
        TSettingsFile::Save(command.SaveSettingsFile, saved);
    } catch (const Exception& e) {
        WriteMessage(stderr, std::string(kProgram) + ": " + e.Message());
        return false;
    }
    return true;
}

int Run(const TCommandLine& command)
{
    if (!command.SaveSettingsFile.empty() && !SaveSettings(command))
        return FinishStandardOutput(1);
    const bool showProgress = !command.Quiet && TTerminalProgress::IsTerminal(stderr);
    std::vector<TWrittenOutput> written;
    int status = 0;
    // A batch ends with what became of each file, as the window tells it;
    // the failures scrolled past among the progress lines.
    const bool summarize =
        command.Inputs.size() > 1 && command.Action == TCommandLine::TAction::Convert && !command.Quiet;
    TBatchSummary summary(command.Inputs.size());
    const auto failed = [&](const std::string& input, std::int64_t line, const std::string& message) {
        ReportFailure(input, line, message);
        summary.Failed(input, (line > 0 ? "line " + std::to_string(line) + ": " : std::string()) + message);
        status = 1;
    };
    for (const std::string& input : command.Inputs) {
        std::int64_t failedLine = 0;
        try {
            if (command.HeaderSeparators && !command.AnyHeader)
                CheckHeader(input, ReadHeader(input), command);
            if (command.Action == TCommandLine::TAction::Preview)
                Preview(input, command, command.Inputs.size() > 1, failedLine);
            else if (command.Action == TCommandLine::TAction::Check)
                status = Check(input, command, showProgress) > 0 ? 1 : status;
            else {
                Convert(input, command, showProgress, written, failedLine);
                summary.Converted();
            }
        } catch (const EConvertError& e) {
            failed(input, failedLine, e.Message());
        } catch (const Exception& e) {
            failed(input, 0, e.Message());
        } catch (const std::bad_alloc&) {
            failed(input, 0, EOutOfMemory().Message());
        }
    }
    if (summarize) {
        // Line by line: a message shows a line break inside it as a control byte.
        const std::string text = summary.Text();
        std::string_view rest(text);
        for (bool first = true; !rest.empty(); first = false) {
            const std::size_t end = rest.find('\n');
            const std::string line(rest.substr(0, end));
            WriteMessage(stderr, first ? std::string(kProgram) + ": " + line : line);
            rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
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
        break;
    }
    if (!command.SettingsFile.empty()) {
        try {
            command.TakeSettingsFile(TSettingsFile::Load(command.SettingsFile));
        } catch (const ESettingsFileError& e) {
            WriteMessage(stderr, std::string(kProgram) + ": " + e.Message());
            return 2;
        } catch (const EUsageError& e) {
            WriteMessage(stderr, std::string(kProgram) + ": " + e.what());
            return 2;
        }
    }
    CatchEndingSignals();
    return Run(command);
}

#ifndef _WIN32
int main(int argc, char** argv)
{
    return ConvertMain(argc, argv);
}
#endif
