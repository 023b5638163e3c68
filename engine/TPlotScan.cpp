#include "TPlotScan.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <exception>
#include <limits>
#include <memory>
#include <thread>

#include "DecimalNumber.h"
#include "EInOutError.h"
#include "EOutOfMemory.h"
#include "THalfThread.h"
#include "RelativeTime.h"
#include "TLineBatch.h"
#include "TLineMapper.h"
#include "TLocaleTimeSettings.h"
#include "TRelativeTimeState.h"
#include "TVectorWidth.h"
#include "TimeOfDay.h"

namespace morvane {

namespace {

constexpr std::size_t kClockTextLength = 8;
// The header and the first data line as far as the field list looks.
constexpr std::size_t kHeadLineLimit = 64 * 1024;
// A field longer than this is no number, as a worksheet holds no longer
// cell; it is not kept whole.
constexpr std::size_t kLongestNumber = 32767;

// Cuts a line, a piece at a time, into fields at the separators and reads
// the plotted ones as numbers; a line of any length takes no more memory.
class TFieldCutter {
    // What each plotted field read as, a cache line each: two threads cut
    // lines side by side, and fields sharing a line with the other
    // thread's would be fetched to and fro on every line.
    struct alignas(64) TRead {
        double Value = 0;
        bool Has = false;
    };

public:
    TFieldCutter(const TLineMapper& mapper, const std::string& separatorSet, const std::vector<std::size_t>& fields)
        : mapper_(mapper)
        , single_(separatorSet.size() == 1 ? separatorSet[0] : '\0')
        , plainNumbers_(separatorSet.find_first_of("0123456789+-.") == std::string::npos)
        , commaIsMark_(separatorSet.find(',') == std::string::npos)
        , read_(fields.size())
    {
        std::size_t last = 0;
        for (const std::size_t field : fields)
            last = std::max(last, field);
        slot_.assign(fields.empty() ? 0 : last + 1, kNoSlot);
        for (std::size_t k = 0; k < fields.size(); ++k)
            slot_[fields[k]] = k;
    }

    // A line that lies whole in memory, cut where it lies.
    void Cut(const char* p, std::size_t n)
    {
        if (!plainNumbers_) {
            CutByRule(p, n);
            return;
        }
        // One pass: each plotted field is read as a number where it stands,
        // and where the short form ends at a separator the field ends too.
        const char* const end = p + n;
        const std::size_t fields = slot_.size();
        for (std::size_t field = 0; field < fields; ++field) {
            const std::size_t slot = slot_[field];
            if (slot == kNoSlot)
                p = SkipField(p, end);
            else
                p = ReadField(p, end, slot);
            if (p == end) {
                for (++field; field < fields; ++field) {
                    if (slot_[field] != kNoSlot)
                        read_[slot_[field]].Has = false;
                }
                return;
            }
            ++p;
        }
    }

    void Start()
    {
        field_ = 0;
        length_ = 0;
        for (TRead& read : read_)
            read.Has = false;
    }

    void Feed(const char* p, std::size_t n)
    {
        for (std::size_t i = 0; i < n; ++i) {
            if (field_ >= slot_.size())
                return; // past the last plotted field
            const auto byte = static_cast<unsigned char>(p[i]);
            if (mapper_.IsSeparator(byte)) {
                Finish();
                ++field_;
                length_ = 0;
            } else if (slot_[field_] != kNoSlot) {
                if (length_ < kLongestNumber)
                    text_[length_] = static_cast<char>(byte);
                ++length_;
            }
        }
    }

    void End()
    {
        if (field_ < slot_.size())
            Finish();
    }

    bool Has(std::size_t k) const { return read_[k].Has; }
    double Value(std::size_t k) const { return read_[k].Value; }

private:
    static constexpr std::size_t kNoSlot = static_cast<std::size_t>(-1);

    bool IsSeparator(char byte) const { return mapper_.IsSeparator(static_cast<unsigned char>(byte)); }

    const char* SkipField(const char* p, const char* end) const
    {
        while (p != end && !IsSeparator(*p))
            ++p;
        return p;
    }

    // The field from `p`, read as a number into `slot`; returns its end.
    const char* ReadField(const char* p, const char* end, std::size_t slot)
    {
        bool read = false;
        const char* const stop = ScanShortDecimal(p, end, read_[slot].Value, read, commaIsMark_);
        if (read && (stop == end || IsSeparator(*stop))) {
            read_[slot].Has = true;
            return stop;
        }
        const char* fieldEnd = stop;
        while (fieldEnd != end && !IsSeparator(*fieldEnd))
            ++fieldEnd;
        read_[slot].Has = ReadDecimalNumber({p, static_cast<std::size_t>(fieldEnd - p)}, read_[slot].Value);
        return fieldEnd;
    }

    // For separator sets that hold a byte a number may hold: each field is
    // found first, then read.
    void CutByRule(const char* p, std::size_t n)
    {
        for (TRead& read : read_)
            read.Has = false;
        const std::size_t fields = slot_.size();
        const char* const end = p + n;
        const char* start = p;
        for (std::size_t field = 0; field < fields; ++field) {
            const char* stop = NextSeparator(start, end);
            const std::size_t slot = slot_[field];
            if (slot != kNoSlot)
                read_[slot].Has = ReadDecimalNumber({start, static_cast<std::size_t>(stop - start)}, read_[slot].Value);
            if (stop == end)
                break;
            start = stop + 1;
        }
    }

    const char* NextSeparator(const char* from, const char* end) const
    {
        if (single_) {
            const void* at = std::memchr(from, single_, static_cast<std::size_t>(end - from));
            return at ? static_cast<const char*>(at) : end;
        }
        while (from != end && !mapper_.IsSeparator(static_cast<unsigned char>(*from)))
            ++from;
        return from;
    }

    void Finish()
    {
        const std::size_t slot = slot_[field_];
        if (slot != kNoSlot)
            read_[slot].Has = length_ <= kLongestNumber && ReadDecimalNumber({text_.data(), length_}, read_[slot].Value);
    }

    const TLineMapper& mapper_;
    // The one separator byte, where the set has one (not NUL), found by memchr.
    const char single_;
    // No separator is a byte the short number form reads.
    const bool plainNumbers_;
    const bool commaIsMark_;
    std::vector<std::size_t> slot_; // field -> place in the plotted list
    std::vector<TRead> read_;
    std::size_t field_ = 0;
    std::size_t length_ = 0;
    std::vector<char> text_ = std::vector<char>(kLongestNumber);
};

// Places each data line in the buckets, as the relative time column counts.
class TPlotLines {
public:
    TPlotLines(const TPlotScanOptions& options, TPlotBuckets& buckets, const std::string& path)
        : acrossMidnight_(options.AcrossMidnight)
        , plainClock_(PlainClockFormApplies(LocaleTimeSettings()))
        , clockSeparator_(LocaleTimeSettings().ClockSeparator)
        , buckets_(buckets)
        , path_(path)
    {
    }

    // A reading from the first line of `from`.
    void ContinueFrom(const TLineBucket& from)
    {
        started_ = true;
        state_.StartTimeKnown = true;
        state_.StartTime = TimeOfDayOfMilliseconds(buckets_.StartMilliseconds);
        state_.PreviousMilliseconds = from.PreviousMilliseconds;
        state_.Day = from.Day;
        lastTime_ = from.PreviousTime;
    }

    // The second of two halves read apart: the first data line is known,
    // the clock state before the half is not. Lines without a time before
    // the half's first with one are tallied apart, as they stand at the
    // first half's last time; past midnight, times are kept as if no day
    // had begun before the half, from the day of its first time on.
    void StartSecondHalf(std::int32_t startMilliseconds, std::size_t firstLineSeparators)
    {
        started_ = second_ = waiting_ = true;
        buckets_.StartMilliseconds = startMilliseconds;
        buckets_.FirstLineSeparators = firstLineSeparators;
        state_.StartTimeKnown = true;
        state_.StartTime = TimeOfDayOfMilliseconds(startMilliseconds);
        state_.PreviousMilliseconds = startMilliseconds;
    }

    // Puts the second half's lines behind this half's, as one reading of
    // both would have placed them. False, with this half's buckets as they
    // were, where they would not land as that reading's (a time of the
    // second half before the start, a clock step back to before its first
    // day, buckets that do not line up).
    bool Append(TPlotLines& second, TPlotBuckets& secondBuckets)
    {
        if (second.waiting_) {
            AddLead(second.lead_);
            return true;
        }
        std::int64_t days = 0;
        if (acrossMidnight_) {
            TRelativeTimeState state = state_;
            MillisecondsIntoRun(state, second.firstMilliseconds_, true);
            days = state.Day;
        }
        if (second.unplaced_ || (days == 0 && second.beforeStart_))
            return false;
        const std::int64_t shift = days * TPlotBuckets::kDay;
        for (std::size_t b = 0; b < secondBuckets.Count(); ++b) {
            TLineBucket& line = secondBuckets.Line(b);
            if (line.Lines == 0)
                continue;
            if (line.FirstOffset == second.firstOffset_) {
                line.PreviousMilliseconds = state_.PreviousMilliseconds;
                line.Day = state_.Day;
                line.PreviousTime = lastTime_;
            } else {
                line.Day += days;
                line.PreviousTime += shift;
            }
        }
        if (!buckets_.Merge(secondBuckets, shift))
            return false;
        AddLead(second.lead_);
        return true;
    }

    void Take(std::int64_t offset, std::int64_t end, std::string_view clock, std::size_t separators,
              const TFieldCutter& cutter)
    {
        const std::int32_t previousMilliseconds = state_.PreviousMilliseconds;
        const std::int64_t day = state_.Day;
        const std::int64_t previousTime = lastTime_;
        std::int32_t milliseconds = 0;
        const bool hasTime = (plainClock_ && clock.size() == kClockTextLength &&
                              TryPlainClock(clock.data(), clockSeparator_, milliseconds)) ||
                             TryMillisecondOfDayFromBytes(clock, milliseconds);
        if (!started_) {
            if (!hasTime)
                throw EPlotInput("The first data line of " + path_ + " has no time of day: " +
                                 InvalidTimeMessage(clock) + ".");
            started_ = true;
            buckets_.StartMilliseconds = milliseconds;
            buckets_.FirstLineSeparators = separators;
        }
        const std::int64_t start = buckets_.StartMilliseconds;
        if (waiting_) {
            if (!hasTime) {
                TLineBucket one;
                one.Lines = one.ClockMarks = 1;
                one.FirstOffset = offset;
                one.EndOffset = end;
                one.SeparatorMarks = separators != buckets_.FirstLineSeparators;
                lead_.Merge(one);
                return;
            }
            waiting_ = false;
            firstOffset_ = offset;
            firstMilliseconds_ = milliseconds;
            if (acrossMidnight_) {
                state_.PreviousMilliseconds = milliseconds;
                buckets_.StartAt(milliseconds < start ? -TPlotBuckets::kDay : 0);
            }
        }
        std::int64_t time = lastTime_;
        if (hasTime) {
            const std::int64_t at = MillisecondsIntoRun(state_, milliseconds, acrossMidnight_);
            if (second_ && acrossMidnight_) {
                // Whether it lies before the start depends on the days before the half.
                time = at - start;
                beforeStart_ |= time < 0;
            } else {
                time = at >= start ? at - start : start - at;
            }
            lastTime_ = time;
        }
        const std::size_t bucket = buckets_.Place(time);
        if (bucket == TPlotBuckets::kNone) {
            unplaced_ |= second_;
            return;
        }
        TLineBucket& line = buckets_.Line(bucket);
        if (line.Lines == 0) {
            line.FirstOffset = offset;
            line.PreviousMilliseconds = previousMilliseconds;
            line.Day = day;
            line.PreviousTime = previousTime;
        }
        ++line.Lines;
        line.EndOffset = std::max(line.EndOffset, end);
        if (separators != buckets_.FirstLineSeparators)
            ++line.SeparatorMarks;
        if (!hasTime) {
            ++line.ClockMarks;
            return; // its values stand at no time of their own
        }
        for (std::size_t k = 0; k < buckets_.Fields(); ++k) {
            TValueBucket& value = buckets_.Value(bucket, k);
            if (cutter.Has(k))
                value.Add(time, cutter.Value(k));
            else
                ++value.Gaps;
        }
    }

private:
    // Lines without a time that stand at this half's last time, in the
    // bucket of the line that set it, which comes first.
    void AddLead(const TLineBucket& lead)
    {
        if (lead.Lines != 0)
            buckets_.Line(buckets_.Place(lastTime_)).Merge(lead);
    }

    const bool acrossMidnight_;
    const bool plainClock_;
    const char clockSeparator_;
    TPlotBuckets& buckets_;
    const std::string& path_;
    TRelativeTimeState state_;
    std::int64_t lastTime_ = 0;
    bool started_ = false;
    // Only for a second half: before its first line with a time, those
    // without, the first with, and what its times did.
    bool second_ = false;
    bool waiting_ = false;
    TLineBucket lead_;
    std::int64_t firstOffset_ = -1;
    std::int32_t firstMilliseconds_ = 0;
    bool beforeStart_ = false;
    bool unplaced_ = false;
};

// The line at the reader's position through the reader's line rules, a
// piece at a time.
void ReadOneLine(TLineReader& reader, const TLineMapper& mapper, TFieldCutter& cutter, TPlotLines& lines,
                 std::string& scratch)
{
    const std::int64_t offset = reader.Offset();
    bool ended = false;
    const std::string_view first = reader.ReadLinePiece(scratch, ended);
    char clock[kClockTextLength];
    const std::size_t clockLength = std::min(first.size(), kClockTextLength);
    std::copy_n(first.data(), clockLength, clock);
    std::size_t separators = mapper.CountSeparators(first.data(), first.size());
    cutter.Start();
    cutter.Feed(first.data(), first.size());
    while (!ended) {
        const std::string_view piece = reader.ReadLinePiece(scratch, ended);
        separators += mapper.CountSeparators(piece.data(), piece.size());
        cutter.Feed(piece.data(), piece.size());
    }
    cutter.End();
    lines.Take(offset, reader.Offset(), {clock, clockLength}, separators, cutter);
}

// The lines from the reader's position to the end of its input. False when
// the progress asked to stop.
bool ReadLines(TLineReader& reader, const TLineMapper& mapper, TFieldCutter& cutter, TPlotLines& lines,
               const TPlotProgress& progress)
{
    std::string scratch;
    while (!reader.AtEnd()) {
        // Whole plain lines where they lie in the read buffer; anything else
        // through the reader's line rules, a piece at a time.
        TLineBatch batch;
        batch.Find(reader.Buffered().data(), reader.Buffered().size());
        if (batch.Count > 0) {
            std::uint32_t separators[TLineBatch::kMaxLines];
            mapper.CountSeparatorsOfLines(batch.Base, batch.Lf, batch.Count, separators);
            const std::int64_t base = reader.Offset();
            for (std::size_t i = 0; i < batch.Count; ++i) {
                const char* text = reinterpret_cast<const char*>(batch.Text(i));
                const std::size_t length = batch.TextLength(i);
                cutter.Cut(text, length);
                lines.Take(base + static_cast<std::int64_t>(batch.Begin(i)),
                           base + static_cast<std::int64_t>(batch.End(i)),
                           {text, std::min(length, kClockTextLength)}, separators[i], cutter);
            }
            reader.ConsumeBuffered(batch.Span(0, batch.Count - 1));
        } else if (!batch.MetSpecial && reader.FetchBehindBuffered()) {
            continue;
        } else {
            ReadOneLine(reader, mapper, cutter, lines, scratch);
        }
        if (progress && !progress(reader.Offset(), reader.Size()))
            return false;
    }
    return true;
}

// The second half of a large input, read on a thread of its own from the
// first line that starts in it into buckets of its own, while the caller
// reads the first half; the caller then puts them behind its own.
class TSecondPlotHalf {
public:
    TSecondPlotHalf(const TPlotScanOptions& options, const std::string& path, const TPlotBuckets& first)
        : path_(path)
        , reader_(TLineReader::TReadFailure::Raise, options.ReadSize)
        , buckets_(options.Fields.size(), options.Buckets)
        , mapper_(options.SeparatorSet, {})
        , cutter_(mapper_, options.SeparatorSet, options.Fields)
        , lines_(options, buckets_, path_)
    {
        lines_.StartSecondHalf(first.StartMilliseconds, first.FirstLineSeparators);
    }

    // False when the input has no line that starts in its second half, the
    // path no longer leads to the file `first` reads, or no thread can be
    // started.
    bool Start(const TLineReader& first)
    {
        if (!THalfThread::OpenSecondHalf(reader_, path_, first))
            return false;
        from_ = reader_.Offset();
        return thread_.Start([this](const std::stop_token& stop) { Run(stop); });
    }

    // Where the second half begins, the first ends.
    std::int64_t From() const { return from_; }
    // Bytes read so far, for the progress.
    std::int64_t Done() const { return done_.load(std::memory_order_relaxed); }
    bool WaitFor(std::chrono::milliseconds time) { return thread_.WaitFor(time); }
    // Once it has finished: raises what the reading raised.
    void RaiseError() const
    {
        if (error_)
            std::rethrow_exception(error_);
    }
    TPlotLines& Lines() { return lines_; }
    TPlotBuckets& Buckets() { return buckets_; }

private:
    void Run(const std::stop_token& stop)
    {
        try {
            ReadLines(reader_, mapper_, cutter_, lines_, [&](std::int64_t at, std::int64_t) {
                done_.store(at - from_, std::memory_order_relaxed);
                return !stop.stop_requested();
            });
        } catch (const std::bad_alloc&) {
            error_ = std::make_exception_ptr(EOutOfMemory());
        } catch (...) {
            error_ = std::current_exception();
        }
    }

    const std::string path_;
    TLineReader reader_;
    TPlotBuckets buckets_;
    const TLineMapper mapper_;
    TFieldCutter cutter_;
    TPlotLines lines_;
    std::int64_t from_ = -1;
    std::atomic<std::int64_t> done_{0};
    std::exception_ptr error_;
    THalfThread thread_; // last
};

void Open(TLineReader& reader, const std::string& path)
{
    TVectorWidth::Process();
    if (const TOpened opened = reader.Open(path); !opened)
        throw EInOutError::CannotOpenPeFile(path, opened.Error);
}

void SkipLine(TLineReader& reader)
{
    std::string scratch;
    bool ended = false;
    do
        reader.ReadLinePiece(scratch, ended);
    while (!ended);
}

std::vector<std::string> CutFields(std::string_view line, std::string_view separatorSet)
{
    std::vector<std::string> fields(1);
    for (const char byte : line) {
        if (separatorSet.find(byte) != std::string_view::npos)
            fields.emplace_back();
        else
            fields.back() += byte;
    }
    return fields;
}

} // namespace

TPlotHead TPlotScan::ReadHead(const std::string& path, const std::string& separatorSet)
{
    TLineReader reader(TLineReader::TReadFailure::Raise);
    Open(reader, path);
    if (reader.AtEnd())
        throw EPlotInput("The PE file " + path + " is empty: there is nothing to plot.");
    std::string header;
    ReadLine(reader, header, kHeadLineLimit);
    if (reader.AtEnd())
        throw EPlotInput("The PE file " + path + " has no data line: there is nothing to plot.");
    std::string data;
    ReadLine(reader, data, kHeadLineLimit);
    std::int32_t milliseconds = 0;
    const std::string_view clock = std::string_view(data).substr(0, kClockTextLength);
    if (!TryMillisecondOfDayFromBytes(clock, milliseconds))
        throw EPlotInput("The first data line of " + path + " has no time of day: " +
                         InvalidTimeMessage(clock) + ".");

    TPlotHead head;
    head.Names = CutFields(header, separatorSet);
    head.Header = std::move(header);
    const std::vector<std::string> values = CutFields(data, separatorSet);
    head.Names.resize(std::max(head.Names.size(), values.size()));
    head.Numeric.assign(head.Names.size(), false);
    for (std::size_t k = 0; k < values.size(); ++k) {
        double value = 0;
        head.Numeric[k] = ReadDecimalNumber(values[k], value);
    }
    return head;
}

TPlotBuckets TPlotScan::ReadWhole(const std::string& path, const TPlotScanOptions& options,
                                  const TPlotProgress& progress)
{
    TLineReader reader(TLineReader::TReadFailure::Raise, options.ReadSize);
    Open(reader, path);
    if (reader.AtEnd())
        throw EPlotInput("The PE file " + path + " is empty: there is nothing to plot.");
    SkipLine(reader);
    if (reader.AtEnd())
        throw EPlotInput("The PE file " + path + " has no data line: there is nothing to plot.");

    TPlotBuckets buckets(options.Fields.size(), options.Buckets);
    const TLineMapper mapper(options.SeparatorSet, {});
    TFieldCutter cutter(mapper, options.SeparatorSet, options.Fields);
    TPlotLines lines(options, buckets, path);
    // The first data line sets the start and the separator count for both halves.
    std::string scratch;
    ReadOneLine(reader, mapper, cutter, lines, scratch);

    // On the heap, away from this thread's own state.
    std::unique_ptr<TSecondPlotHalf> second;
    if (options.SecondThreadFrom > 0 && reader.Size() >= options.SecondThreadFrom &&
        std::thread::hardware_concurrency() > 1) {
        second = std::make_unique<TSecondPlotHalf>(options, path, buckets);
        if (!second->Start(reader) || second->From() <= reader.Offset() || !reader.EndAt(second->From()))
            second.reset();
    }
    if (!second) {
        ReadLines(reader, mapper, cutter, lines, progress);
        return buckets;
    }
    const auto both = [&](std::int64_t at, std::int64_t size) {
        return !progress || progress(at + second->Done(), size);
    };
    // Stopped, it gives what the first half has; the second stops with its
    // thread as it goes.
    if (!ReadLines(reader, mapper, cutter, lines, both))
        return buckets;
    while (!second->WaitFor(std::chrono::milliseconds(20))) {
        if (!both(reader.Offset(), reader.Size()))
            return buckets;
    }
    second->RaiseError();
    reader.EndAt(-1);
    // An input that ended at a Ctrl-Z in the first half has no second.
    if (reader.AtEnd())
        return buckets;
    if (lines.Append(second->Lines(), second->Buckets())) {
        buckets.ReadInHalves = true;
        if (progress)
            progress(reader.Size(), reader.Size());
        return buckets;
    }
    // Its buckets would not land as one reading's: the rest is read here.
    second.reset();
    ReadLines(reader, mapper, cutter, lines, progress);
    return buckets;
}

TPlotBuckets TPlotScan::ReadSpan(const std::string& path, const TPlotScanOptions& options,
                                 const TPlotBuckets& whole, std::int64_t from, std::int64_t to,
                                 const TPlotProgress& progress)
{
    TPlotBuckets buckets(options.Fields.size(), options.Buckets, from, to);
    buckets.StartMilliseconds = whole.StartMilliseconds;
    buckets.FirstLineSeparators = whole.FirstLineSeparators;
    // Every line of the span lies in a bucket of the whole that meets it;
    // the earliest of them starts the reading, the latest ends it.
    const TLineBucket* first = nullptr;
    std::int64_t end = 0;
    const std::size_t past = std::min(whole.Count(), whole.BucketAt(to - 1) + 1);
    for (std::size_t b = whole.BucketAt(from); b < past; ++b) {
        const TLineBucket& line = whole.Line(b);
        if (line.Lines == 0)
            continue;
        if (!first || line.FirstOffset < first->FirstOffset)
            first = &line;
        end = std::max(end, line.EndOffset);
    }
    if (!first)
        return buckets;

    TLineReader reader(TLineReader::TReadFailure::Raise, options.ReadSize);
    TVectorWidth::Process();
    if (const TOpened opened = reader.Open(path, {.From = first->FirstOffset}); !opened)
        throw EInOutError::CannotOpenPeFile(path, opened.Error);
    reader.EndAt(end);
    const TLineMapper mapper(options.SeparatorSet, {});
    TFieldCutter cutter(mapper, options.SeparatorSet, options.Fields);
    TPlotLines lines(options, buckets, path);
    lines.ContinueFrom(*first);
    ReadLines(reader, mapper, cutter, lines, progress);
    return buckets;
}

} // namespace morvane
