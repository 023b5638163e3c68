#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "Exception.h"
#include "TLineReader.h"
#include "TPlotBuckets.h"

namespace morvane {

// A PE file that has nothing to plot: empty, no data line, or a first data
// line without a time of day.
class EPlotInput : public Exception {
public:
    using Exception::Exception;
};

// What the top of a PE file says about its fields: the header's names (the
// header cut by the separator set, as many as the header or the first data
// line has, the missing ones empty) and whether the first data line holds a
// number there.
struct TPlotHead {
    // The header line, as far as it is read.
    std::string Header;
    std::vector<std::string> Names;
    std::vector<bool> Numeric;
};

struct TPlotScanOptions {
    std::string SeparatorSet = ",";
    // As the relative time column counts.
    bool AcrossMidnight = false;
    // The fields plotted, by their place on the line (0 is the one with the
    // clock), each once.
    std::vector<std::size_t> Fields;
    std::size_t Buckets = 4096;
    // Tests make it tiny to show nothing depends on it.
    std::size_t ReadSize = TLineReader::kDefaultReadSize;
    // From this size on, the second half of the file is read on a second
    // thread where the processor has two; 0 never. Tests make it small.
    std::int64_t SecondThreadFrom = 16 << 20;
    // Bytes read between two tellings of the progress (a millisecond's
    // worth); 0 tells it after every batch of lines. Tests make it 0.
    std::int64_t ProgressStep = 1 << 20;
};

// Told the bytes read so far and the input's size (0 for a FIFO); answers
// false to stop the reading, which then raises nothing and gives what it has.
using TPlotProgress = std::function<bool(std::int64_t done, std::int64_t size)>;

// Reads a PE file's data lines into plot buckets, streaming: each data
// line's time (milliseconds from the first data line, as the relative time
// column counts them, parts of a second kept) places it, and each plotted
// field that reads as a number adds to its bucket; a field that does not
// is a gap. A line whose clock is no time of day stays at the time of the
// line before; it and a line whose separator count differs from the first
// data line's are marks, as the check reports them.
class TPlotScan {
public:
    // Raises EInOutError when the file cannot be opened, EPlotInput when
    // it has no data line or its first data line has no time of day.
    static TPlotHead ReadHead(const std::string& path, const std::string& separatorSet);

    // The whole file, in growing buckets. Raises as ReadHead, and
    // EInOutError when a read fails.
    static TPlotBuckets ReadWhole(const std::string& path, const TPlotScanOptions& options,
                                  const TPlotProgress& progress = {});

    // The lines of [from, to) of the run's time again, in fixed buckets
    // over that span, reading only the part of the file `whole` (a
    // ReadWhole of the same file and options) says holds them.
    static TPlotBuckets ReadSpan(const std::string& path, const TPlotScanOptions& options,
                                 const TPlotBuckets& whole, std::int64_t from, std::int64_t to,
                                 const TPlotProgress& progress = {});
};

} // namespace morvane
