#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "IProgressSink.h"
#include "TConversionSettings.h"
#include "TLineReader.h"

namespace morvane {

// A data line that would not convert like the first data line does.
struct TCheckFinding {
    enum class TKind {
        SeparatorCount, // a different number of separator occurrences
        ClockText,      // no time of day where the relative time column wants one
        EndMark,        // a Ctrl-Z ended the input with more than padding behind it
        CutLine,        // a Ctrl-Z cut the line, and the rest of it is not converted
    };

    TKind Kind = TKind::SeparatorCount;
    // Counted from 1 over the lines as the conversion reads them, the header
    // being line 1, so that it names the line a conversion would fail at.
    std::int64_t Line = 0;
    std::size_t Separators = 0;
    std::size_t FirstLineSeparators = 0;
    // The clock text that is no time of day; valid only during the call
    // that reports the finding.
    std::string_view ClockText;
    TEndMark Mark;

    // What the user is told, without the line number.
    std::string Message() const;
};

struct TCheckSummary {
    std::int64_t DataLines = 0;
    std::int64_t Findings = 0;
    // Whether a second thread checked the input's second half.
    bool Halves = false;
};

struct TCheckFileOptions {
    // Tests make it tiny to show the findings do not depend on it.
    std::size_t ReadSize = TLineReader::kDefaultReadSize;
    // As for ConvertFile.
    bool WaitForWriter = false;
    // An input of at least this many bytes is checked in two halves at
    // once where the processor has two cores; 0 never. Tests make it tiny.
    std::int64_t SecondThreadFrom = 16 << 20;
    // For tests: run on the second half's thread before it reads a line;
    // what it raises ends that half as a failed read there would.
    std::function<void()> BeforeSecondHalf;
};

// What the user is told of a Ctrl-Z that ended the input early: by the
// check as a finding, by the converter as a warning.
std::string EndMarkMessage(const TEndMark& mark);

using TCheckFindingHandler = std::function<void(const TCheckFinding&)>;

// Reads the whole PE file as ConvertFile would with these settings and
// writes nothing. Every data line whose separator occurrences (by the
// settings' separator set) differ in number from the first data line's is a
// finding; with the relative time column on, so is every data line whose
// clock text is no time of day, and the check goes on past it. So is every
// line, the header too, whose Ctrl-Z cuts more than its line break off.
// Each finding goes to onFinding as it is met, in file order; a line may
// give several, the cut first, then the clock. A Ctrl-Z that ends the input
// with more than padding behind it is a finding too, the last. Progress goes to the sink as in a
// conversion, or, for an input checked in halves, as both halves advance.
//
// Raises EInOutError, before the sink is touched, when the input cannot be
// opened. A failed read (EInOutError) or exhausted memory (EOutOfMemory)
// ends the check after the sink shows "finished" at 100 percent.
TCheckSummary CheckFile(const std::string& inputPath, const TConversionSettings& settings, IProgressSink& sink,
                        const TCheckFindingHandler& onFinding, const TCheckFileOptions& options = {});

} // namespace morvane
