// A line leaves a run in one of four ways. Ordinary data lines are taken
// straight out of the read buffer and leave by the first three; the header
// line and every line the rules treat specially (a lone CR, a Ctrl-Z, a
// line longer than the read buffer, a clock text the fast reading declines)
// leave by the fourth.
//
// - Copied (TDataLines::CopyLines): where the map maps every occurrence
//   alike, each line is mapped into the write buffer and searched for its
//   end in the same pass, behind its cell; it stops at the first line that
//   is not that simple, which the passes below take.
// - A pass's run mapped into the write buffer (TDataLines::TakePlainLines):
//   lines that end in CR LF, get no cell and map every occurrence alike are
//   mapped as one piece into room reserved for all of them; only the lines
//   the sink was told of are committed.
// - Reserve/Commit line by line (TDataLines::WriteWithCell): any other line
//   of a pass is built in the writer's buffer, cell, mapped text and CR LF,
//   in room reserved for its longest form; only the bytes built are
//   committed.
// - The general WriteMappedLine: the line as ReadLineView gives it, mapped
//   into the writer behind the cell of the general relative time code.
//
// Whichever way, a line is consumed from the reader, and the sink told the
// new position, only once the line is in the writer, so that an error
// leaves the output holding exactly the lines before it. The read buffer is
// never changed, and nothing is written to the file straight from it: the
// writer writes its buffers out on a thread of its own.

#include "ConvertFile.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstring>
#include <exception>
#include <iterator>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "EConvertError.h"
#include "EInOutError.h"
#include "EOutOfMemory.h"
#include "RelativeTime.h"
#include "TLineMapper.h"
#include "TLocaleTimeSettings.h"
#include "TOutputReplacement.h"
#include "TRelativeTimeState.h"
#include "TimeOfDay.h"

#include "VectorBytes.h"

namespace morvane {

namespace {

void WriteMappedLine(TLineWriter& writer, const TLineMapper& mapper, std::string_view line)
{
    writer.WriteLineWith(line.size(),
                         [&](char* destination) { mapper.MapInto(line.data(), line.size(), destination); });
}

constexpr unsigned char kLF = 10;
constexpr unsigned char kCR = 13;
constexpr unsigned char kCtrlZ = 26;
constexpr std::size_t kClockTextLength = 8;
// Lines taken from the read buffer in one go: enough to make the passes over
// them cheap, few enough that they are still in the cache for the last.
constexpr std::size_t kLinesPerPass = 256;
// Room in the write buffer for the lines copied in one go: a line longer
// than this takes another way.
constexpr std::size_t kCopyRoom = 64 * 1024;

// The digits of the last count written (Count is -1 while there is none),
// as WriteCountAfter keeps them.
struct TCountDigits {
    std::int64_t Count = -1;
    std::uint64_t Digits = 0;
    std::size_t Length = 1;
};

// Room for any count, so that its digits go straight to the output.
constexpr std::size_t kCountRoom = 24;

// Counts of up to eight digits (past midnight a count can have that many)
// are kept as one word.
constexpr std::size_t kCountWordDigits = 8;
constexpr std::int64_t kCountWordLimit = 100'000'000;

// Adds one to decimal digits kept as WriteCountAfter keeps them, carrying
// from the last digit; false when the result would not fit the word.
inline bool AddOneToDigits(std::uint64_t& digits, std::size_t& length)
{
    for (std::size_t i = length; i-- > 0;) {
        const unsigned shift = 8 * static_cast<unsigned>(i);
        if (((digits >> shift) & 0xff) != '9') {
            digits += std::uint64_t{1} << shift;
            return true;
        }
        digits -= std::uint64_t{'9' - '0'} << shift;
    }
    // All nines, now all zeros: a leading one makes the number one longer.
    if (length >= kCountWordDigits)
        return false;
    digits = digits << 8 | '1';
    ++length;
    return true;
}

// Takes one from such digits, borrowing from the last digit and dropping a
// leading zero; false for a lone zero.
inline bool TakeOneFromDigits(std::uint64_t& digits, std::size_t& length)
{
    for (std::size_t i = length; i-- > 0;) {
        const unsigned shift = 8 * static_cast<unsigned>(i);
        if (((digits >> shift) & 0xff) != '0') {
            digits -= std::uint64_t{1} << shift;
            if (length > 1 && (digits & 0xff) == '0') {
                digits >>= 8;
                --length;
            }
            return true;
        }
        digits += std::uint64_t{'9' - '0'} << shift;
    }
    return false;
}

// The decimal digits of a count of seconds, reusing those of the previous
// line's count. They are kept as one word in the order they are written, so
// that neither adding a second nor writing them out goes through single
// bytes.
[[gnu::always_inline]] inline char* WriteCountAfter(char* at, std::int64_t count, TCountDigits& last)
{
    if (count != last.Count) {
        if (last.Count >= 0 && count == last.Count + 1 &&
            AddOneToDigits(last.Digits, last.Length)) {
        } else if (last.Count > 0 && count == last.Count - 1 &&
                   TakeOneFromDigits(last.Digits, last.Length)) {
        } else if (std::endian::native == std::endian::little && count >= 0 && count < kCountWordLimit) {
            // The lowest digit first, each one shifting the others up: the
            // highest ends in the lowest byte, which comes first in memory.
            auto n = static_cast<std::uint32_t>(count);
            std::uint64_t digits = 0;
            std::size_t length = 0;
            do {
                digits = digits << 8 | ('0' + n % 10);
                n /= 10;
                ++length;
            } while (n != 0);
            last.Digits = digits;
            last.Length = length;
        } else {
            last.Count = -1;
            return std::to_chars(at, at + kCountRoom, count).ptr;
        }
        last.Count = count;
    }
    // All eight bytes, in the room the caller has (kCountRoom): those past
    // the digits are overwritten next.
    std::memcpy(at, &last.Digits, 8);
    return at + last.Length;
}

// Copies a line's worth of bytes without a library call per line.
inline void CopyShort(char* to, const char* from, std::size_t n)
{
#if defined(__SSE2__)
    if (n >= 16) {
        std::size_t i = 0;
        for (; n - i > 16; i += 16)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(to + i),
                             _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + n - 16),
                         _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + n - 16)));
        return;
    }
#endif
    // Fixed sizes, two of them overlapping, cost no call.
    if (n >= 8) {
        std::uint64_t head, tail;
        std::memcpy(&head, from, 8);
        std::memcpy(&tail, from + n - 8, 8);
        std::memcpy(to, &head, 8);
        std::memcpy(to + n - 8, &tail, 8);
    } else if (n >= 4) {
        std::uint32_t head, tail;
        std::memcpy(&head, from, 4);
        std::memcpy(&tail, from + n - 4, 4);
        std::memcpy(to, &head, 4);
        std::memcpy(to + n - 4, &tail, 4);
    } else {
        for (std::size_t i = 0; i < n; ++i)
            to[i] = from[i];
    }
}

// What a try at taking lines straight from the read buffer came to.
enum class TTaken {
    Lines,    // one line or more
    CutLine,  // the next line runs past the buffered bytes
    Special,  // the next line needs the general way (which also raises for a
              // bad clock text)
};

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

// The data lines of one run, from the first to the last, with what they
// share: the reader and writer, the map, the relative time column's state
// and the number of the line at hand.
class TDataLines {
public:
    TDataLines(TLineReader& reader, TLineWriter& writer, const TLineMapper& mapper,
               const TConversionSettings& settings, IProgressSink& sink)
        : reader_(reader), writer_(writer), mapper_(mapper), settings_(settings), sink_(sink)
    {
        clocks_.PlainForm = PlainClockFormApplies(LocaleTimeSettings());
        clocks_.Separator = LocaleTimeSettings().ClockSeparator;
        copyLines_ = CopyLinesFor(mapper, settings.RelativeTime);
    }

    // Converts every data line; on an error the line at hand is left
    // unwritten and LineNumber() tells which it was.
    void Run();
    std::int64_t LineNumber() const { return lineNumber_; }

private:
    using TCopyLines = bool (TDataLines::*)();
    static TCopyLines CopyLinesFor(const TLineMapper& mapper, bool withCell);
    template <typename V, std::size_t Count, bool WithCell>
    bool CopyLines();
#if defined(MORVANE_HAVE_AVX2_KERNELS)
    template <std::size_t Count, bool WithCell>
    __attribute__((target("avx2"), flatten)) bool CopyLinesAvx2()
    {
        return CopyLines<TAvx2Bytes, Count, WithCell>();
    }
#endif
#if defined(__SSE2__)
    template <std::size_t Count, bool WithCell>
    __attribute__((flatten)) bool CopyLinesSse2()
    {
        return CopyLines<TSse2Bytes, Count, WithCell>();
    }
#endif
    TTaken TakePlainLines();
    TTaken TakeLinesWithRelativeTime();
    void TakeGeneralLine();

    template <bool Alike>
    void WriteWithCell(std::string_view after, bool withCell, std::int64_t seconds, const unsigned char* text,
                       std::size_t length);
    bool LineSeconds(const char* text, std::size_t length, std::int64_t& seconds);
    std::int64_t CountOn(std::uint64_t word);
    bool ReadLineSeconds(const char* text, std::size_t length, std::int64_t& seconds);
    void CountOnFrom(std::int32_t milliseconds, std::int64_t atMilliseconds, std::int64_t seconds);
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
    };

    TLineReader& reader_;
    TLineWriter& writer_;
    const TLineMapper& mapper_;
    const TConversionSettings& settings_;
    IProgressSink& sink_;
    TRelativeTimeState state_;
    TClockReading clocks_;
    // Successive lines mostly repeat the last count or add one second.
    TCountDigits lastCount_;
    std::int64_t lineNumber_ = 1;
    std::string scratch_;
    std::string cell_;
    // The kernel for lines copied straight to the write buffer, or null
    // where there is none for this map and processor.
    TCopyLines copyLines_ = nullptr;
};

void TDataLines::Run()
{
    while (!reader_.AtEnd()) {
        if (copyLines_ && (this->*copyLines_)())
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
    const std::string_view line = reader_.ReadLineView(scratch_);
    if (settings_.RelativeTime) {
        HandOverPreviousClock();
        cell_.clear();
        AppendRelativeTimeCell(cell_, line, state_, settings_.RelativeTimeSeparator, settings_.AcrossMidnight);
        // The fast ways count on from a clock they read themselves.
        clocks_.CountsOn = false;
        writer_.Write(cell_);
    }
    WriteMappedLine(writer_, mapper_, line);
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
    if (char* const begin = writer_.Reserve(kCountRoom + after.size() + length + 2)) {
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
TDataLines::TCopyLines TDataLines::CopyLinesFor(const TLineMapper& mapper, bool withCell)
{
    if (!mapper.MapsEveryOccurrenceAlike())
        return nullptr;
#if defined(__SSE2__)
    static constexpr TCopyLines kSse2[2][5] = {
        {&TDataLines::CopyLinesSse2<0, false>, &TDataLines::CopyLinesSse2<1, false>,
         &TDataLines::CopyLinesSse2<2, false>, &TDataLines::CopyLinesSse2<3, false>,
         &TDataLines::CopyLinesSse2<4, false>},
        {&TDataLines::CopyLinesSse2<0, true>, &TDataLines::CopyLinesSse2<1, true>,
         &TDataLines::CopyLinesSse2<2, true>, &TDataLines::CopyLinesSse2<3, true>,
         &TDataLines::CopyLinesSse2<4, true>}};
    const std::size_t count = mapper.RunByteCount();
    if (count >= std::size(kSse2[0]))
        return nullptr;
#if defined(MORVANE_HAVE_AVX2_KERNELS)
    static constexpr TCopyLines kAvx2[2][5] = {
        {&TDataLines::CopyLinesAvx2<0, false>, &TDataLines::CopyLinesAvx2<1, false>,
         &TDataLines::CopyLinesAvx2<2, false>, &TDataLines::CopyLinesAvx2<3, false>,
         &TDataLines::CopyLinesAvx2<4, false>},
        {&TDataLines::CopyLinesAvx2<0, true>, &TDataLines::CopyLinesAvx2<1, true>,
         &TDataLines::CopyLinesAvx2<2, true>, &TDataLines::CopyLinesAvx2<3, true>,
         &TDataLines::CopyLinesAvx2<4, true>}};
    if (kHaveAvx2)
        return kAvx2[withCell][count];
#endif
    return kSse2[withCell][count];
#else
    (void)withCell;
    return nullptr;
#endif
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
    constexpr unsigned char kControls[] = {kLF, kCR, kCtrlZ};
    const TVectorByteSet<V, 3> controls(kControls, 3);

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
                typename V::Vector hit;
                controls.Match(v, 3, hit);
                if constexpr (Count > 0) {
                    typename V::Vector mask;
                    set.Match(v, Count, mask);
                    V::Select(mask, with, v);
                }
                V::Store(reinterpret_cast<unsigned char*>(text) + i, v);
                if (const std::uint32_t bits = V::Bits(hit)) {
                    // Only an LF, or a CR with its LF right behind it, ends
                    // a plain line.
                    const std::size_t control = i + static_cast<std::size_t>(__builtin_ctz(bits));
                    if (line[control] == kLF)
                        lineLength = control + 1;
                    else if (line[control] == kCR && left - control >= 2 && line[control + 1] == kLF)
                        lineLength = control + 2;
                    else
                        goto stop;
                    textLength = control;
                    break;
                }
            }
            if constexpr (WithCell)
                CountOn(clock);
            text[textLength] = '\r';
            text[textLength + 1] = '\n';
            at = text + textLength + 2;
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
    const unsigned char* const base = reader_.Buffered();
    std::uint32_t ends[kLinesPerPass];
    bool special = false;
    std::size_t count =
        TLineReader::FindPlainLineEnds(base, reader_.BufferedSize(), ends, kLinesPerPass, &special);
    if (count == 0)
        return special ? TTaken::Special : TTaken::CutLine;

    // Where each line's text ends, told by the bytes as read: the map may
    // yet turn a byte in front of a bare LF into a CR.
    std::uint32_t textEnds[kLinesPerPass];
    bool allCrLf = true;
    for (std::size_t i = 0, from = 0; i < count; from = ends[i++] + std::size_t{1}) {
        const bool crLf = ends[i] > from && base[ends[i] - 1] == kCR;
        textEnds[i] = ends[i] - crLf;
        allCrLf = allCrLf && crLf;
    }

    const bool withCell = settings_.RelativeTime;
    std::int64_t secondsOf[kLinesPerPass] = {};
    if (withCell) {
        std::size_t from = 0;
        for (std::size_t i = 0; i < count; ++i) {
            if (!LineSeconds(reinterpret_cast<const char*>(base) + from, textEnds[i] - from, secondsOf[i])) {
                count = i;
                break;
            }
            from = ends[i] + 1;
        }
        if (count == 0)
            return TTaken::Special;
    }

    const bool alike = mapper_.MapsEveryOccurrenceAlike();
    const std::size_t through = ends[count - 1] + std::size_t{1};
    char* const run = !withCell && allCrLf && alike ? writer_.Reserve(through) : nullptr;
    if (run) {
        // The lines read as they will be written, breaks and all.
        mapper_.MapRun(base, reinterpret_cast<unsigned char*>(run), through);
        std::size_t from = 0;
        try {
            for (std::size_t i = 0; i < count; ++i) {
                reader_.ConsumeBuffered(ends[i] + 1 - from);
                from = ends[i] + 1;
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
    std::size_t from = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t lf = ends[i];
        ++lineNumber_;
        if (alike)
            WriteWithCell<true>(after, withCell, secondsOf[i], base + from, textEnds[i] - from);
        else
            WriteWithCell<false>(after, withCell, secondsOf[i], base + from, textEnds[i] - from);
        reader_.ConsumeBuffered(lf + 1 - from);
        sink_.SetValue(reader_.PositionInBlocks());
        from = lf + 1;
    }
    return TTaken::Lines;
}

// The relative time column with a map that needs no occurrence count: each
// line is read, given its cell and copied mapped into the write buffer in
// one go, leaving the read buffer as it is.
TTaken TDataLines::TakeLinesWithRelativeTime()
{
    const unsigned char* const base = reader_.Buffered();
    std::uint32_t ends[kLinesPerPass];
    bool special = false;
    const std::size_t count =
        TLineReader::FindPlainLineEnds(base, reader_.BufferedSize(), ends, kLinesPerPass, &special);
    if (count == 0)
        return special ? TTaken::Special : TTaken::CutLine;

    const std::string_view after = settings_.RelativeTimeSeparator;
    TLineReader& reader = reader_;
    IProgressSink& sink = sink_;
    std::size_t from = 0;
    std::size_t i = 0;
    for (; i < count; ++i) {
        const std::size_t lf = ends[i];
        const std::size_t length = (lf > from && base[lf - 1] == kCR ? lf - 1 : lf) - from;
        std::int64_t seconds = 0;
        if (!LineSeconds(reinterpret_cast<const char*>(base) + from, length, seconds))
            break;
        WriteWithCell<true>(after, true, seconds, base + from, length);
        reader.ConsumeBuffered(lf + 1 - from);
        sink.SetValue(reader.PositionInBlocks());
        from = lf + 1;
    }
    lineNumber_ += static_cast<std::int64_t>(i);
    return i != 0 ? TTaken::Lines : TTaken::Special;
}

// Whether every entry of a replacement list does to each separator what the
// rule beyond the list does, as the window's boxes do while they still hold
// their own separators. Such a list maps every occurrence alike, and without
// it whole runs of lines are mapped at once.
bool ListMapsAsBeyond(std::string_view separatorSet, const std::vector<std::string>& list,
                      std::string_view beyond)
{
    const auto setIsOnly = [separatorSet](char c) {
        return separatorSet.find_first_not_of(c) == std::string_view::npos;
    };
    const bool keptBeyond = beyond.empty() || setIsOnly(beyond[0]);
    return std::all_of(list.begin(), list.end(), [&](const std::string& entry) {
        if (entry.empty())
            return keptBeyond;
        return beyond.empty() ? setIsOnly(entry[0]) : entry[0] == beyond[0];
    });
}

const std::vector<std::string>& EffectiveList(const TConversionSettings& settings,
                                              const std::vector<std::string>& list)
{
    static const std::vector<std::string> none;
    return ListMapsAsBeyond(settings.SeparatorSet, list, settings.ReplacementBeyondList) ? none : list;
}

// The run into the file at outputPath, or into `output` when it is given.
void ConvertInto(const std::string& inputPath, const std::string& outputPath, ILineSink* output,
                 const TConversionSettings& settings, IProgressSink& sink, const TConvertFileOptions& options)
{
    if (options.FailedLine)
        *options.FailedLine = 0;
    if (options.OutputOpened)
        *options.OutputOpened = false;

    TLineReader reader(TLineReader::TReadFailure::Raise, options.ReadSize);
    if (!reader.Open(inputPath, options.WaitForWriter))
        throw EInOutError::CannotOpenPeFile(inputPath, reader.OpenError());
    // A sink finishes its own output; a file is written beside the output.
    std::optional<TOutputReplacement> replacement;
    TLineWriter writer(options.WriteBufferSize);
    if (output) {
        writer.Open(*output);
    } else {
        replacement.emplace(outputPath, reader.Identity());
        writer.Open(replacement->WritePath(), reader.Identity(), outputPath);
    }
    if (options.OutputOpened)
        *options.OutputOpened = replacement && replacement->WritesInPlace();

    sink.SetText("");
    sink.Show();
    sink.SetValue(0);
    sink.SetMaximum(reader.SizeInBlocks());

    std::exception_ptr error;
    try {
        const TLineMapper headerMapper(settings.SeparatorSet, EffectiveList(settings, settings.HeaderReplacements),
                                       settings.ReplacementBeyondList);
        const TLineMapper dataMapper(settings.SeparatorSet, EffectiveList(settings, settings.DataReplacements),
                                     settings.ReplacementBeyondList);
        std::string scratch;
        const std::string_view header = reader.ReadLineView(scratch);
        if (settings.RelativeTime)
            writer.Write(RelativeTimeHeaderCell(settings.RelativeTimeSeparator));
        WriteMappedLine(writer, headerMapper, header);
        sink.SetValue(reader.PositionInBlocks());

        TDataLines lines(reader, writer, dataMapper, settings, sink);
        try {
            lines.Run();
        } catch (const EConvertError&) {
            if (options.FailedLine)
                *options.FailedLine = lines.LineNumber();
            throw;
        }
        if (options.EndMark)
            *options.EndMark = reader.ExamineEndMark();
    } catch (const std::bad_alloc&) {
        error = std::make_exception_ptr(EOutOfMemory());
    } catch (...) {
        error = std::current_exception();
    }

    reader.Close();
    if (error) {
        // The first failure is the one the user needs to see; a sink is
        // left unfinished.
        writer.CloseAfterFailure();
    } else {
        try {
            writer.Close();
        } catch (const std::bad_alloc&) {
            error = std::make_exception_ptr(EOutOfMemory());
        } catch (...) {
            error = std::current_exception();
        }
    }
    if (!error && replacement) {
        try {
            replacement->Commit();
            if (options.OutputOpened)
                *options.OutputOpened = true;
        } catch (...) {
            error = std::current_exception();
        }
    }
    sink.SetText("finished");
    sink.SetPercent(100);
    if (error)
        std::rethrow_exception(error);
}

} // namespace

void ConvertFile(const std::string& inputPath, const std::string& outputPath,
                 const TConversionSettings& settings, IProgressSink& sink,
                 const TConvertFileOptions& options)
{
    ConvertInto(inputPath, outputPath, nullptr, settings, sink, options);
}

void ConvertFile(const std::string& inputPath, ILineSink& output, const TConversionSettings& settings,
                 IProgressSink& sink, const TConvertFileOptions& options)
{
    ConvertInto(inputPath, {}, &output, settings, sink, options);
}

} // namespace morvane
