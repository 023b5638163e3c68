#include "TDataLines.h"

#include <algorithm>
#include <cassert>
#include <iterator>

#include "LineRules.h"
#include "RelativeTime.h"
#include "TLineBatch.h"
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
// than this takes another way.
constexpr std::size_t kCopyRoom = 64 * 1024;

constexpr std::int32_t kMillisecondsPerDay = 86'400'000;

// The eight bytes of the plain form of a whole second of the day.
inline std::uint64_t PlainClockText(std::int32_t milliseconds, char separator)
{
    const auto second = static_cast<std::uint32_t>(milliseconds / 1000);
    const std::uint32_t hour = second / 3600;
    const std::uint32_t minute = second / 60 % 60;
    const std::uint32_t sec = second % 60;
    const char text[kClockTextLength] = {
        static_cast<char>('0' + hour / 10), static_cast<char>('0' + hour % 10),   separator,
        static_cast<char>('0' + minute / 10), static_cast<char>('0' + minute % 10), separator,
        static_cast<char>('0' + sec / 10),  static_cast<char>('0' + sec % 10)};
    std::uint64_t word;
    std::memcpy(&word, text, sizeof word);
    return word;
}

} // namespace

TDataLines::TDataLines(TLineReader& reader, TLineWriter& writer, const TLineMapper& mapper,
                       const TConversionSettings& settings, IProgressSink& sink)
    : reader_(reader), writer_(writer), mapper_(mapper), settings_(settings), sink_(sink)
{
    clocks_.PlainForm = PlainClockFormApplies(LocaleTimeSettings());
    clocks_.Separator = LocaleTimeSettings().ClockSeparator;
    copyLines_ = CopyLinesFor(mapper, settings.RelativeTime);
}

void TDataLines::Run()
{
    while (!reader_.AtEnd()) {
        if (copyLines_ && copyLines_(*this))
            continue;
        const TTaken taken = settings_.RelativeTime && mapper_.MapsEveryOccurrenceAlike()
                                 ? TakeLinesWithRelativeTime()
                                 : TakePlainLines();
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
        writer_.Write(cell_);
    }
    WriteMappedLine(writer_, mapper_, reader_, line, ended, scratch_);
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
// `atMilliseconds` into the run and `seconds` from the start.
void TDataLines::CountOnFrom(std::int32_t milliseconds, std::int64_t atMilliseconds, std::int64_t seconds)
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
    clocks_.NextClock = PlainClockText(next, clocks_.Separator);
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
    CountOnFrom(milliseconds, at, seconds);
    return true;
}

// Counts on past a line whose eight bytes, `word`, are the next second's
// plain form; the whole seconds between that line's clock and the start.
[[gnu::always_inline]] inline std::int64_t TDataLines::CountOn(std::uint64_t word)
{
    const std::int64_t seconds = clocks_.NextSeconds;
    const std::int32_t next = clocks_.NextMilliseconds + 1000;
    if (next >= clocks_.CountOnLimit) {
        // This line's clock is the previous one of the next line read.
        state_.PreviousMilliseconds = clocks_.NextMilliseconds;
        clocks_.CountsOn = false;
        return seconds;
    }
    clocks_.NextMilliseconds = next;
    clocks_.NextSeconds = seconds + clocks_.CountStep;
    // The seconds' digits are the two highest bytes of a little-endian
    // word: the last alone moves nine times out of ten, the two of them
    // together all but once a minute.
    constexpr unsigned last = 56;
    constexpr unsigned tens = 48;
    if (std::endian::native == std::endian::little && (word >> last & 0xff) != '9')
        clocks_.NextClock = word + (std::uint64_t{1} << last);
    else if (std::endian::native == std::endian::little && (word >> tens & 0xff) != '5')
        clocks_.NextClock = word - (std::uint64_t{9} << last) + (std::uint64_t{1} << tens);
    else
        clocks_.NextClock = PlainClockText(next, clocks_.Separator);
    return seconds;
}

// The whole seconds between a line's clock and the run's start: counted on
// from the line before when its eight bytes are the next second's plain
// form, else read. False when the clock text is no time of day.
[[gnu::always_inline]] inline bool TDataLines::LineSeconds(const char* text, std::size_t length,
                                                           std::int64_t& seconds)
{
    if (clocks_.CountsOn && length >= kClockTextLength) {
        std::uint64_t word;
        std::memcpy(&word, text, sizeof word);
        if (word == clocks_.NextClock) {
            seconds = CountOn(word);
            return true;
        }
    }
    return ReadLineSeconds(text, length, seconds);
}

// Writes one line into the write buffer: the count cell (when asked for)
// followed by `after`, the line's text mapped on the way (as a map that maps
// every occurrence alike, or one that counts them) and CR LF. The caller
// reads `after` once for many lines: bytes written here could alias the
// settings.
template <bool Alike>
[[gnu::always_inline]] inline void TDataLines::WriteWithCell(std::string_view after, bool withCell,
                                                             std::int64_t seconds, const unsigned char* text,
                                                             std::size_t length)
{
    const std::size_t longest = kCountRoom + after.size() + length + 2;
    if (char* const begin = writer_.Reserve(longest)) {
        char* at = withCell ? WriteCountAfter(begin, seconds, lastCount_) : begin;
        if (after.size() == 1)
            *at = after[0];
        else
            CopyShort(at, after.data(), after.size());
        at += after.size();
        if constexpr (Alike)
            mapper_.MapRun(text, reinterpret_cast<unsigned char*>(at), length);
        else
            mapper_.MapInto(reinterpret_cast<const char*>(text), length, at);
        at += length;
        at[0] = '\r';
        at[1] = '\n';
        assert(static_cast<std::size_t>(at + 2 - begin) <= longest && "a line outgrew the room reserved for it");
        writer_.Commit(static_cast<std::size_t>(at + 2 - begin));
        return;
    }
    // Longer than the whole write buffer: in pieces.
    char cell[kCountRoom];
    const char* const cellEnd = withCell ? std::to_chars(cell, cell + kCountRoom, seconds).ptr : cell;
    writer_.Write({cell, static_cast<std::size_t>(cellEnd - cell)});
    writer_.Write(after);
    writer_.WriteLine(mapper_.Map({reinterpret_cast<const char*>(text), length}));
}

// Picks the kernel for CopyLines: one per vector width, number of bytes
// that change in a run and whether lines get a cell.
template <std::size_t Count, bool WithCell>
struct TDataLines::TCopyLinesAt {
    template <typename V>
    struct TKernel {
        static bool Run(TDataLines* lines) { return lines->CopyLines<V, Count, WithCell>(); }
    };
    static bool Run(TDataLines& lines) { return AtProcessWidth<TKernel>(&lines); }
};

TDataLines::TCopyLines TDataLines::CopyLinesFor(const TLineMapper& mapper, bool withCell)
{
    static constexpr TCopyLines kKernels[2][5] = {
        {&TCopyLinesAt<0, false>::Run, &TCopyLinesAt<1, false>::Run, &TCopyLinesAt<2, false>::Run,
         &TCopyLinesAt<3, false>::Run, &TCopyLinesAt<4, false>::Run},
        {&TCopyLinesAt<0, true>::Run, &TCopyLinesAt<1, true>::Run, &TCopyLinesAt<2, true>::Run,
         &TCopyLinesAt<3, true>::Run, &TCopyLinesAt<4, true>::Run}};
    const std::size_t count = mapper.RunByteCount();
    if (!mapper.MapsEveryOccurrenceAlike() || count >= std::size(kKernels[0]))
        return nullptr;
    return kKernels[withCell][count];
}

// Copies the lines at the read position into the write buffer, each mapped
// and searched for its end in one pass over its bytes, V::kWidth of them
// at a time, behind its cell when asked for: the way almost every line
// takes. Stops, leaving the line at hand to the other ways, at a line that
// is not plain, that runs too near the end of the buffered bytes or of the
// room for whole blocks, or whose clock text is not the next second; false
// when it took none.
template <typename V, std::size_t Count, bool WithCell>
bool TDataLines::CopyLines()
{
    constexpr std::size_t kWidth = V::kWidth;
    static_assert(kWidth >= kClockTextLength);
    const TVectorByteSet<V, (Count > 0 ? Count : 1)> set(mapper_.RunBytes(), Count);
    typename V::Vector with;
    V::Broadcast(mapper_.RunReplacement(), with);
    const TBlockScanner<V> controls;

    const unsigned char* const base = reader_.Buffered();
    const std::size_t buffered = reader_.BufferedSize();
    const std::size_t copyRoom = std::min(kCopyRoom, writer_.BufferSize());
    char* const begin = writer_.Reserve(copyRoom);
    if (!begin)
        return false;
    char* const end = begin + copyRoom;
    const std::string_view after = WithCell ? std::string_view(settings_.RelativeTimeSeparator) : std::string_view();
    // Every block stored may reach kWidth bytes past the text, CR LF two.
    const std::size_t lineRoom = (WithCell ? kCountRoom + after.size() : 0) + kWidth + 2;
    char* at = begin;
    std::size_t from = 0;
    std::int64_t lines = 0;
    try {
        while (buffered - from >= kWidth && static_cast<std::size_t>(end - at) >= lineRoom) {
            const unsigned char* const line = base + from;
            const std::size_t left = buffered - from;
            std::uint64_t clock = 0;
            char* text = at;
            if constexpr (WithCell) {
                std::memcpy(&clock, line, sizeof clock);
                if (!clocks_.CountsOn || clock != clocks_.NextClock)
                    break;
                text = WriteCountAfter(at, clocks_.NextSeconds, lastCount_);
                CopyShort(text, after.data(), after.size());
                text += after.size();
            }
            const auto room = static_cast<std::size_t>(end - text);
            std::size_t textLength = 0;
            std::size_t lineLength = 0;
            for (std::size_t i = 0;; i += kWidth) {
                if (left - i < kWidth || room - i < kWidth + 2)
                    goto stop;
                typename V::Vector v;
                V::Load(line + i, v);
                const std::uint32_t bits = controls.Controls(v);
                if constexpr (Count > 0) {
                    typename V::Vector mask;
                    set.Match(v, Count, mask);
                    V::Select(mask, with, v);
                }
                // The store may reach a vector's width past the text: the
                // room checked above holds it.
                assert(room - i >= kWidth && "CopyLines stores past the room it reserved");
                V::Store(reinterpret_cast<unsigned char*>(text) + i, v);
                if (bits != 0) {
                    // Only an LF, or a CR with its LF right behind it, ends
                    // a plain line.
                    const std::size_t control = i + static_cast<std::size_t>(__builtin_ctz(bits));
                    const std::size_t breakLength = BreakLength(line + control, left - control);
                    if (breakLength == 0)
                        goto stop;
                    lineLength = control + breakLength;
                    textLength = control;
                    break;
                }
            }
            if constexpr (WithCell)
                CountOn(clock);
            text[textLength] = '\r';
            text[textLength + 1] = '\n';
            at = text + textLength + 2;
            assert(at <= end && "a copied line ran past the room reserved for the copies");
            from += lineLength;
            ++lines;
            reader_.ConsumeBuffered(lineLength);
            sink_.SetValue(reader_.PositionInBlocks());
        }
    stop:;
    } catch (...) {
        // The line the sink failed on is written, as on the other ways.
        writer_.Commit(static_cast<std::size_t>(at - begin));
        lineNumber_ += lines;
        throw;
    }
    writer_.Commit(static_cast<std::size_t>(at - begin));
    lineNumber_ += lines;
    return lines != 0;
}

// Takes the whole plain lines at the read position straight out of the read
// buffer: their clock texts are read first (when asked for), then each goes
// into the write buffer mapped, all of them in one piece where nothing is
// put in front of them, each ends in CR LF and the map maps every
// occurrence alike. Every line costs the sink what the general way costs it.
TTaken TDataLines::TakePlainLines()
{
    TLineBatch batch;
    batch.Find(reader_.Buffered(), reader_.BufferedSize());
    std::size_t count = batch.Count;
    if (count == 0)
        return batch.MetSpecial ? TTaken::Special : TTaken::CutLine;

    const bool withCell = settings_.RelativeTime;
    std::int64_t secondsOf[TLineBatch::kMaxLines] = {};
    if (withCell) {
        for (std::size_t i = 0; i < count; ++i) {
            if (!LineSeconds(reinterpret_cast<const char*>(batch.Text(i)), batch.TextLength(i), secondsOf[i])) {
                count = i;
                break;
            }
        }
        if (count == 0)
            return TTaken::Special;
    }

    // Where the text ends is told by the bytes as read: the map may yet
    // turn a byte in front of a bare LF into a CR, so only lines read as
    // CR LF go as one piece.
    const bool alike = mapper_.MapsEveryOccurrenceAlike();
    const std::size_t through = batch.End(count - 1);
    assert(through <= reader_.BufferedSize() && "a batch's lines lie in the buffered bytes");
    char* const run = !withCell && batch.AllCrLf && alike ? writer_.Reserve(through) : nullptr;
    if (run) {
        // The lines read as they will be written, breaks and all.
        mapper_.MapRun(batch.Base, reinterpret_cast<unsigned char*>(run), through);
        std::size_t from = 0;
        try {
            for (std::size_t i = 0; i < count; ++i) {
                reader_.ConsumeBuffered(batch.End(i) - from);
                from = batch.End(i);
                sink_.SetValue(reader_.PositionInBlocks());
            }
        } catch (...) {
            // Lines the sink has not been told of are left out.
            writer_.Commit(from);
            throw;
        }
        writer_.Commit(through);
        lineNumber_ += static_cast<std::int64_t>(count);
        return TTaken::Lines;
    }

    const std::string_view after = withCell ? std::string_view(settings_.RelativeTimeSeparator) : std::string_view();
    for (std::size_t i = 0; i < count; ++i) {
        ++lineNumber_;
        if (alike)
            WriteWithCell<true>(after, withCell, secondsOf[i], batch.Text(i), batch.TextLength(i));
        else
            WriteWithCell<false>(after, withCell, secondsOf[i], batch.Text(i), batch.TextLength(i));
        reader_.ConsumeBuffered(batch.Span(i, i));
        sink_.SetValue(reader_.PositionInBlocks());
    }
    return TTaken::Lines;
}

// The relative time column with a map that needs no occurrence count: each
// line is read, given its cell and copied mapped into the write buffer in
// one go, leaving the read buffer as it is.
TTaken TDataLines::TakeLinesWithRelativeTime()
{
    TLineBatch batch;
    batch.Find(reader_.Buffered(), reader_.BufferedSize());
    if (batch.Count == 0)
        return batch.MetSpecial ? TTaken::Special : TTaken::CutLine;

    const std::string_view after = settings_.RelativeTimeSeparator;
    TLineReader& reader = reader_;
    IProgressSink& sink = sink_;
    std::size_t i = 0;
    for (; i < batch.Count; ++i) {
        std::int64_t seconds = 0;
        const unsigned char* const text = batch.Text(i);
        const std::size_t length = batch.TextLength(i);
        if (!LineSeconds(reinterpret_cast<const char*>(text), length, seconds))
            break;
        WriteWithCell<true>(after, true, seconds, text, length);
        reader.ConsumeBuffered(batch.Span(i, i));
        sink.SetValue(reader.PositionInBlocks());
    }
    lineNumber_ += static_cast<std::int64_t>(i);
    return i != 0 ? TTaken::Lines : TTaken::Special;
}

} // namespace morvane
