#include "TPlotBuckets.h"

#include <algorithm>

namespace morvane {

void TValueBucket::Add(std::int64_t time, double value)
{
    if (Count == 0) {
        Min = Max = First = Last = value;
        FirstTime = LastTime = time;
    } else {
        Min = std::min(Min, value);
        Max = std::max(Max, value);
        if (time < FirstTime) {
            First = value;
            FirstTime = time;
        }
        if (time >= LastTime) {
            Last = value;
            LastTime = time;
        }
    }
    ++Count;
}

void TValueBucket::Merge(const TValueBucket& later)
{
    Gaps += later.Gaps;
    if (later.Count == 0)
        return;
    if (Count == 0) {
        const std::int64_t gaps = Gaps;
        *this = later;
        Gaps = gaps;
        return;
    }
    Min = std::min(Min, later.Min);
    Max = std::max(Max, later.Max);
    Last = later.Last;
    LastTime = later.LastTime;
    Count += later.Count;
}

void TLineBucket::Merge(const TLineBucket& other)
{
    if (other.Lines == 0)
        return;
    if (Lines == 0 || other.FirstOffset < FirstOffset) {
        FirstOffset = other.FirstOffset;
        PreviousMilliseconds = other.PreviousMilliseconds;
        Day = other.Day;
        PreviousTime = other.PreviousTime;
    }
    EndOffset = std::max(EndOffset, other.EndOffset);
    Lines += other.Lines;
    SeparatorMarks += other.SeparatorMarks;
    ClockMarks += other.ClockMarks;
}

TPlotBuckets::TPlotBuckets(std::size_t fields, std::size_t count, std::int64_t width)
    : fields_(fields)
    , width_(std::max<std::int64_t>(width, 1))
    , grows_(true)
    , lastTime_(0)
    , values_(fields * std::max<std::size_t>(count, 2))
    , lines_(std::max<std::size_t>(count, 2))
{
}

TPlotBuckets::TPlotBuckets(std::size_t fields, std::size_t count, std::int64_t from, std::int64_t to)
    : fields_(fields)
    , from_(from)
    , to_(std::max(to, from + 1))
    , grows_(false)
    , lastTime_(from)
    , values_(fields * std::max<std::size_t>(count, 1))
    , lines_(std::max<std::size_t>(count, 1))
{
    const auto n = static_cast<std::int64_t>(lines_.size());
    width_ = (to_ - from_ + n - 1) / n;
}

std::size_t TPlotBuckets::Place(std::int64_t time)
{
    if (time < from_ || (!grows_ && time >= to_))
        return kNone;
    const auto n = static_cast<std::uint64_t>(lines_.size());
    while (static_cast<std::uint64_t>((time - from_) / width_) >= n) {
        if (!grows_)
            return kNone;
        Double();
    }
    lastTime_ = std::max(lastTime_, time);
    return static_cast<std::size_t>((time - from_) / width_);
}

void TPlotBuckets::Double()
{
    const std::size_t n = lines_.size();
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t to = i / 2;
        TLineBucket line = lines_[i];
        if (i % 2 == 0) {
            lines_[to] = line;
            for (std::size_t f = 0; f < fields_; ++f)
                values_[to * fields_ + f] = values_[i * fields_ + f];
        } else {
            lines_[to].Merge(line);
            for (std::size_t f = 0; f < fields_; ++f)
                values_[to * fields_ + f].Merge(values_[i * fields_ + f]);
        }
    }
    for (std::size_t i = (n + 1) / 2; i < n; ++i) {
        lines_[i] = TLineBucket();
        for (std::size_t f = 0; f < fields_; ++f)
            values_[i * fields_ + f] = TValueBucket();
    }
    width_ *= 2;
}

std::size_t TPlotBuckets::BucketAt(std::int64_t time) const
{
    if (time <= from_)
        return 0;
    const auto index = static_cast<std::uint64_t>((time - from_) / width_);
    return static_cast<std::size_t>(std::min<std::uint64_t>(index, lines_.size()));
}

std::int64_t TPlotBuckets::SeparatorMarks() const
{
    std::int64_t total = 0;
    for (const TLineBucket& line : lines_)
        total += line.SeparatorMarks;
    return total;
}

std::int64_t TPlotBuckets::ClockMarks() const
{
    std::int64_t total = 0;
    for (const TLineBucket& line : lines_)
        total += line.ClockMarks;
    return total;
}

} // namespace morvane
