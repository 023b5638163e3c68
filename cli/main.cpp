// morvane-convert: converts PE files into CSV files without the window.

#include <clocale>
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <string>

#include "ConvertFile.h"
#include "EConvertError.h"
#include "EInOutError.h"
#include "EOutOfMemory.h"
#include "Exception.h"
#include "OutputName.h"
#include "RelativeTime.h"
#include "TCommandLine.h"
#include "TLineMapper.h"
#include "TLineReader.h"
#include "TLocaleTimeSettings.h"
#include "TTerminalProgress.h"
#include "TemplateLine.h"

using namespace morvane;

namespace {

const char* const kProgram = "morvane-convert";

// The proposed name lands beside the input, not in the current folder.
std::string DefaultOutput(const std::string& input)
{
#ifdef _WIN32
    const std::size_t slash = input.find_last_of("\\/:");
#else
    const std::size_t slash = input.find_last_of('/');
#endif
    const std::string folder = slash == std::string::npos ? std::string() : input.substr(0, slash + 1);
    return folder + ProposedOutputName(input);
}

void ReportFailure(const std::string& input, std::int64_t line, const std::string& message)
{
    std::string text = std::string(kProgram) + ": " + input + ": ";
    if (line > 0)
        text += "line " + std::to_string(line) + ": ";
    text += message + "\n";
    std::fputs(text.c_str(), stderr);
}

// The header and the first data line as the conversion would write them.
void Preview(const std::string& input, const TConversionSettings& settings, bool named)
{
    TLineReader probe;
    if (!probe.Open(input))
        throw EInOutError("Cannot open the PE file \"" + input + "\": " + TOsFile::ErrorText(probe.OpenError()));
    probe.Close();

    const std::string header = ReadTemplateLine(input, true);
    const std::string data = ReadTemplateLine(input, false);
    const TLineMapper headerMapper(settings.SeparatorSet, settings.HeaderReplacements,
                                   settings.ReplacementBeyondList);
    const TLineMapper dataMapper(settings.SeparatorSet, settings.DataReplacements,
                                 settings.ReplacementBeyondList);
    std::string out = named ? input + ":\n" : "";
    if (settings.RelativeTime) {
        TRelativeTimeState state;
        out += RelativeTimeHeaderCell(settings.RelativeTimeSeparator) + headerMapper.Map(header) + "\n";
        out += RelativeTimeCell(data, state, settings.RelativeTimeSeparator);
    } else {
        out += headerMapper.Map(header) + "\n";
    }
    out += dataMapper.Map(data) + "\n";
    std::fwrite(out.data(), 1, out.size(), stdout);
}

int Run(const TCommandLine& command)
{
    const bool showProgress = !command.Quiet && TTerminalProgress::IsTerminal(stderr);
    int status = 0;
    for (const std::string& input : command.Inputs) {
        std::int64_t failedLine = 0;
        try {
            if (command.Action == TCommandLine::TAction::Preview) {
                // The data template is line 2.
                failedLine = 2;
                Preview(input, command.Settings, command.Inputs.size() > 1);
                continue;
            }
            const std::string output = command.Output.empty() ? DefaultOutput(input) : command.Output;
            TConvertFileOptions options;
            options.FailedLine = &failedLine;
            if (showProgress) {
                TTerminalProgress progress(stderr, input);
                ConvertFile(input, output, command.Settings, progress, options);
            } else {
                TNullProgressSink quiet;
                ConvertFile(input, output, command.Settings, quiet, options);
            }
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
    std::fflush(stdout);
    if (std::ferror(stdout)) {
        std::fprintf(stderr, "%s: cannot write to the standard output\n", kProgram);
        return 1;
    }
    return status;
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
        command = TCommandLine::Parse(argc, argv);
    } catch (const EUsageError& e) {
        std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", kProgram, e.what(), kProgram);
        return 2;
    }
    switch (command.Action) {
    case TCommandLine::TAction::Help:
        std::fputs(TCommandLine::HelpText().c_str(), stdout);
        return 0;
    case TCommandLine::TAction::Version:
        std::puts("morvane-convert 1.01");
        return 0;
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
