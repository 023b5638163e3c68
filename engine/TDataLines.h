#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "IProgressSink.h"
#include "TConversionSettings.h"
#include "TCountDigits.h"
#include "TLineMapper.h"
#include "TLineReader.h"
#include "TLineWriter.h"
#include "TRelativeTimeState.h"

namespace morvane {

template <typename V>
class TBlockScanner;

// A line leaves a run in one of two ways. Ordinary data lines are taken
// straight out of the read buffer by the writer (TDataLines::WriteLines,
// one line at a time by CopyLine); the header line and every line the rules
// treat specially (a lone CR, a Ctrl-Z, a line cut at the end of the input,
// a line longer than the room reserved for many, a clock text that is no
// time of day) take the general WriteMappedLine: the line as ReadLinePiece
// gives it, a piece at a time where it is long, mapped into the writer
// behind the cell of the general relative time code, which raises for a
// bad clock.
//
// The writer is built once for each combination of a cell in front or none
// and a map that maps every occurrence alike or one that counts them, so
// that its line loop asks neither. Where the map maps alike with few bytes
// that change, each line is mapped into the write buffer in the same pass
// that searches it for its end; with any other map, that pass finds the end
// and the line is mapped behind it.
//
// Whichever way, a line is consumed from the reader, and the sink told the
// new position, only once the line is in the writer, so that an error
// leaves the output holding exactly the lines before it. The read buffer is
// never changed, and nothing is written to the file straight from it: the
// writer writes its buffers out on a thread of its own.

// The line at hand, mapped, into the writer: `piece` is its first piece
// from reader.ReadLinePiece, and the rest follow through `scratch`.
void WriteMappedLine(TLineWriter& writer, const TLineMapper& mapper, TLineReader& reader, std::string_view piece,
                     bool ended, std::string& scratch);

// What a try at taking lines straight from the read buffer came to.
enum class TTaken {
    Lines,    // one line or more
    CutLine,  // the next line runs past the buffered bytes
    Special,  // the next line needs the general way (which also raises for a
              // bad clock text, and takes a line longer than any room)
    Full,     // the room reserved holds no more lines
};

// The data lines of one run, from the first to the last, with what they
// share: the reader and writer, the map, the relative time column's state
// and the number of the line at hand.
class TDataLines {
public:
    TDataLines(TLineReader& reader, TLineWriter& writer, const TLineMapper& mapper,
               const TConversionSettings& settings, IProgressSink& sink);

    // Converts every data line; on an error the line at hand is left
    // unwritten and LineNumber() tells which it was.
    void Run();
    std::int64_t LineNumber() const { return lineNumber_; }
    // The first data line whose Ctrl-Z cut its rest off, or 0.
    std::int64_t FirstCutLine() const { return firstCutLine_; }

private:
    // The ways of writing lines, one per map, cell and vector width, picked
    // once per run, the width included. Up to kCopyLimit - 1 bytes that
    // change are mapped by the pass that copies a line and looks for its end.
    static constexpr std::size_t kCopyLimit = 5;
    using TWriteLines = TTaken (*)(TDataLines*);
    static TWriteLines WriteLinesFor(const TLineMapper& mapper, bool withCell);
    template <bool WithCell>
    static TWriteLines WriterFor(std::size_t row);
    template <std::size_t Count, bool WithCell, bool Alike>
    struct TWriteLinesAt;
    template <typename V, std::size_t Count, bool MapsAsItCopies>
    struct TKernels;
    // The room reserved in the write buffer for many lines, and how far
    // they fill it.
    struct TRoom {
        char* Begin = nullptr;
        char* At = nullptr;
        char* End = nullptr;
    };
    template <typename V, std::size_t Count, bool WithCell, bool Alike>
    TTaken WriteLines();
    // What putting one line came to: Lines with the bytes it took of the
    // read buffer, or what stopped it.
    struct TPut {
        TTaken Kind;
        std::size_t Consumed;
    };
    template <bool WithCell, bool Alike, typename Kernels>
    TPut CopyLine(const Kernels& kernels, const unsigned char* line, std::size_t left, TRoom& room,
                  std::size_t lineRoom);
    template <typename V>
    TTaken ReadFirstClock(const TBlockScanner<V>& controls, const unsigned char* line, std::size_t left,
                          std::int64_t& seconds);
    void TakeGeneralLine();

    // How a line's clock follows from the line before's, as ClockStep finds.
    enum class TStep : unsigned char { Read, NextSecond, Same, OtherSeconds };
    TStep ClockStep(std::uint64_t word, std::int64_t& seconds, std::int32_t& milliseconds) const;
    void TakeStep(TStep step, std::uint64_t word);
    void TakeOtherSeconds(std::uint64_t word);
    std::int64_t CountOn(std::uint64_t word);
    bool ReadLineSeconds(const char* text, std::size_t length, std::int64_t& seconds);
    void CountOnFrom(std::int32_t milliseconds, std::int64_t atMilliseconds, std::int64_t seconds,
                     std::uint64_t plain);
    void HandOverPreviousClock();

    // What the relative time column of the fast ways keeps for a run: the
    // start time as milliseconds of the day, known once the relative time
    // state has one, and whether clock texts may be read in their plain form.
    struct TClockReading {
        bool StartKnown = false;
        std::int64_t Start = 0;
        bool PlainForm = false;
        char Separator = ':';
        // Counting on: after a line whose clock is a whole second, the eight
        // bytes of the next second's plain form, its milliseconds of the day
        // and its count, which is one more than the line's past the start
        // and one less before it. Almost every line of a recording holds
        // exactly that. Counting on stops where the next second would reach
        // CountOnLimit: midnight, or (counting down) a second past the start.
        // While it goes on, the line before had the clock NextMilliseconds
        // less a second.
        bool CountsOn = false;
        std::uint64_t NextClock = 0;
        std::int32_t NextMilliseconds = 0;
        std::int64_t NextSeconds = 0;
        std::int64_t CountStep = 1;
        std::int32_t CountOnLimit = 0;
        // The line before: its eight bytes and its count, known where the
        // fast ways took its clock and it had eight bytes or more. A line
        // with the same eight bytes has the same count; one whose bytes
        // differ only in the seconds' digits lies in the same minute, so
        // that no day can begin between the two.
        bool LastKnown = false;
        std::uint64_t LastClock = 0;
        std::int64_t LastSeconds = 0;
    };

    // The text behind the count of the fast ways, with its bytes as one
    // word where they fit one: almost always a single byte, which one
    // store then writes.
    struct TAfterCount {
        std::string_view Text;
        std::uint64_t Word = 0;
        bool InWord = false;
    };

    TLineReader& reader_;
    TLineWriter& writer_;
    const TLineMapper& mapper_;
    const TConversionSettings& settings_;
    IProgressSink& sink_;
    TRelativeTimeState state_;
    TClockReading clocks_;
    TAfterCount afterCount_;
    // Successive lines mostly repeat the last count or add one second.
    TCountDigits lastCount_;
    std::int64_t lineNumber_ = 1;
    const std::int64_t cutBefore_;
    std::int64_t firstCutLine_ = 0;
    std::string scratch_;
    std::string cell_;
    TWriteLines writeLines_ = nullptr;
};

} // namespace morvane
