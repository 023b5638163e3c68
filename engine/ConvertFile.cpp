#include "ConvertFile.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <charconv>
#include <cstring>
#include <exception>
#include <new>
#include <string_view>
#include <vector>

#include "EConvertError.h"
#include "EInOutError.h"
#include "EOutOfMemory.h"
#include "RelativeTime.h"
#include "TLineMapper.h"
#include "TLocaleTimeSettings.h"
#include "TRelativeTimeState.h"
#include "TimeOfDay.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace morvane {

namespace {

void WriteMappedLine(TLineWriter& writer, const TLineMapper& mapper, std::string_view line)
{
    writer.WriteLineWith(line.size(),
                         [&](char* destination) { mapper.MapInto(line.data(), line.size(), destination); });
}

constexpr unsigned char kCR = 13;
constexpr std::size_t kClockTextLength = 8;
// Lines taken from the read buffer in one go: enough to make the passes over
// them cheap, few enough that they are still in the cache for the last.
constexpr std::size_t kLinesPerPass = 256;

// Bytes of the read buffer that go to the output unchanged once mapped in
// place (whole lines ending in CR LF), held back so that they reach the
// writer as one piece, written straight from where they lie.
class TPendingRun {
public:
    explicit TPendingRun(TLineWriter& writer) : pendingWriter_(&writer) {}

    void Add(const unsigned char* bytes, std::size_t n)
    {
        if (size_ != 0 && begin_ + size_ != bytes) {
            pendingWriter_->Write(View());
            size_ = 0;
        }
        if (size_ == 0)
            begin_ = bytes;
        size_ += n;
    }
    // Takes back the last n bytes added, which have not been written yet.
    void DropLast(std::size_t n)
    {
        assert(n <= size_ && "DropLast takes back only bytes still pending");
        size_ -= n;
    }
    void Flush()
    {
        if (size_ != 0) {
            const std::string_view run = View();
            size_ = 0;
            pendingWriter_->Write(run);
        }
    }

private:
    std::string_view View() const { return {reinterpret_cast<const char*>(begin_), size_}; }

    TLineWriter* pendingWriter_;
    const unsigned char* begin_ = nullptr;
    std::size_t size_ = 0;
};

// What the relative time column of the fast way keeps for a run: the start
// time as milliseconds of the day, known once the relative time state has
// one, and whether clock texts may be read in their plain form.
struct TClockReading {
    bool StartKnown = false;
    std::int64_t Start = 0;
    bool PlainForm = false;
    char Separator = ':';
    // The last count written (-1 while there is none) and its digits:
    // successive lines mostly repeat it or add one second.
    std::int64_t LastCount = -1;
    std::uint64_t LastDigits = 0;
    std::size_t LastLength = 1;
    // Counting on: after a line whose clock is a whole second, the eight
    // bytes of the next second's plain form, its milliseconds and its count,
    // which is one more than the line's past the start and one less before
    // it. Almost every line of a recording holds exactly that. Counting on
    // stops where the next second would reach CountOnLimit: midnight, or
    // (counting down) a second past the start.
    bool CountsOn = false;
    std::uint64_t NextClock = 0;
    std::int32_t NextMilliseconds = 0;
    std::int64_t NextSeconds = 0;
    std::int64_t CountStep = 1;
    std::int32_t CountOnLimit = 0;
};

// Two decimal digits for each number below 100.
constexpr char kDigitPairs[] = "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
                               "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
                               "8081828384858687888990919293949596979899";

inline char* WritePair(char* at, std::uint32_t n)
{
    at[0] = kDigitPairs[2 * n];
    at[1] = kDigitPairs[2 * n + 1];
    return at + 2;
}

// The decimal digits of a count of seconds; a day has fewer than 100 000.
// Two digits at a time keep the chain of divisions short.
inline char* WriteCount(char* at, std::int64_t count, std::size_t room)
{
    if (count < 0 || count >= 100'000)
        return std::to_chars(at, at + room, count).ptr;
    const auto n = static_cast<std::uint32_t>(count);
    if (n < 10) {
        *at = static_cast<char>('0' + n);
        return at + 1;
    }
    if (n < 100)
        return WritePair(at, n);
    const std::uint32_t high = n / 100;
    const std::uint32_t low = n % 100;
    if (n < 1000) {
        *at++ = static_cast<char>('0' + high);
    } else if (n < 10'000) {
        at = WritePair(at, high);
    } else {
        *at++ = static_cast<char>('0' + high / 100);
        at = WritePair(at, high % 100);
    }
    return WritePair(at, low);
}

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
    if (length >= 7)
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

// WriteCount, reusing the digits of the previous line's count. They are
// kept as one word in the order they are written, so that neither adding a
// second nor writing them out goes through single bytes.
inline char* WriteCountAfter(char* at, std::int64_t count, TClockReading& clocks)
{
    if (count != clocks.LastCount) {
        if (clocks.LastCount >= 0 && count == clocks.LastCount + 1 &&
            AddOneToDigits(clocks.LastDigits, clocks.LastLength)) {
        } else if (clocks.LastCount > 0 && count == clocks.LastCount - 1 &&
                   TakeOneFromDigits(clocks.LastDigits, clocks.LastLength)) {
        } else if (std::endian::native == std::endian::little && count >= 0 && count < 100'000) {
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
            clocks.LastDigits = digits;
            clocks.LastLength = length;
        } else {
            clocks.LastCount = -1;
            return WriteCount(at, count, 24);
        }
        clocks.LastCount = count;
    }
    // All eight bytes, in the room the caller has: those past the digits are
    // overwritten next.
    std::memcpy(at, &clocks.LastDigits, 8);
    return at + clocks.LastLength;
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

// Reads the clock text at the start of a line of `textLength` bytes, in
// its plain form where the regional settings allow, else by the general
// scanner; the first clock of a run becomes its start. False when the text
// is no time of day: the general way then raises for it.
inline bool ReadLineClock(const char* text, std::size_t textLength, TClockReading& clocks,
                          TRelativeTimeState& state, std::int32_t& milliseconds)
{
    const std::size_t length = std::min(textLength, kClockTextLength);
    const bool plain = clocks.PlainForm && length == kClockTextLength &&
                       TryPlainClock(text, clocks.Separator, milliseconds);
    if (!plain && !TryMillisecondOfDayFromBytes({text, length}, milliseconds))
        return false;
    if (!state.StartTimeKnown) {
        state.StartTime = TimeOfDayOfMilliseconds(milliseconds);
        state.StartTimeKnown = true;
    }
    if (!clocks.StartKnown) {
        clocks.Start = MillisecondsOfTimeOfDay(state.StartTime);
        clocks.StartKnown = true;
    }
    return true;
}

// Whole seconds between a clock and the run's start, without direction.
inline std::int64_t SecondsSinceStart(std::int32_t milliseconds, const TClockReading& clocks)
{
    const std::int64_t ms = milliseconds;
    return (ms >= clocks.Start ? ms - clocks.Start : clocks.Start - ms) / 1000;
}

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

// Counting on from a line whose clock read as `milliseconds`, `seconds`
// from the start.
inline void CountOnFrom(TClockReading& clocks, std::int32_t milliseconds, std::int64_t seconds)
{
    clocks.CountsOn = false;
    if (!clocks.PlainForm || milliseconds % 1000 != 0)
        return;
    const std::int32_t next = milliseconds + 1000;
    if (milliseconds >= clocks.Start) {
        // Past the start one second more is one more whole second away.
        clocks.CountStep = 1;
        clocks.CountOnLimit = kMillisecondsPerDay;
    } else {
        // Before it one second less away, for as long as the next second is
        // not past the start.
        clocks.CountStep = -1;
        clocks.CountOnLimit = static_cast<std::int32_t>(clocks.Start) + 1;
    }
    if (next >= clocks.CountOnLimit)
        return;
    clocks.CountsOn = true;
    clocks.NextMilliseconds = next;
    clocks.NextSeconds = seconds + clocks.CountStep;
    clocks.NextClock = PlainClockText(next, clocks.Separator);
}

// The whole seconds between a line's clock, read, and the run's start; kept
// out of line, as only the few lines that are not counted on come here.
[[gnu::noinline]] bool ReadLineSeconds(const char* text, std::size_t length, TClockReading& clocks,
                                       TRelativeTimeState& state, std::int64_t& seconds)
{
    std::int32_t milliseconds = 0;
    if (!ReadLineClock(text, length, clocks, state, milliseconds))
        return false;
    seconds = SecondsSinceStart(milliseconds, clocks);
    CountOnFrom(clocks, milliseconds, seconds);
    return true;
}

// The whole seconds between a line's clock and the run's start: counted on
// from the line before when its eight bytes are the next second's plain
// form, else read. False when the clock text is no time of day.
[[gnu::always_inline]] inline bool LineSeconds(const char* text, std::size_t length, TClockReading& clocks,
                                               TRelativeTimeState& state, std::int64_t& seconds)
{
    if (clocks.CountsOn && length >= kClockTextLength) {
        std::uint64_t word;
        std::memcpy(&word, text, sizeof word);
        if (word == clocks.NextClock) {
            seconds = clocks.NextSeconds;
            const std::int32_t next = clocks.NextMilliseconds + 1000;
            if (next >= clocks.CountOnLimit) {
                clocks.CountsOn = false;
                return true;
            }
            clocks.NextMilliseconds = next;
            clocks.NextSeconds = seconds + clocks.CountStep;
            // The seconds' digits are the two highest bytes of a
            // little-endian word: the last alone moves nine times out of
            // ten, the two of them together all but once a minute.
            constexpr unsigned last = 56;
            constexpr unsigned tens = 48;
            if (std::endian::native == std::endian::little && (word >> last & 0xff) != '9')
                clocks.NextClock = word + (std::uint64_t{1} << last);
            else if (std::endian::native == std::endian::little && (word >> tens & 0xff) != '5')
                clocks.NextClock = word - (std::uint64_t{9} << last) + (std::uint64_t{1} << tens);
            else
                clocks.NextClock = PlainClockText(next, clocks.Separator);
            return true;
        }
    }
    return ReadLineSeconds(text, length, clocks, state, seconds);
}

// What a try at taking lines straight from the read buffer came to.
enum class TTaken {
    Lines,    // one line or more
    CutLine,  // the next line runs past the buffered bytes
    Special,  // the next line needs the general way (which also raises for a
              // bad clock text)
};

// Takes the whole plain lines at the read position straight out of the read
// buffer: their clock texts are read first (when asked for), then they are
// mapped in place, then each goes out, from the buffer it lies in where
// nothing is put in front of it and it ends in CR LF. Every line costs the
// sink what the general way costs it.
TTaken TakePlainLines(TLineReader& reader, TLineWriter& writer, TPendingRun& pending,
                    const TLineMapper& mapper, const TConversionSettings& settings,
                    TRelativeTimeState& state, TClockReading& clocks, IProgressSink& sink,
                    std::int64_t& lineNumber)
{
    unsigned char* const base = reader.Buffered();
    std::uint32_t ends[kLinesPerPass];
    bool special = false;
    std::size_t count =
        TLineReader::FindPlainLineEnds(base, reader.BufferedSize(), ends, kLinesPerPass, &special);
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

    std::int64_t secondsOf[kLinesPerPass] = {};
    if (settings.RelativeTime) {
        std::size_t from = 0;
        for (std::size_t i = 0; i < count; ++i) {
            if (!LineSeconds(reinterpret_cast<const char*>(base) + from, textEnds[i] - from, clocks, state,
                             secondsOf[i])) {
                count = i;
                break;
            }
            from = ends[i] + 1;
        }
        if (count == 0)
            return TTaken::Special;
    }

    const std::size_t through = ends[count - 1] + std::size_t{1};
    if (mapper.MapsEveryOccurrenceAlike()) {
        mapper.MapRun(base, through);
    } else {
        std::size_t from = 0;
        for (std::size_t i = 0; i < count; ++i) {
            char* line = reinterpret_cast<char*>(base) + from;
            mapper.MapInto(line, textEnds[i] - from, line);
            from = ends[i] + 1;
        }
    }

    if (!settings.RelativeTime && allCrLf) {
        // The lines read as they will be written: they go out from here.
        pending.Add(base, through);
        std::size_t from = 0;
        try {
            for (std::size_t i = 0; i < count; ++i) {
                reader.ConsumeBuffered(ends[i] + 1 - from);
                from = ends[i] + 1;
                sink.SetValue(reader.PositionInBlocks());
            }
        } catch (...) {
            // Lines the sink has not been told of were not written yet.
            pending.DropLast(through - from);
            throw;
        }
        lineNumber += static_cast<std::int64_t>(count);
        return TTaken::Lines;
    }

    const std::string_view after =
        settings.RelativeTime ? std::string_view(settings.RelativeTimeSeparator) : std::string_view();
    // Room for any count, so that its digits go straight to the output.
    constexpr std::size_t kCountRoom = 24;
    std::size_t from = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t lf = ends[i];
        const std::size_t end = textEnds[i];
        ++lineNumber;
        if (!settings.RelativeTime && end != lf) {
            pending.Add(base + from, lf + 1 - from);
        } else {
            pending.Flush();
            const std::int64_t seconds = secondsOf[i];
            const std::string_view text(reinterpret_cast<const char*>(base) + from, end - from);
            if (char* const begin = writer.Reserve(kCountRoom + after.size() + text.size() + 2)) {
                char* at = begin;
                if (settings.RelativeTime)
                    at = WriteCount(at, seconds, kCountRoom);
                CopyShort(at, after.data(), after.size());
                at += after.size();
                CopyShort(at, text.data(), text.size());
                at += text.size();
                at[0] = '\r';
                at[1] = '\n';
                writer.Commit(static_cast<std::size_t>(at + 2 - begin));
            } else {
                char cell[kCountRoom];
                const char* cellEnd = settings.RelativeTime ? std::to_chars(cell, cell + kCountRoom, seconds).ptr : cell;
                writer.Write({cell, static_cast<std::size_t>(cellEnd - cell)});
                writer.Write(after);
                writer.WriteLine(text);
            }
        }
        reader.ConsumeBuffered(lf + 1 - from);
        sink.SetValue(reader.PositionInBlocks());
        from = lf + 1;
    }
    return TTaken::Lines;
}

// The relative time column with a map that needs no occurrence count: each
// line is read, given its cell and copied mapped into the write buffer in
// one go, leaving the read buffer as it is.
TTaken TakeLinesWithRelativeTime(TLineReader& reader, TLineWriter& writer, const TLineMapper& mapper,
                                 const TConversionSettings& settings, TRelativeTimeState& state,
                                 TClockReading& clocks, IProgressSink& sink, std::int64_t& lineNumber)
{
    const unsigned char* const base = reader.Buffered();
    std::uint32_t ends[kLinesPerPass];
    bool special = false;
    const std::size_t count =
        TLineReader::FindPlainLineEnds(base, reader.BufferedSize(), ends, kLinesPerPass, &special);
    if (count == 0)
        return special ? TTaken::Special : TTaken::CutLine;

    const std::string_view after = settings.RelativeTimeSeparator;
    constexpr std::size_t kCountRoom = 24;
    std::size_t from = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t lf = ends[i];
        const std::size_t length = (lf > from && base[lf - 1] == kCR ? lf - 1 : lf) - from;
        const char* const text = reinterpret_cast<const char*>(base) + from;
        std::int64_t seconds = 0;
        if (!LineSeconds(text, length, clocks, state, seconds))
            return i == 0 ? TTaken::Special : TTaken::Lines;
        ++lineNumber;
        if (char* const begin = writer.Reserve(kCountRoom + after.size() + length + 2)) {
            char* at = WriteCountAfter(begin, seconds, clocks);
            if (after.size() == 1)
                *at = after[0];
            else
                CopyShort(at, after.data(), after.size());
            at += after.size();
            mapper.MapTextCopy(base + from, reinterpret_cast<unsigned char*>(at), length);
            at += length;
            at[0] = '\r';
            at[1] = '\n';
            writer.Commit(static_cast<std::size_t>(at + 2 - begin));
        } else {
            char cell[kCountRoom];
            const char* cellEnd = WriteCount(cell, seconds, kCountRoom);
            writer.Write({cell, static_cast<std::size_t>(cellEnd - cell)});
            writer.Write(after);
            writer.WriteLine(mapper.Map({text, length}));
        }
        reader.ConsumeBuffered(lf + 1 - from);
        sink.SetValue(reader.PositionInBlocks());
        from = lf + 1;
    }
    return TTaken::Lines;
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

} // namespace

void ConvertFile(const std::string& inputPath, const std::string& outputPath,
                 const TConversionSettings& settings, IProgressSink& sink,
                 const TConvertFileOptions& options)
{
    if (options.FailedLine)
        *options.FailedLine = 0;

    TLineReader reader(TLineReader::TReadFailure::Raise, options.ReadSize);
    if (!reader.Open(inputPath))
        throw EInOutError::CannotOpenPeFile(inputPath, reader.OpenError());
    TLineWriter writer(options.WriteBufferSize);
    writer.Open(outputPath, reader.Identity());

    TRelativeTimeState state;
    sink.SetText("");
    sink.Show();
    sink.SetValue(0);
    sink.SetMaximum(reader.SizeInBlocks());

    std::exception_ptr error;
    std::int64_t lineNumber = 1;
    // Lines taken whole from the read buffer wait there to be written in one
    // piece; they must be out before anything else is written and before the
    // buffer is refilled under them.
    TPendingRun pending(writer);
    try {
        const TLineMapper headerMapper(settings.SeparatorSet, EffectiveList(settings, settings.HeaderReplacements),
                                       settings.ReplacementBeyondList);
        const TLineMapper dataMapper(settings.SeparatorSet, EffectiveList(settings, settings.DataReplacements),
                                     settings.ReplacementBeyondList);
        std::string scratch;
        std::string cell;
        TClockReading clocks;
        clocks.PlainForm = PlainClockFormApplies(LocaleTimeSettings());
        clocks.Separator = LocaleTimeSettings().ClockSeparator;

        std::string_view line = reader.ReadLineView(scratch);
        if (settings.RelativeTime)
            writer.Write(RelativeTimeHeaderCell(settings.RelativeTimeSeparator));
        WriteMappedLine(writer, headerMapper, line);
        sink.SetValue(reader.PositionInBlocks());

        for (;;) {
            if (reader.BufferedSize() == 0)
                pending.Flush();
            if (reader.AtEnd())
                break;
            // Counting on past midnight goes the general way only.
            const TTaken taken =
                settings.RelativeTime && settings.AcrossMidnight ? TTaken::Special
                : settings.RelativeTime && dataMapper.MapsEveryOccurrenceAlike()
                    ? TakeLinesWithRelativeTime(reader, writer, dataMapper, settings, state, clocks, sink,
                                                lineNumber)
                    : TakePlainLines(reader, writer, pending, dataMapper, settings, state, clocks, sink,
                                     lineNumber);
            if (taken == TTaken::Lines)
                continue;
            pending.Flush();
            if (taken == TTaken::CutLine && reader.FetchBehindBuffered())
                continue;
            ++lineNumber;
            line = reader.ReadLineView(scratch);
            if (settings.RelativeTime) {
                try {
                    cell.clear();
                    AppendRelativeTimeCell(cell, line, state, settings.RelativeTimeSeparator,
                                           settings.AcrossMidnight);
                    writer.Write(cell);
                } catch (const EConvertError&) {
                    if (options.FailedLine)
                        *options.FailedLine = lineNumber;
                    throw;
                }
            }
            WriteMappedLine(writer, dataMapper, line);
            sink.SetValue(reader.PositionInBlocks());
        }
        pending.Flush();
    } catch (const std::bad_alloc&) {
        error = std::make_exception_ptr(EOutOfMemory());
    } catch (...) {
        error = std::current_exception();
    }

    try {
        // Lines the sink has already been told of belong in the output even
        // when the sink then failed.
        pending.Flush();
    } catch (...) {
        if (!error)
            error = std::current_exception();
    }
    reader.Close();
    try {
        writer.Close();
    } catch (...) {
        // The first failure is the one the user needs to see.
        if (!error)
            error = std::current_exception();
    }
    sink.SetText("finished");
    sink.SetPercent(100);
    if (error)
        std::rethrow_exception(error);
}

} // namespace morvane
