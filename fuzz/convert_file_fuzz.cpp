// Runs whole conversions of arbitrary bytes and holds each against the naive
// run: the same output bytes, the same progress calls, the same error on the
// same line. A check of the same bytes must find what the naive check finds.
// The first byte picks the settings and the buffer sizes, so the shortcuts
// for ordinary lines meet every buffer edge.

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "CheckFile.h"
#include "ConvertFile.h"
#include "EConvertError.h"
#include "ScratchFile.h"
#include "engine/ConversionModel.h"
#include "engine/RecordingSink.h"

using morvane::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    static const std::string input = morvane::fuzz::MakeScratchFile("convert-fuzz-in");
    static const std::string output = morvane::fuzz::MakeScratchFile("convert-fuzz-out");
    static const std::vector<morvane::TConversionSettings> variants = morvane::test::VariedSettings();
    static const std::size_t readSizes[] = {1, 3, 128, 129, 4096, morvane::TLineReader::kDefaultReadSize};
    static const std::size_t writeSizes[] = {2, 64, 130, morvane::TLineWriter::kDefaultBufferSize};

    const std::size_t count = variants.size();
    const morvane::TConversionSettings& settings = variants[data[0] % count];
    morvane::TConvertFileOptions options;
    options.ReadSize = readSizes[(data[0] / count) % 6];
    options.WriteBufferSize = writeSizes[(data[0] / (count * 6)) % 4];
    std::int64_t failedLine = -1;
    options.FailedLine = &failedLine;
    morvane::TCutLines cut{-1, -1};
    options.CutLines = &cut;
    const std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    morvane::fuzz::WriteScratchFile(input, bytes);

    const morvane::test::Expected expected = morvane::test::NaiveRun(bytes, settings);
    morvane::test::TRecordingSink sink;
    std::string error;
    const std::string earlier = "earlier output";
    morvane::fuzz::WriteScratchFile(output, earlier);
    try {
        morvane::ConvertFile(input, output, settings, sink, options);
    } catch (const morvane::EConvertError& e) {
        error = e.Message();
    }
    std::ifstream in(output, std::ios::binary);
    const std::string written((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());

    Check(written == morvane::test::OutputAfter(expected, earlier));
    Check(sink.calls == expected.calls);
    Check(error == expected.error);
    Check(failedLine == expected.failedLine);
    // Told only of a run that succeeded.
    Check(cut.Count == (error.empty() ? expected.cutLines : 0));
    Check(cut.FirstLine == (error.empty() ? expected.firstCutLine : 0));

    const morvane::test::ExpectedCheck expectedCheck = morvane::test::NaiveCheck(bytes, settings);
    morvane::TCheckFileOptions checkOptions;
    checkOptions.ReadSize = options.ReadSize;
    // Every other input is checked in two halves at once; its progress is
    // then its own, but not its findings.
    const bool halves = bytes.size() % 2 == 1;
    checkOptions.SecondThreadFrom = halves ? 1 : 0;
    morvane::test::TRecordingSink checkSink;
    std::vector<std::string> findings;
    const morvane::TCheckSummary summary = morvane::CheckFile(
        input, settings, checkSink,
        [&](const morvane::TCheckFinding& f) {
            findings.push_back("line " + std::to_string(f.Line) + ": " + f.Message());
        },
        checkOptions);
    Check(findings == expectedCheck.findings);
    Check(summary.DataLines == expectedCheck.dataLines);
    static const bool twoProcessors = std::thread::hardware_concurrency() > 1;
    Check(summary.Halves == (halves && twoProcessors && morvane::test::NaiveSplits(bytes)));
    Check(halves ? !checkSink.calls.empty() && checkSink.calls.back() == expectedCheck.calls.back()
                 : checkSink.calls == expectedCheck.calls);
    return 0;
}
