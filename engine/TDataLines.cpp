#include "TDataLines.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cstring>
#include <iterator>

#include "RelativeTime.h"
#include "TLineScanner.h"
#include "TLocaleTimeSettings.h"
#include "TimeOfDay.h"
#include "VectorBytes.h"

namespace morvane {

void WriteMappedLine(TLineWriter& writer, const TLineMapper& mapper, TLineReader& reader, std::string_view piece,
                     bool ended, std::string& scratch)
{
    if (ended) {
        writer.WriteLineWith(piece.size(),
                             [&](char* destination) { mapper.MapInto(piece.data(), piece.size(), destination); });
        return;
    }
    // A line longer than a piece: each piece is mapped where the pieces
    // before it left the list.
    std::string mapped;
    std::size_t occurrence = 0;
    for (;;) {
        mapped.resize(piece.size());
        occurrence = mapper.MapPiece(piece.data(), piece.size(), mapped.data(), occurrence);
        if (ended) {
            writer.WriteLine(mapped);
            return;
        }
        writer.Write(mapped);
        piece = reader.ReadLinePiece(scratch, ended);
    }
}

namespace {

constexpr std::size_t kClockTextLength = 8;
// Room in the write buffer for the lines copied in one go: a line longer
// than this takes another way. While the buffer has at least kLeastRoom
// left, the lines go into all of that instead, so that the buffers go out
// nearly full: each one handed over can keep both sides waiting a while.
constexpr std::size_t kCopyRoom = 64 * 1024;
constexpr std::size_t kLeastRoom = 4 * 1024;

constexpr std::int32_t kMillisecondsPerDay = 86'400'000;

} // namespace

TDataLines::TDataLines(TLineReader& reader, TLineWriter& writer, const TLineMapper& mapper,
                       const TConversionSettings& settings, IProgressSink& sink)
    : reader_(reader), writer_(writer), mapper_(mapper), settings_(settings), sink_(sink)
    , cutBefore_(reader.CutLines())
{
    clocks_.PlainForm = PlainClockFormApplies(LocaleTimeSettings());
    clocks_.Separator = LocaleTimeSettings().ClockSeparator;
    writeLines_ = WriteLinesFor(mapper, settings.RelativeTime);
    afterCount_.Text = settings.RelativeTimeSeparator;
    afterCount_.InWord = afterCount_.Text.size() <= sizeof afterCount_.Word;
    if (afterCount_.InWord)
        std::memcpy(&afterCount_.Word, afterCount_.Text.data(), afterCount_.Text.size());
}

void TDataLines::Run()
{
    while (!reader_.AtEnd()) {
        const TTaken taken = writeLines_(this);
        if (taken == TTaken::Lines)
            continue;
        if (taken == TTaken::CutLine && reader_.FetchBehindBuffered())
            continue;
        TakeGeneralLine();
    }
}

void TDataLines::TakeGeneralLine()
{
    ++lineNumber_;
    bool ended = false;
    const std::string_view line = reader_.ReadLinePiece(scratch_, ended);
    if (settings_.RelativeTime) {
        HandOverPreviousClock();
        cell_.clear();
        AppendRelativeTimeCell(cell_, line, state_, settings_.RelativeTimeSeparator, settings_.AcrossMidnight);
        // The fast ways count on from a clock they read themselves.
        clocks_.CountsOn = false;
        clocks_.LastKnown = false;
        writer_.Write(cell_);
    }
    WriteMappedLine(writer_, mapper_, reader_, line, ended, scratch_);
    // Only this way meets a Ctrl-Z: the others leave such a line to it.
    if (firstCutLine_ == 0 && reader_.CutLines() != cutBefore_)
        firstCutLine_ = lineNumber_;
    sink_.SetValue(reader_.PositionInBlocks());
}

// Counting on keeps no previous clock in the relative time state; it is put
// there before anything that counts past midnight from it.
void TDataLines::HandOverPreviousClock()
{
    if (clocks_.CountsOn)
        state_.PreviousMilliseconds = clocks_.NextMilliseconds - 1000;
}

// Counting on from a line whose clock read as `milliseconds` of its day,
// `atMilliseconds` into the run and `seconds` from the start; `plain` is
// its eight bytes where they are the plain form, else 0.
void TDataLines::CountOnFrom(std::int32_t milliseconds, std::int64_t atMilliseconds, std::int64_t seconds,
                             std::uint64_t plain)
{
    clocks_.CountsOn = false;
    if (!clocks_.PlainForm || milliseconds % 1000 != 0)
        return;
    const std::int32_t next = milliseconds + 1000;
    if (atMilliseconds >= clocks_.Start) {
        // Past the start one second more is one more whole second away.
        clocks_.CountStep = 1;
        clocks_.CountOnLimit = kMillisecondsPerDay;
    } else {
        // Before it (on the first day) one second less away, for as long as
        // the next second is not past the start.
        clocks_.CountStep = -1;
        clocks_.CountOnLimit = static_cast<std::int32_t>(clocks_.Start) + 1;
    }
    if (next >= clocks_.CountOnLimit)
        return;
    clocks_.CountsOn = true;
    clocks_.NextMilliseconds = next;
    clocks_.NextSeconds = seconds + clocks_.CountStep;
    clocks_.NextClock = plain != 0 ? NextPlainClockText(plain, next, clocks_.Separator)
                                   : PlainClockText(next, clocks_.Separator);
}

// The whole seconds between a line's clock, read, and the run's start; kept
// out of line, as only the few lines that are not counted on come here.
// False when the text is no time of day: the general way then raises for it.
[[gnu::noinline]] bool TDataLines::ReadLineSeconds(const char* text, std::size_t textLength,
                                                   std::int64_t& seconds)
{
    const std::size_t length = std::min(textLength, kClockTextLength);
    std::int32_t milliseconds = 0;
    const bool plain = clocks_.PlainForm && length == kClockTextLength &&
                       TryPlainClock(text, clocks_.Separator, milliseconds);
    if (!plain && !TryMillisecondOfDayFromBytes({text, length}, milliseconds))
        return false;
    HandOverPreviousClock();
    const std::int64_t at = MillisecondsIntoRun(state_, milliseconds, settings_.AcrossMidnight);
    if (!clocks_.StartKnown) {
        clocks_.Start = MillisecondsOfTimeOfDay(state_.StartTime);
        clocks_.StartKnown = true;
    }
    seconds = WholeSecondsBetween(at, clocks_.Start);
    CountOnFrom(milliseconds, at, seconds, 0);
    // Only a text of eight bytes or more is read as its first eight alone.
    clocks_.LastKnown = textLength >= kClockTextLength;
    if (clocks_.LastKnown) {
        std::memcpy(&clocks_.LastClock, text, sizeof clocks_.LastClock);
        clocks_.LastSeconds = seconds;
    }
    return true;
}

// Counts on past a line whose eight bytes, `word`, are the next second's
// plain form; the whole seconds between that line's clock and the start.
[[gnu::always_inline]] inline std::int64_t TDataLines::CountOn(std::uint64_t word)
{
    const std::int64_t seconds = clocks_.NextSeconds;
    clocks_.LastKnown = true;
    clocks_.LastClock = word;
    clocks_.LastSeconds = seconds;
    const std::int32_t next = clocks_.NextMilliseconds + 1000;
    if (next >= clocks_.CountOnLimit) {
        // This line's clock is the previous one of the next line read.
        state_.PreviousMilliseconds = clocks_.NextMilliseconds;
        clocks_.CountsOn = false;
        return seconds;
    }
    clocks_.NextMilliseconds = next;
    clocks_.NextSeconds = seconds + clocks_.CountStep;
    clocks_.NextClock = NextPlainClockText(word, next, clocks_.Separator);
    return seconds;
}

// How a line whose first eight bytes are `word` (none of them a line
// control) follows from the line before, and its count where it does: the
// next second's plain form, the same eight bytes (which the clock parser,
// reading no more than these, takes for the same clock), or the plain form
// with only the seconds' digits changed. Read where it must be read.
[[gnu::always_inline]] inline TDataLines::TStep TDataLines::ClockStep(std::uint64_t word, std::int64_t& seconds,
                                                                     std::int32_t& milliseconds) const
{
    if (clocks_.CountsOn && word == clocks_.NextClock) {
        seconds = clocks_.NextSeconds;
        return TStep::NextSecond;
    }
    if (!clocks_.LastKnown)
        return TStep::Read;
    if (word == clocks_.LastClock) {
        seconds = clocks_.LastSeconds;
        return TStep::Same;
    }
    // The hour, the minute and both separators as the line before's, whose
    // clock was good: the plain reading checks the seconds' two digits.
    constexpr std::uint64_t kSecondsDigits =
        std::endian::native == std::endian::little ? 0xffffull << 48 : 0xffffull;
    if (!clocks_.PlainForm || ((word ^ clocks_.LastClock) & ~kSecondsDigits) != 0)
        return TStep::Read;
    char eight[kClockTextLength];
    std::memcpy(eight, &word, sizeof eight);
    if (!TryPlainClock(eight, clocks_.Separator, milliseconds))
        return TStep::Read;
    // Within one minute of the line before no day begins.
    const std::int64_t at =
        settings_.AcrossMidnight ? milliseconds + state_.Day * std::int64_t{kMillisecondsPerDay} : milliseconds;
    seconds = WholeSecondsBetween(at, clocks_.Start);
    return TStep::OtherSeconds;
}

// What a line's clock, found by ClockStep, leaves for the lines after it.
// Only the step and the eight bytes are carried past the copying pass's
// loop: more would crowd its registers at the narrower widths.
[[gnu::always_inline]] inline void TDataLines::TakeStep(TStep step, std::uint64_t word)
{
    if (step == TStep::NextSecond)
        CountOn(word);
    else if (step == TStep::OtherSeconds)
        TakeOtherSeconds(word);
}

// The clock ClockStep found good, read again for its count.
[[gnu::noinline]] void TDataLines::TakeOtherSeconds(std::uint64_t word)
{
    char eight[kClockTextLength];
    std::memcpy(eight, &word, sizeof eight);
    std::int32_t milliseconds = 0;
    TryPlainClock(eight, clocks_.Separator, milliseconds);
    const std::int64_t at =
        settings_.AcrossMidnight ? milliseconds + state_.Day * std::int64_t{kMillisecondsPerDay} : milliseconds;
    const std::int64_t seconds = WholeSecondsBetween(at, clocks_.Start);
    state_.PreviousMilliseconds = milliseconds;
    CountOnFrom(milliseconds, at, seconds, word);
    clocks_.LastClock = word;
    clocks_.LastSeconds = seconds;
}

// The clock of a line ClockStep cannot take from the line before, read
// before the line's end is known, so that its count can go in front: the
// text's first eight bytes, or fewer where its break comes first. Lines
// with the clock read, or Special where the line starts with a byte only the
// general way takes or its clock text is no time of day (the general way
// then raises for it). Reading it leaves the state as if the line were
// taken, and reading it again, should the line go another way or come
// again with more bytes, changes nothing more: the clock is then the one
// before.
template <typename V>
[[gnu::noinline]] TTaken TDataLines::ReadFirstClock(const TBlockScanner<V>& controls, const unsigned char* line,
                                                    std::size_t left, std::int64_t& seconds)
{
    typename V::Vector v;
    V::Load(line, v);
    const std::uint32_t inClock = controls.Controls(v) & ((1u << kClockTextLength) - 1);
    std::size_t length = kClockTextLength;
    if (inClock != 0) {
        const TLineSpan span =
            TLineScanner<V>::AtFirstControl(line, static_cast<std::size_t>(__builtin_ctz(inClock)), left);
        if (span.Kind != TLineKind::Line)
            return TTaken::Special;
        length = span.Text;
    }
    return ReadLineSeconds(reinterpret_cast<const char*>(line), length, seconds) ? TTaken::Lines : TTaken::Special;
}

// Picks the writer: one per vector width, number of bytes that change in a
// run (kCopyLimit where the copying pass does not map them), whether lines
// get a cell and whether the map maps every occurrence alike.
template <std::size_t Count, bool WithCell, bool Alike>
struct TDataLines::TWriteLinesAt {
    template <typename V>
    struct TKernel {
        static TTaken Run(TDataLines* lines) { return lines->WriteLines<V, Count, WithCell, Alike>(); }
    };
    // The writer at the process's width.
    static TWriteLines AtWidth() { return KernelAtProcessWidth<TKernel, TDataLines*>(); }
};

template <bool WithCell>
TDataLines::TWriteLines TDataLines::WriterFor(std::size_t row)
{
    using TPick = TWriteLines (*)();
    static constexpr TPick kWriters[] = {
        &TWriteLinesAt<0, WithCell, true>::AtWidth,          &TWriteLinesAt<1, WithCell, true>::AtWidth,
        &TWriteLinesAt<2, WithCell, true>::AtWidth,          &TWriteLinesAt<3, WithCell, true>::AtWidth,
        &TWriteLinesAt<4, WithCell, true>::AtWidth,          &TWriteLinesAt<kCopyLimit, WithCell, true>::AtWidth,
        &TWriteLinesAt<kCopyLimit, WithCell, false>::AtWidth};
    static_assert(std::size(kWriters) == kCopyLimit + 2);
    return kWriters[row]();
}

TDataLines::TWriteLines TDataLines::WriteLinesFor(const TLineMapper& mapper, bool withCell)
{
    const std::size_t row = !mapper.MapsEveryOccurrenceAlike() ? kCopyLimit + 1
                                                                : std::min(mapper.RunByteCount(), kCopyLimit);
    return withCell ? WriterFor<true>(row) : WriterFor<false>(row);
}

// What the writer at width V keeps for its lines: the Count bytes that
// change and what they become, each broadcast once, and the line controls.
template <typename V, std::size_t Count, bool MapsAsItCopies>
struct TDataLines::TKernels {
    using Bytes = V;
    static constexpr std::size_t kCount = Count;
    static constexpr bool kMapsAsItCopies = MapsAsItCopies;
    explicit TKernels(const TLineMapper& mapper) : Set(mapper.RunBytes(), Count)
    {
        V::Broadcast(mapper.RunReplacement(), With);
    }
    TVectorByteSet<V, (Count > 0 ? Count : 1)> Set;
    typename V::Vector With;
    TBlockScanner<V> Controls;
};

// Writes the lines at the read position into the write buffer, in room
// reserved for many, until one needs the general way, runs past the
// buffered bytes or finds the room full: each line by CopyLine, the way
// almost every line takes.
template <typename V, std::size_t Count, bool WithCell, bool Alike>
TTaken TDataLines::WriteLines()
{
    constexpr bool kCopies = Alike && Count < kCopyLimit;
    TKernels<V, kCopies ? Count : 0, kCopies> kernels(mapper_);
    // The copying pass's compiler may not rebuild these vectors on every
    // line from the bytes they hold: the loop's calls leave it no register
    // for them, and read from memory they cost the compares nothing.
    if constexpr (kCopies)
        asm("" : "+m"(kernels));

    const std::span<const unsigned char> bytes = reader_.Buffered();
    const unsigned char* const base = bytes.data();
    const std::size_t buffered = bytes.size();
    const std::size_t left = writer_.Room();
    const std::size_t copyRoom = left >= kLeastRoom ? left : std::min(kCopyRoom, writer_.BufferSize());
    TRoom room;
    room.Begin = writer_.Reserve(copyRoom);
    room.At = room.Begin;
    room.End = room.Begin ? room.Begin + copyRoom : nullptr;
    // Every block stored may reach kWidth bytes past the text, CR LF two;
    // the word behind the count, up to seven bytes into the text.
    const std::size_t lineRoom = (WithCell ? kCountRoom + afterCount_.Text.size() : 0) + V::kWidth + 2;
    std::size_t from = 0;
    std::int64_t lines = 0;
    TTaken stop = TTaken::CutLine;
    try {
        while (from < buffered) {
            const unsigned char* const line = base + from;
            const std::size_t left = buffered - from;
            const TPut put = CopyLine<WithCell, Alike>(kernels, line, left, room, lineRoom);
            if (put.Kind != TTaken::Lines) {
                stop = put.Kind;
                break;
            }
            from += put.Consumed;
            ++lines;
            reader_.ConsumeBuffered(put.Consumed);
            sink_.SetValue(reader_.PositionInBlocks());
        }
    } catch (...) {
        // The line the sink failed on is written, as on the general way.
        writer_.Commit(static_cast<std::size_t>(room.At - room.Begin));
        lineNumber_ += lines;
        throw;
    }
    writer_.Commit(static_cast<std::size_t>(room.At - room.Begin));
    lineNumber_ += lines;
    if (lines != 0)
        return TTaken::Lines;
    // A line longer than the room leaves by the general way, in pieces.
    return stop == TTaken::Full ? TTaken::Special : stop;
}

// One line, in one pass over its bytes, V::kWidth of them at a time: a
// line that is plain and lies whole in the buffered bytes with a vector's
// width to spare. Its count goes in front first (taken from the line before
// where ClockStep can, else read: no line end lies among the clock's digits
// either way). Where the map maps every occurrence alike with few bytes that
// change, each block is mapped as it is stored; otherwise the pass finds the
// line's end and the text is mapped behind it. Lines with the bytes it took,
// or what stopped it: CutLine where its end may lie behind the bytes known,
// Full where the room left cannot hold it, Special at a byte only the
// general way takes.
template <bool WithCell, bool Alike, typename Kernels>
[[gnu::always_inline]] inline TDataLines::TPut TDataLines::CopyLine(const Kernels& kernels, const unsigned char* line,
                                                               std::size_t left, TRoom& room, std::size_t lineRoom)
{
    using V = typename Kernels::Bytes;
    constexpr std::size_t kWidth = V::kWidth;
    static_assert(kWidth >= kClockTextLength);
    constexpr std::size_t Count = Kernels::kCount;
    constexpr bool kMapsAsItCopies = Kernels::kMapsAsItCopies;
    if (left < kWidth)
        return {TTaken::CutLine, 0};
    if (static_cast<std::size_t>(room.End - room.At) < lineRoom)
        return {TTaken::Full, 0};
    std::uint64_t clock = 0;
    std::int64_t seconds = 0;
    std::int32_t milliseconds = 0;
    TStep step = TStep::Read;
    char* text = room.At;
    // Kept in a register of its own through the loop below, rather than
    // read again from where the room's end is kept on every block.
    asm("" : "+r"(text));
    if constexpr (WithCell) {
        std::memcpy(&clock, line, sizeof clock);
        step = ClockStep(clock, seconds, milliseconds);
        if (step == TStep::Read) {
            const TTaken read = ReadFirstClock(kernels.Controls, line, left, seconds);
            if (read != TTaken::Lines)
                return {read, 0};
        }
        text = WriteCountAfter(text, seconds, lastCount_);
        if (afterCount_.InWord) [[likely]]
            std::memcpy(text, &afterCount_.Word, sizeof afterCount_.Word);
        else
            CopyShort(text, afterCount_.Text.data(), afterCount_.Text.size());
        text += afterCount_.Text.size();
    }
    const auto space = static_cast<std::size_t>(room.End - text);
    for (std::size_t i = 0;; i += kWidth) {
        if (left - i < kWidth)
            return {TTaken::CutLine, 0};
        if (space - i < kWidth + 2)
            return {TTaken::Full, 0};
        typename V::Vector v;
        V::Load(line + i, v);
        const std::uint32_t bits = kernels.Controls.Controls(v);
        if constexpr (kMapsAsItCopies) {
            if constexpr (Count > 0) {
                typename V::Vector mask;
                kernels.Set.Match(v, Count, mask);
                V::Select(mask, kernels.With, v);
            }
            // The store may reach a vector's width past the text: the room
            // checked above holds it.
            assert(space - i >= kWidth && "CopyLine stores past the room it reserved");
            V::Store(reinterpret_cast<unsigned char*>(text) + i, v);
        }
        if (bits == 0)
            continue;
        const TLineSpan span =
            TLineScanner<V>::AtFirstControl(line, i + static_cast<std::size_t>(__builtin_ctz(bits)), left);
        if (span.Kind != TLineKind::Line)
            return {span.Kind == TLineKind::Special ? TTaken::Special : TTaken::CutLine, 0};
        const std::size_t control = span.Text;
        if constexpr (WithCell)
            TakeStep(step, clock);
        if constexpr (!kMapsAsItCopies) {
            if constexpr (Alike)
                mapper_.MapRun(line, reinterpret_cast<unsigned char*>(text), control);
            else
                mapper_.MapInto(reinterpret_cast<const char*>(line), control, text);
        }
        text[control] = '\r';
        text[control + 1] = '\n';
        room.At = text + control + 2;
        assert(room.At <= room.End && "a line ran past the room reserved for the lines");
        return {TTaken::Lines, span.End()};
    }
}

} // namespace morvane
