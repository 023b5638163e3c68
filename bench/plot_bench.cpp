// Times the look window's reading of a PE file without the window: the whole
// file into plot buckets, then one minute of it read again from its buckets'
// offsets, as a zoom does. Prints the seconds of each and the peak memory.
// usage: plot_bench [-m] [-1] [-w] INPUT [FIELD...]   (-m counts on past
// midnight; -1 reads on one thread; -w reads the whole file only, for
// profiles of it; fields default to 1 2 3)

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "Exception.h"
#include "TPlotScan.h"

#ifndef _WIN32
#include <sys/resource.h>
#endif

int main(int argc, char** argv)
{
    morvane::TPlotScanOptions options;
    bool zoom = true;
    for (; argc > 1 && argv[1][0] == '-'; --argc, ++argv) {
        if (std::string(argv[1]) == "-m")
            options.AcrossMidnight = true;
        else if (std::string(argv[1]) == "-1")
            options.SecondThreadFrom = 0;
        else if (std::string(argv[1]) == "-w")
            zoom = false;
    }
    if (argc < 2) {
        std::fprintf(stderr, "usage: plot_bench [-m] [-1] [-w] INPUT [FIELD...]\n");
        return 2;
    }
    for (int i = 2; i < argc; ++i)
        options.Fields.push_back(std::strtoul(argv[i], nullptr, 10));
    if (options.Fields.empty())
        options.Fields = {1, 2, 3};
    using Clock = std::chrono::steady_clock;
    try {
        const auto start = Clock::now();
        const morvane::TPlotBuckets whole = morvane::TPlotScan::ReadWhole(argv[1], options);
        const auto read = Clock::now();
        const std::int64_t middle = whole.LastTime() / 2;
        const morvane::TPlotBuckets span =
            zoom ? morvane::TPlotScan::ReadSpan(argv[1], options, whole, middle, middle + 60'000)
                 : morvane::TPlotBuckets(options.Fields.size(), 1, middle, middle + 60'000);
        const auto zoomed = Clock::now();
        std::int64_t points = 0;
        for (std::size_t b = 0; b < span.Count(); ++b)
            points += span.Value(b, 0).Count;
        std::printf("whole %.3f s (%lld ms of run time%s), minute %.4f s (%lld points)\n",
                    std::chrono::duration<double>(read - start).count(), static_cast<long long>(whole.LastTime()),
                    whole.ReadInHalves ? ", in halves" : "",
                    std::chrono::duration<double>(zoomed - read).count(), static_cast<long long>(points));
    } catch (const morvane::Exception& error) {
        std::fprintf(stderr, "plot_bench: %s\n", error.what());
        return 1;
    }
#ifndef _WIN32
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak memory %ld KiB\n", usage.ru_maxrss);
#endif
    return 0;
}
