#include "TPlotScan.h"

#include <algorithm>
#include <atomic>
#include <bit>
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
#include "TNumberRun.h"
#include "TLocaleTimeSettings.h"
#include "TRelativeTimeState.h"
#include "TRunLanes.h"
#include "TVectorWidth.h"
#include "TimeOfDay.h"

namespace morvane {

namespace {

constexpr std::size_t kClockTextLength = 8;
constexpr std::int32_t kLastSecond = 86'399'000;
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

// A plotted field in the line's order: how many fields lie between it and
// the plotted one before, and its place in the plotted list.
struct TFieldStep {
    std::size_t Skip;
    std::size_t Slot;
};

std::vector<TFieldStep> FieldSteps(const std::vector<std::size_t>& fields)
{
    std::vector<std::size_t> order(fields.size());
    for (std::size_t k = 0; k < order.size(); ++k)
        order[k] = k;
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return fields[a] < fields[b]; });
    std::vector<TFieldStep> steps;
    std::size_t next = 0; // the first field not passed yet
    for (const std::size_t k : order) {
        steps.push_back({fields[k] - next, k});
        next = fields[k] + 1;
    }
    return steps;
}

// The places of a batch line's separators, in order, from the bits the
// separator count of the batch leaves: 64 of the line's bytes at a time.
class TSeparators {
public:
    TSeparators(const std::uint64_t* bits, std::size_t start, std::size_t n)
        : bits_(bits), start_(start), n_(n), word_(Window(0)), head_(word_)
    {
    }

    // The bits of the line's first 64 bytes, as they were before any Next.
    std::uint64_t Head() const { return head_; }

    // The next separator's place from the line's start; n where none is left.
    std::size_t Next()
    {
        while (word_ == 0) {
            if (n_ - at_ <= 64)
                return n_;
            at_ += 64;
            word_ = Window(at_);
        }
        const std::size_t place = at_ + static_cast<std::size_t>(std::countr_zero(word_));
        word_ &= word_ - 1;
        return place;
    }

private:
    // The bits of the line's bytes from `at` on, none past its end.
    std::uint64_t Window(std::size_t at) const
    {
        const std::size_t bit = start_ + at;
        const std::size_t word = bit / 64;
        const unsigned shift = bit % 64;
        std::uint64_t window = bits_[word] >> shift;
        if (shift != 0)
            window |= bits_[word + 1] << (64 - shift);
        const std::size_t left = n_ - at;
        return left < 64 ? window & ((std::uint64_t{1} << left) - 1) : window;
    }

    const std::uint64_t* bits_;
    const std::size_t start_;
    const std::size_t n_;
    std::size_t at_ = 0;
    std::uint64_t word_;
    const std::uint64_t head_;
};

// A whole line of a batch, where it lies in the read buffer (whose bytes up
// to `Readable` may be read past its end), and its separators' bits.
struct TBatchLine {
    const char* Text;
    std::size_t Length;
    const std::uint64_t* Bits;
    // Where the line starts in the bits.
    std::size_t Start;
    const char* Readable;
};

// The plain clock form followed from line to line: after a clock read in
// it, its eight bytes, those of the next second and that second's
// milliseconds of the day, so that the lines after it, which mostly carry
// the same clock or the next second's, need only a comparison.
struct TClockFollow {
    bool Counting = false;
    std::uint64_t Last = 0;
    std::uint64_t Next = 0;
    std::int32_t NextMilliseconds = 0;

    // After the clock `word` at `milliseconds` of the day.
    void CountOn(std::uint64_t word, std::int32_t milliseconds, char separator)
    {
        // The second before midnight has no next one within the day.
        Counting = milliseconds < kLastSecond;
        Last = word;
        NextMilliseconds = milliseconds + 1000;
        if (Counting)
            Next = NextPlainClockText(word, NextMilliseconds, separator);
    }
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
        , steps_(FieldSteps(options.Fields))
        , fields_(buckets.Fields())
        , lanesUsable_(TRunLanes::Usable() && !steps_.empty() && steps_.size() <= TRunLanes::kLanes)
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
        // Reading a span, a line outside it is dropped by one reading too.
        if ((second.unplaced_ && buckets_.Grows()) || (days == 0 && second.beforeStart_))
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

    // A line whose fields the cutter read.
    void Take(std::int64_t offset, std::int64_t end, std::string_view clock, std::size_t separators,
              const TFieldCutter& cutter)
    {
        StopLanes();
        std::size_t bucket = 0;
        std::int64_t time = 0;
        if (!Place(offset, end, clock, separators, bucket, time))
            return;
        for (std::size_t k = 0; k < buckets_.Fields(); ++k) {
            TValueBucket& value = buckets_.Value(bucket, k);
            if (!cutter.Has(k)) {
                ++value.Gaps;
            } else {
                EndRun(k, value);
                value.Add(time, cutter.Value(k));
            }
        }
    }

    // A whole line of a batch: its fields are found from the separator
    // bits, so that reading one waits for no other, and a field's number
    // of the shape of its run goes into the run without being read.
    void Take(std::int64_t offset, std::int64_t end, std::string_view clock, std::size_t separators,
              const TBatchLine& line)
    {
        std::size_t bucket = 0;
        std::int64_t time = 0;
        switch (PlaceSteady(end, clock, separators, bucket, time)) {
        case TSteady::Placed:
            break;
        case TSteady::Outside:
            return;
        case TSteady::Not:
            if (!Place(offset, end, clock, separators, bucket, time))
                return;
            break;
        }
        TSeparators places(line.Bits, line.Start, line.Length);
        const std::size_t count = steps_.size();
        // Lines in a row mostly keep their fields where they were: where
        // the separators up to the last plotted field's end stand as on the
        // line the places were kept from, the fields are taken there.
        if (layout_.Mask != 0 && (places.Head() & layout_.Mask) == layout_.Bits &&
            (layout_.Bounded || line.Length == layout_.End)) {
            if (line.Readable - line.Text >= layout_.Reach && (lanesOn_ || StartLanes()) &&
                lanes_.Add(line.Text, time))
                return;
            StopLanes();
            for (std::size_t k = 0; k < count; ++k)
                TakeAt(bucket, time, steps_[k].Slot, line.Text + layout_.From[k], layout_.Length[k], line.Readable);
            return;
        }
        StopLanes();
        layout_.Mask = 0;
        std::size_t from = 0;
        std::size_t to = 0;
        std::size_t k = 0;
        for (; k < count; ++k) {
            for (std::size_t skip = steps_[k].Skip; skip > 0 && from <= line.Length; --skip)
                from = places.Next() + 1;
            if (from > line.Length)
                break; // the line ended before the field
            to = places.Next();
            if (k < TLayout::kFields) {
                layout_.From[k] = static_cast<std::uint8_t>(from);
                layout_.Length[k] = static_cast<std::uint8_t>(to - from);
            }
            TakeAt(bucket, time, steps_[k].Slot, line.Text + from, to - from, line.Readable);
            from = to + 1;
        }
        if (k == count && count != 0 && count <= TLayout::kFields && to < TLayout::kWithin) {
            // The bits up to and with the separator that ends the last
            // field, or up to the line's end where none does.
            layout_.Bounded = to < line.Length;
            layout_.End = to;
            layout_.Mask = layout_.Bounded ? (std::uint64_t{2} << to) - 1 : (std::uint64_t{1} << to) - 1;
            layout_.Bits = places.Head() & layout_.Mask;
            layout_.Reach = 0;
            for (std::size_t f = 0; f < count; ++f)
                layout_.Reach = std::max<std::ptrdiff_t>(layout_.Reach, layout_.From[f] + 8);
        }
        for (; k < count; ++k)
            ++buckets_.Value(bucket, steps_[k].Slot).Gaps;
    }

    // Whether the runs are in the lanes.
    bool LanesOn() const { return lanesOn_; }
    // Growing buckets, not a span's.
    bool Grows() const { return buckets_.Grows(); }

    // Passes over a line of this clock where PlaceSteady would (its clock
    // follows, and it lies outside the buckets); false, with nothing
    // changed, where it would not.
    bool PassOver(std::string_view clock)
    {
        std::size_t bucket = 0;
        std::int64_t time = 0;
        return PlaceSteady(0, clock, 0, bucket, time, true) == TSteady::Outside;
    }

#if defined(MORVANE_HAVE_AVX2_KERNELS)
    // The whole lines of a batch from `i` on (their separators' bits in
    // `bits`, bytes up to `readable` readable) while each is one PlaceSteady
    // places and its fields stand where the layout has them, in their
    // runs' shapes: into the lanes, with all a line changes held in
    // registers. Returns the first line it did not take. Only while the
    // lanes are on.
    __attribute__((target("avx2"))) std::size_t TakeSteadyLines(const TLineBatch& batch, std::size_t i,
                                                                 std::int64_t base, const std::uint32_t* separators,
                                                                 const std::uint64_t* bits, const char* readable)
    {
        if (waiting_ || !layout_.Bounded)
            return i;
        const std::size_t firstSeparators = buckets_.FirstLineSeparators;
        TClockFollow clock = clock_;
        std::int32_t previousMilliseconds = state_.PreviousMilliseconds;
        std::int64_t lastAt = lastAt_;
        std::int64_t lastTime = lastTime_;
        TRunLanes::TRegisters registers;
        lanes_.Enter(registers);
        for (; i < batch.Count && clock.Counting; ++i) {
            const std::size_t begin = batch.Begin(i);
            const std::size_t length = batch.TextEnds[i] - begin;
            const char* const text = reinterpret_cast<const char*>(batch.Base) + begin;
            if (length < kClockTextLength || separators[i] != firstSeparators || readable - text < layout_.Reach)
                break;
            std::uint64_t word;
            std::memcpy(&word, text, sizeof word);
            const bool next = word == clock.Next;
            if (!next && word != clock.Last)
                break;
            const std::int64_t at = lastAt + (next ? 1000 : 0);
            const std::int64_t time = TimeOf(at);
            if (time < 0 || !buckets_.Hits(time) ||
                (TSeparators(bits, begin, length).Head() & layout_.Mask) != layout_.Bits)
                break;
            TLineBucket& line = buckets_.Line(buckets_.Place(time));
            if (line.Lines == 0 || !lanes_.Step(registers, text, time))
                break;
            if (next) {
                previousMilliseconds = clock.NextMilliseconds;
                clock.CountOn(word, clock.NextMilliseconds, clockSeparator_);
            }
            lastAt = at;
            lastTime = time;
            ++line.Lines;
            line.EndOffset = std::max(line.EndOffset, base + static_cast<std::int64_t>(batch.End(i)));
        }
        lanes_.Leave(registers);
        clock_ = clock;
        if (acrossMidnight_)
            state_.PreviousMilliseconds = previousMilliseconds;
        lastAt_ = lastAt;
        lastTime_ = lastTime;
        return i;
    }
#endif

    // Room for the separator bits of n bytes of a batch.
    std::uint64_t* SeparatorBits(std::size_t n)
    {
        bits_.resize(std::max(bits_.size(), TLineMapper::SeparatorBitWords(n)));
        return bits_.data();
    }

    // Puts what the runs hold into their bucket; before anyone looks at
    // the buckets.
    void EndRuns()
    {
        StopLanes();
        for (std::size_t k = 0; k < fields_.size(); ++k)
            EndRun(k, buckets_.Value(runBucket_, k));
    }

private:
    enum class TSteady { Not, Placed, Outside };

    // Most lines carry the clock of the line before or the next second's,
    // with as many separators as the first, and land in the bucket of the
    // line before, or (reading a span) outside the buckets: such a line is
    // placed, or passed over as Place would, without Place's many cases.
    // Not, with nothing changed, for any other line.
    TSteady PlaceSteady(std::int64_t end, std::string_view clock, std::size_t separators, std::size_t& bucket,
                        std::int64_t& placed, bool outsideOnly = false)
    {
        if (!clock_.Counting || clock.size() != kClockTextLength || waiting_)
            return TSteady::Not;
        std::uint64_t word;
        std::memcpy(&word, clock.data(), sizeof word);
        const bool next = word == clock_.Next;
        if (!next && word != clock_.Last)
            return TSteady::Not;
        const std::int64_t time = TimeOf(lastAt_ + (next ? 1000 : 0));
        if (time < 0)
            return TSteady::Not;
        const bool outside = buckets_.Outside(time);
        TLineBucket* line = nullptr;
        if (!outside) {
            if (outsideOnly || separators != buckets_.FirstLineSeparators || !buckets_.Hits(time))
                return TSteady::Not;
            bucket = buckets_.Place(time);
            line = &buckets_.Line(bucket);
            if (line->Lines == 0)
                return TSteady::Not;
        }
        if (next) {
            if (acrossMidnight_)
                state_.PreviousMilliseconds = clock_.NextMilliseconds;
            clock_.CountOn(word, clock_.NextMilliseconds, clockSeparator_);
        }
        lastAt_ += next ? 1000 : 0;
        lastTime_ = time;
        if (outside) {
            // The runs stay open: they are of the bucket placed last, which
            // a line placed next may go on.
            unplaced_ |= second_;
            return TSteady::Outside;
        }
        ++line->Lines;
        line->EndOffset = std::max(line->EndOffset, end);
        placed = time;
        return TSteady::Placed;
    }

    // The time of a line at `at` in the run, for the steady ways; -1 where
    // only Place may tell it: in a second half counted past midnight, a
    // time before the start depends on the days before the half.
    std::int64_t TimeOf(std::int64_t at) const
    {
        const std::int64_t time = at - buckets_.StartMilliseconds;
        return time >= 0 ? time : second_ && acrossMidnight_ ? -1 : -time;
    }

    // Places a line in its bucket; true where its values go there too, at `placed`.
    bool Place(std::int64_t offset, std::int64_t end, std::string_view clock, std::size_t separators,
               std::size_t& bucket, std::int64_t& placed)
    {
        const std::int32_t previousMilliseconds = state_.PreviousMilliseconds;
        const std::int64_t day = state_.Day;
        const std::int64_t previousTime = lastTime_;
        std::int32_t milliseconds = 0;
        std::int32_t step = kRead;
        const bool hasTime = ReadClock(clock, milliseconds, step);
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
                return false;
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
            std::int64_t at = lastAt_ + step;
            if (step == kRead)
                at = MillisecondsIntoRun(state_, milliseconds, acrossMidnight_);
            else if (acrossMidnight_)
                state_.PreviousMilliseconds = milliseconds; // no day begins a second on
            lastAt_ = at;
            if (second_ && acrossMidnight_) {
                // Whether it lies before the start depends on the days before the half.
                time = at - start;
                beforeStart_ |= time < 0;
            } else {
                time = at >= start ? at - start : start - at;
            }
            lastTime_ = time;
        }
        // The runs are of the bucket placed last: a line of another ends
        // them, before placing it may widen the buckets under them.
        if (!buckets_.Hits(time))
            EndRuns();
        bucket = buckets_.Place(time);
        if (bucket == TPlotBuckets::kNone) {
            unplaced_ |= second_;
            return false;
        }
        runBucket_ = bucket;
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
            return false; // its values stand at no time of their own
        }
        placed = time;
        return true;
    }

    // A field's numbers: the run of the latest lines, all in the bucket
    // placed last, and the shape its texts kept for how many lines.
    struct TField {
        TNumberRun Run;
        std::uint64_t Shape = 0;
        unsigned Steady = 0;
        // Shapes changed before a run could form, and lines left to read
        // without looking at the shape.
        unsigned Changes = 0;
        unsigned Plain = 0;
    };
    // Lines of one shape in a row before a field's texts go into a run:
    // where the shape keeps changing, runs cost more than they spare.
    static constexpr unsigned kSteady = 8;
    static constexpr unsigned kChanges = 4;
    static constexpr unsigned kPlainLines = 1024;

    // The runs into lanes, where every plotted field has one running, of
    // the length of the field where the layout has it.
    bool StartLanes()
    {
        if (!lanesUsable_)
            return false;
        TNumberRun* runs[TRunLanes::kLanes];
        for (std::size_t k = 0; k < steps_.size(); ++k) {
            TField& state = fields_[steps_[k].Slot];
            if (state.Plain > 0 || state.Run.Count() == 0 || layout_.Length[k] - 1u >= TNumberRun::kLongest)
                return false;
            runs[k] = &state.Run;
        }
        lanes_.Load(runs, steps_.size(), layout_.From, layout_.Length);
        lanesOn_ = true;
        return true;
    }

    // The runs back from the lanes, before anything else looks at them.
    void StopLanes()
    {
        if (!lanesOn_)
            return;
        TNumberRun* runs[TRunLanes::kLanes];
        for (std::size_t k = 0; k < steps_.size(); ++k)
            runs[k] = &fields_[steps_[k].Slot].Run;
        lanes_.Store(runs);
        lanesOn_ = false;
    }

    // A field found on a batch line, of which bytes up to `readable` may be read.
    void TakeAt(std::size_t bucket, std::int64_t time, std::size_t k, const char* field, std::size_t length,
                const char* readable)
    {
        TField& state = fields_[k];
        if (state.Plain > 0) {
            // A field whose shape keeps changing: read, not looked at.
            --state.Plain;
            TakeNumber(bucket, time, k, field, length, readable);
            return;
        }
        TNumberRun::TText text; // shape 0, which no run takes, where the text is not short
        if (std::endian::native == std::endian::little && length - 1 < TNumberRun::kLongest && readable - field >= 8)
            text = TNumberRun::TextAt(field, length);
        if (state.Run.Takes(text.Shape))
            state.Run.Add(text.Word, time);
        else if (text.Shape == state.Shape && state.Steady >= kSteady)
            state.Run.Start(text, time); // the run ended with its bucket; its shape is known to read
        else
            TakeField(bucket, time, k, field, length, text);
    }

    void EndRun(std::size_t k, TValueBucket& value)
    {
        if (fields_[k].Run.Count() != 0)
            fields_[k].Run.EndInto(value);
    }

    // A field its run does not take: `text` is its text where it is short
    // (its shape 0 otherwise).
    [[gnu::noinline]] void TakeField(std::size_t bucket, std::int64_t time, std::size_t k, const char* field,
                                     std::size_t length, const TNumberRun::TText& text)
    {
        TValueBucket& value = buckets_.Value(bucket, k);
        TField& state = fields_[k];
        double number = 0;
        if (text.Shape == 0 || ScanShortDecimalWord(field, field + length, number) != field + length) {
            if (!ReadDecimalNumber({field, length}, number)) {
                ++value.Gaps;
                return;
            }
            EndRun(k, value);
            value.Add(time, number);
            return;
        }
        EndRun(k, value);
        if (text.Shape == state.Shape) {
            ++state.Steady;
        } else {
            // Shapes that change again and again: the next lines are only read.
            state.Changes = state.Steady < kSteady ? state.Changes + 1 : 0;
            if (state.Changes >= kChanges) {
                state.Changes = 0;
                state.Plain = kPlainLines;
            }
            state.Steady = 0;
        }
        state.Shape = text.Shape;
        if (state.Steady < kSteady)
            value.Add(time, number);
        else
            state.Run.Start(text, time);
    }

    // A field read as a number where it stands, into the bucket. No run is
    // open: the field's ended as its plain reading began.
    [[gnu::noinline]] void TakeNumber(std::size_t bucket, std::int64_t time, std::size_t k, const char* field,
                                      std::size_t length, const char* readable)
    {
        TValueBucket& value = buckets_.Value(bucket, k);
        double number = 0;
        if ((readable - field < 8 || ScanShortDecimalWord(field, field + length, number) != field + length) &&
            !ReadDecimalNumber({field, length}, number)) {
            ++value.Gaps;
            return;
        }
        value.Add(time, number);
    }

    // The plain form is read once a line; the lines after it mostly carry
    // the same clock or the next second's, which need only a comparison.
    // `step` tells how far the clock is past the last one read (the same or
    // the next second), or kRead where it was read anew.
    bool ReadClock(std::string_view clock, std::int32_t& milliseconds, std::int32_t& step)
    {
        step = kRead;
        if (!plainClock_ || clock.size() != kClockTextLength) {
            clock_.Counting = false;
            return TryMillisecondOfDayFromBytes(clock, milliseconds);
        }
        std::uint64_t word;
        std::memcpy(&word, clock.data(), sizeof word);
        if (clock_.Counting && word == clock_.Next) {
            milliseconds = clock_.NextMilliseconds;
            step = 1000;
        } else if (clock_.Counting && word == clock_.Last) {
            milliseconds = clock_.NextMilliseconds - 1000;
            step = 0;
            return true;
        } else if (!TryPlainClock(clock.data(), clockSeparator_, milliseconds)) {
            clock_.Counting = false;
            return TryMillisecondOfDayFromBytes(clock, milliseconds);
        }
        clock_.CountOn(word, milliseconds, clockSeparator_);
        return true;
    }

    // Lines without a time that stand at this half's last time, in the
    // bucket of the line that set it, which comes first.
    void AddLead(const TLineBucket& lead)
    {
        if (lead.Lines == 0)
            return;
        // A span's lines there are outside it where that time is.
        if (const std::size_t bucket = buckets_.Place(lastTime_); bucket != TPlotBuckets::kNone)
            buckets_.Line(bucket).Merge(lead);
    }

    const bool acrossMidnight_;
    const bool plainClock_;
    const char clockSeparator_;
    TPlotBuckets& buckets_;
    const std::string& path_;
    TRelativeTimeState state_;
    std::int64_t lastTime_ = 0;
    // The plotted fields in the line's order.
    const std::vector<TFieldStep> steps_;
    std::vector<TField> fields_;
    std::size_t runBucket_ = 0;
    std::vector<std::uint64_t> bits_;
    // Where the processor has the vectors: the runs of up to four fields
    // side by side while lines keep their layout and shapes.
    const bool lanesUsable_;
    bool lanesOn_ = false;
    TRunLanes lanes_;
    // Where the last batch line that was cut held its plotted fields, in
    // the line's order; Mask 0 where it cannot be kept (fields missing, too
    // many, or not all within the line's first 64 bytes).
    struct TLayout {
        static constexpr std::size_t kFields = 16;
        static constexpr std::size_t kWithin = 63;
        std::uint64_t Mask = 0;
        std::uint64_t Bits = 0;
        std::size_t End = 0;
        bool Bounded = false;
        // Bytes of the line the fields' words read.
        std::ptrdiff_t Reach = 0;
        // Kept only where each is below kWithin.
        std::uint8_t From[kFields] = {};
        std::uint8_t Length[kFields] = {};
    } layout_;
    TClockFollow clock_;
    static constexpr std::int32_t kRead = -1;
    // Where the last line with a time stands in the run, as MillisecondsIntoRun gives it.
    std::int64_t lastAt_ = 0;
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

// The whole lines of a batch from line `i` on, at `base` in the input.
void TakeBatch(const TLineBatch& batch, std::size_t i, std::int64_t base, std::span<const unsigned char> buffered,
               const TLineMapper& mapper, TFieldCutter& cutter, TPlotLines& lines)
{
    std::uint32_t separators[TLineBatch::kMaxLines];
    std::uint64_t* const bitWords = lines.SeparatorBits(batch.End(batch.Count - 1));
    const bool bits = mapper.CountSeparatorsOfLines(batch.Base, batch.Lf, batch.Count, separators, bitWords);
    const char* const readable = reinterpret_cast<const char*>(buffered.data() + buffered.size());
    for (; i < batch.Count; ++i) {
#if defined(MORVANE_HAVE_AVX2_KERNELS)
        if (bits && lines.LanesOn()) {
            i = lines.TakeSteadyLines(batch, i, base, separators, bitWords, readable);
            if (i == batch.Count)
                break;
        }
#endif
        const char* text = reinterpret_cast<const char*>(batch.Text(i));
        const std::size_t length = batch.TextLength(i);
        const std::int64_t offset = base + static_cast<std::int64_t>(batch.Begin(i));
        const std::int64_t end = base + static_cast<std::int64_t>(batch.End(i));
        const std::string_view clock(text, std::min(length, kClockTextLength));
        if (bits) {
            lines.Take(offset, end, clock, separators[i],
                       TBatchLine{text, length, bitWords, batch.Begin(i), readable});
        } else {
            cutter.Cut(text, length);
            lines.Take(offset, end, clock, separators[i], cutter);
        }
    }
}

// The lines from the reader's position to the end of its input. False when
// the progress asked to stop.
bool ReadLines(TLineReader& reader, const TLineMapper& mapper, TFieldCutter& cutter, TPlotLines& lines,
               const TPlotProgress& progress, std::int64_t progressStep)
{
    std::string scratch;
    // Told every so many bytes only: the progress of two halves read side
    // by side looks at the other thread's count, whose cache line would
    // otherwise move between the processors on every batch.
    std::int64_t nextProgress = 0;
    while (!reader.AtEnd()) {
        // Whole plain lines where they lie in the read buffer; anything else
        // through the reader's line rules, a piece at a time.
        TLineBatch batch;
        const std::span<const unsigned char> buffered = reader.Buffered();
        batch.Find(buffered.data(), buffered.size());
        if (batch.Count > 0) {
            // A span's reading passes over most lines by their clocks alone;
            // a batch of only such lines needs no separators counted.
            std::size_t i = 0;
            if (!lines.Grows()) {
                while (i < batch.Count &&
                       lines.PassOver({reinterpret_cast<const char*>(batch.Text(i)),
                                       std::min(batch.TextLength(i), kClockTextLength)}))
                    ++i;
            }
            if (i < batch.Count)
                TakeBatch(batch, i, reader.Offset(), buffered, mapper, cutter, lines);
            reader.ConsumeBuffered(batch.Span(0, batch.Count - 1));
        } else if (!batch.MetSpecial && reader.FetchBehindBuffered()) {
            continue;
        } else {
            ReadOneLine(reader, mapper, cutter, lines, scratch);
        }
        if (progress && reader.Offset() >= nextProgress) {
            nextProgress = reader.Offset() + progressStep;
            if (!progress(reader.Offset(), reader.Size())) {
                lines.EndRuns();
                return false;
            }
        }
    }
    lines.EndRuns();
    return true;
}

// The second half of a large input, read on a thread of its own from the
// first line that starts in it into buckets of its own (growing, or over
// the same span as `first`), while the caller reads the first half; the
// caller then puts them behind its own.
class TSecondPlotHalf {
public:
    TSecondPlotHalf(const TPlotScanOptions& options, const std::string& path, const TPlotBuckets& first)
        : path_(path)
        , reader_(TLineReader::TReadFailure::Raise, options.ReadSize)
        , buckets_(first.Grows() ? TPlotBuckets(options.Fields.size(), options.Buckets)
                                 : TPlotBuckets(options.Fields.size(), first.Count(), first.From(), first.To()))
        , mapper_(options.SeparatorSet, {})
        , cutter_(mapper_, options.SeparatorSet, options.Fields)
        , lines_(options, buckets_, path_)
        , progressStep_(options.ProgressStep)
    {
        lines_.StartSecondHalf(first.StartMilliseconds, first.FirstLineSeparators);
    }

    // The half from the first line that starts at or behind `middle` to
    // `end` (-1: the input's end). False when there is no such line, the
    // path no longer leads to the file `first` reads, or no thread can be
    // started.
    bool Start(const TLineReader& first, std::int64_t middle, std::int64_t end)
    {
        if (!THalfThread::OpenSecondHalf(reader_, path_, first, middle))
            return false;
        from_ = reader_.Offset();
        if (end >= 0 && (from_ >= end || !reader_.EndAt(end)))
            return false;
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
            ReadLines(
                reader_, mapper_, cutter_, lines_,
                [&](std::int64_t at, std::int64_t) {
                    done_.store(at - from_, std::memory_order_relaxed);
                    return !stop.stop_requested();
                },
                progressStep_);
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
    const std::int64_t progressStep_;
    std::int64_t from_ = -1;
    std::atomic<std::int64_t> done_{0};
    std::exception_ptr error_;
    THalfThread thread_; // last
};

// The lines from the reader's position to `end` (-1: the input's end),
// the part behind the middle on a second thread where it is large and the
// processor has two. Stopped, `lines` hold what the first part has; the
// second stops with its thread as it goes.
void ReadInHalves(TLineReader& reader, const TLineMapper& mapper, TFieldCutter& cutter, TPlotLines& lines,
                  TPlotBuckets& buckets, const std::string& path, const TPlotScanOptions& options, std::int64_t end,
                  const TPlotProgress& progress)
{
    const std::int64_t last = end >= 0 ? end : reader.Size();
    // On the heap, away from this thread's own state.
    std::unique_ptr<TSecondPlotHalf> second;
    if (options.SecondThreadFrom > 0 && last - reader.Offset() >= options.SecondThreadFrom &&
        std::thread::hardware_concurrency() > 1) {
        second = std::make_unique<TSecondPlotHalf>(options, path, buckets);
        if (!second->Start(reader, end >= 0 ? reader.Offset() + (last - reader.Offset()) / 2 : -1, end) ||
            second->From() <= reader.Offset() || !reader.EndAt(second->From()))
            second.reset();
    }
    if (!second) {
        ReadLines(reader, mapper, cutter, lines, progress, options.ProgressStep);
        return;
    }
    const auto both = [&](std::int64_t at, std::int64_t size) {
        return !progress || progress(at + second->Done(), size);
    };
    if (!ReadLines(reader, mapper, cutter, lines, both, options.ProgressStep))
        return;
    while (!second->WaitFor(std::chrono::milliseconds(20))) {
        if (!both(reader.Offset(), reader.Size()))
            return;
    }
    second->RaiseError();
    reader.EndAt(end);
    // An input that ended at a Ctrl-Z in the first half has no second.
    if (reader.AtEnd())
        return;
    if (lines.Append(second->Lines(), second->Buckets())) {
        buckets.ReadInHalves = true;
        if (progress)
            progress(last, reader.Size());
        return;
    }
    // Its buckets would not land as one reading's: the rest is read here.
    second.reset();
    ReadLines(reader, mapper, cutter, lines, progress, options.ProgressStep);
}

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

    ReadInHalves(reader, mapper, cutter, lines, buckets, path, options, -1, progress);
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
    // Counting past midnight, a half cannot know the days before it, and a
    // span's lines lie close together; without, a span may hold lines from
    // all over the file (a time of day recurs every day).
    if (options.AcrossMidnight)
        ReadLines(reader, mapper, cutter, lines, progress, options.ProgressStep);
    else
        ReadInHalves(reader, mapper, cutter, lines, buckets, path, options, end, progress);
    return buckets;
}

} // namespace morvane
