// Micro-benchmarks of the conversion spine: the map, the reader, and whole
// runs with different progress sinks (to show what the per-line progress
// calls cost).

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

#include "ConvertFile.h"
#include "SeparatorMap.h"
#include "TLineMapper.h"
#include "TLineReader.h"
#include "TTerminalProgress.h"

using namespace morvane;

namespace {

const std::string kLine = "12:34:56,21.37,20.97,1013.4,12.48,45.6,31,5,862,1203,25.00,-3.63,1";

// One 64 MiB PE file shared by the benchmarks, removed at exit. The name
// lives in plain storage so the exit handler never meets a destroyed string.
char gSamplePath[64] = "";

void RemoveSample()
{
    if (gSamplePath[0] != '\0')
        std::remove(gSamplePath);
}

const char* SampleFile()
{
    if (gSamplePath[0] == '\0') {
        std::strcpy(gSamplePath, "/tmp/morvane-bench-XXXXXX");
        const int fd = ::mkstemp(gSamplePath);
        if (fd < 0)
            std::abort();
        ::close(fd);
        std::atexit(RemoveSample);
        std::FILE* f = std::fopen(gSamplePath, "wb");
        std::fputs("Time,A,B,C,D,E,F,G,H,I,J,K,L\r\n", f);
        for (std::size_t written = 0; written < (64u << 20); written += kLine.size() + 2)
            std::fprintf(f, "%s\r\n", kLine.c_str());
        std::fclose(f);
    }
    return gSamplePath;
}

std::int64_t FileBytes()
{
    TLineReader reader;
    if (!reader.Open(SampleFile()))
        return 0;
    return SizeInBlocks(reader) * TLineReader::kChunk;
}

void BM_MapLinePerOccurrence(benchmark::State& state)
{
    const std::vector<std::string> list(12, ";");
    const TLineMapper mapper(",", list);
    std::string out(kLine.size(), '\0');
    for (auto _ : state) {
        mapper.MapInto(kLine.data(), kLine.size(), out.data());
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(kLine.size()));
}
BENCHMARK(BM_MapLinePerOccurrence);

void BM_MapLineEveryOccurrence(benchmark::State& state)
{
    const TLineMapper mapper(",", {}, ";");
    std::string out(kLine.size(), '\0');
    for (auto _ : state) {
        mapper.MapInto(kLine.data(), kLine.size(), out.data());
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(kLine.size()));
}
BENCHMARK(BM_MapLineEveryOccurrence);

void BM_MapLineFunction(benchmark::State& state)
{
    const std::vector<std::string> list(12, ";");
    for (auto _ : state)
        benchmark::DoNotOptimize(MapLine(kLine, ",", list));
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(kLine.size()));
}
BENCHMARK(BM_MapLineFunction);

void BM_ReadLines(benchmark::State& state)
{
    std::string scratch;
    for (auto _ : state) {
        TLineReader reader;
        if (!reader.Open(SampleFile())) {
            state.SkipWithError("the sample file cannot be opened");
            break;
        }
        bool ended = false;
        while (!reader.AtEnd())
            benchmark::DoNotOptimize(reader.ReadLinePiece(scratch, ended).size());
    }
    state.SetBytesProcessed(state.iterations() * FileBytes());
}
BENCHMARK(BM_ReadLines)->Unit(benchmark::kMillisecond);

class TCountingSink : public IProgressSink {
public:
    void SetText(const std::string&) override {}
    void Show() override {}
    void SetMaximum(std::int64_t) override {}
    void SetPercent(int) override {}
    void SetValue(std::int64_t value) override { last_ = value; }
    std::int64_t last_ = 0;
};

template <typename MakeSink>
void RunConvert(benchmark::State& state, MakeSink makeSink, bool relativeTime)
{
    TConversionSettings settings;
    settings.ReplacementBeyondList = ";";
    settings.RelativeTime = relativeTime;
    const std::string output = std::string(SampleFile()) + ".csv";
    for (auto _ : state) {
        auto sink = makeSink();
        ConvertFile(SampleFile(), output, settings, *sink);
    }
    std::remove(output.c_str());
    state.SetBytesProcessed(state.iterations() * FileBytes());
}

void BM_ConvertNullSink(benchmark::State& state)
{
    RunConvert(state, [] { return std::make_unique<TNullProgressSink>(); }, false);
}
BENCHMARK(BM_ConvertNullSink)->Unit(benchmark::kMillisecond);

void BM_ConvertCountingSink(benchmark::State& state)
{
    RunConvert(state, [] { return std::make_unique<TCountingSink>(); }, false);
}
BENCHMARK(BM_ConvertCountingSink)->Unit(benchmark::kMillisecond);

void BM_ConvertTerminalSink(benchmark::State& state)
{
    static std::FILE* devNull = std::fopen("/dev/null", "w");
    RunConvert(state, [] { return std::make_unique<TTerminalProgress>(devNull, "bench"); }, false);
}
BENCHMARK(BM_ConvertTerminalSink)->Unit(benchmark::kMillisecond);

// The per-line progress calls alone, through the interface as a run makes
// them: one SetValue per line of the sample file. Set against a whole run,
// this is what the progress reporting costs it.
void BM_ProgressCallsAlone(benchmark::State& state)
{
    static std::FILE* devNull = std::fopen("/dev/null", "w");
    TTerminalProgress progress(devNull, "bench");
    IProgressSink* sink = &progress;
    benchmark::DoNotOptimize(sink); // no devirtualising: a run cannot either
    const std::int64_t blocks = FileBytes() / 128;
    const auto lineBytes = static_cast<std::int64_t>(kLine.size() + 2);
    const std::int64_t lines = blocks * 128 / lineBytes;
    sink->Show();
    for (auto _ : state) {
        sink->SetMaximum(blocks);
        for (std::int64_t line = 1; line <= lines; ++line)
            sink->SetValue(line * lineBytes / 128);
    }
    state.SetBytesProcessed(state.iterations() * FileBytes());
}
BENCHMARK(BM_ProgressCallsAlone)->Unit(benchmark::kMillisecond);

void BM_ConvertRelativeTime(benchmark::State& state)
{
    RunConvert(state, [] { return std::make_unique<TNullProgressSink>(); }, true);
}
BENCHMARK(BM_ConvertRelativeTime)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
