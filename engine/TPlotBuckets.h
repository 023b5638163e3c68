#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace morvane {

// The value at the earliest time, the earlier line first among equal
// times, and the one at the latest, the later line last: of a `value` at
// `time` on a line that follows those kept.
template <typename T>
void KeepFirstAndLast(std::int64_t time, const T& value, std::int64_t& firstTime, T& first, std::int64_t& lastTime,
                      T& last)
{
    if (time < firstTime) {
        first = value;
        firstTime = time;
    }
    if (time >= lastTime) {
        last = value;
        lastTime = time;
    }
}

// One field's values in one stretch of time: the smallest and largest, the
// one at the earliest and at the latest time (the earliest line first
// among equal times, the latest last), how many, and how many lines had no
// number there.
struct TValueBucket {
    double Min = 0;
    double Max = 0;
    double First = 0;
    double Last = 0;
    std::int64_t FirstTime = 0;
    std::int64_t LastTime = 0;
    std::int64_t Count = 0;
    std::int64_t Gaps = 0;

    void Add(std::int64_t time, double value)
    {
        if (Count == 0) {
            Min = Max = First = Last = value;
            FirstTime = LastTime = time;
        } else {
            Min = std::min(Min, value);
            Max = std::max(Max, value);
            KeepFirstAndLast(time, value, FirstTime, First, LastTime, Last);
        }
        ++Count;
    }
    // `later` holds values of lines later in the file.
    void Merge(const TValueBucket& later);
};

// The lines of one stretch of time: how many, where the first of them (in
// the file) starts and the last ends, so that the stretch can be read again
// from the file, with the clock state a reading from that start needs; and
// the lines the check would report.
struct TLineBucket {
    std::int64_t Lines = 0;
    std::int64_t FirstOffset = -1;
    std::int64_t EndOffset = 0;
    // The previous data line's clock and the days begun, before the first line.
    std::int32_t PreviousMilliseconds = 0;
    std::int64_t Day = 0;
    // Where the line before the first stood in the run's time.
    std::int64_t PreviousTime = 0;
    std::int64_t SeparatorMarks = 0;
    std::int64_t ClockMarks = 0;

    void Merge(const TLineBucket& other);
};

// A fixed number of buckets over the run's time (milliseconds from the
// first data line), one row of value buckets per field. Grown, the buckets
// widen by merging neighbours (two, three or five of them) whenever a time
// lies beyond the last, so that a whole file of any length fits; every
// width below a day divides a day, so that sets read apart, whose times
// differ by whole days, line up. Fixed, they cover a span given in advance
// and times outside it have no bucket. Either way the memory is set at
// construction.
class TPlotBuckets {
public:
    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

    static constexpr std::int64_t kDay = 86'400'000;

    // Growing from 1 millisecond a bucket, from time 0.
    TPlotBuckets(std::size_t fields, std::size_t count);
    // Fixed over [from, to), to > from.
    TPlotBuckets(std::size_t fields, std::size_t count, std::int64_t from, std::int64_t to);

    // The bucket of `time`, merging neighbours first where a growing set
    // must; kNone where a fixed set has none, and for a time before From().
    std::size_t Place(std::int64_t time)
    {
        // Lines mostly come in time order, many to a bucket: the last
        // bucket's bounds spare the division.
        if (time >= hitFrom_ && time < hitTo_) {
            lastTime_ = std::max(lastTime_, time);
            return hit_;
        }
        return PlaceAnew(time);
    }

    // Whether Place(time) gives the bucket it gave last, as it is.
    bool Hits(std::int64_t time) const { return time >= hitFrom_ && time < hitTo_; }
    // Whether Place(time) gives kNone.
    bool Outside(std::int64_t time) const { return time < from_ || (!grows_ && time >= to_); }

    // A growing set that has placed nothing yet starts at `from` instead.
    void StartAt(std::int64_t from);
    // Adds a growing set of the lines that follow this set's in the file,
    // whose times lie `shift` milliseconds behind these (a time t there is
    // t + shift here), widening this set as far as its latest time needs;
    // or a fixed set over this fixed set's span, shift 0. Its records of
    // where lines start are taken as they are. False, with nothing changed,
    // where its buckets do not each fall within one of this set's.
    bool Merge(const TPlotBuckets& later, std::int64_t shift);

    // The next width a growing set takes after `width`.
    static std::int64_t WiderThan(std::int64_t width);

    TValueBucket& Value(std::size_t bucket, std::size_t field) { return values_[bucket * fields_ + field]; }
    const TValueBucket& Value(std::size_t bucket, std::size_t field) const
    {
        return values_[bucket * fields_ + field];
    }
    TLineBucket& Line(std::size_t bucket) { return lines_[bucket]; }
    const TLineBucket& Line(std::size_t bucket) const { return lines_[bucket]; }

    std::size_t Fields() const { return fields_; }
    std::size_t Count() const { return lines_.size(); }
    std::int64_t From() const { return from_; }
    // Growing, not fixed.
    bool Grows() const { return grows_; }
    std::int64_t Width() const { return width_; }
    // The latest time placed, or From() before any.
    std::int64_t LastTime() const { return lastTime_; }
    // The end of the time the buckets cover: one past the last time placed
    // for a growing set, the span's end for a fixed one.
    std::int64_t To() const { return grows_ ? lastTime_ + 1 : to_; }
    // The first bucket at or after `time`'s, and the one past `time`'s;
    // clamped to the buckets.
    std::size_t BucketAt(std::int64_t time) const;

    // What a reading of a part of the file needs from the whole: the first
    // data line's clock and separator count.
    std::int32_t StartMilliseconds = 0;
    std::size_t FirstLineSeparators = 0;
    // The second half of the file was read on a thread of its own.
    bool ReadInHalves = false;

    // Totals over every bucket.
    std::int64_t SeparatorMarks() const;
    std::int64_t ClockMarks() const;

private:
    std::size_t PlaceAnew(std::int64_t time);
    // The width a growing set needs for `time`.
    std::int64_t WidthFor(std::int64_t time) const;
    void Widen(std::int64_t width);

    std::size_t fields_;
    std::int64_t from_ = 0;
    std::int64_t width_;
    std::int64_t to_ = 0;
    bool grows_;
    std::int64_t lastTime_;
    std::vector<TValueBucket> values_;
    std::vector<TLineBucket> lines_;
    // The bucket Place found last and the times it holds; empty when none.
    std::size_t hit_ = 0;
    std::int64_t hitFrom_ = 0;
    std::int64_t hitTo_ = 0;
};

} // namespace morvane
