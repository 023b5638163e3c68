#include "TPlotBuckets.h"

#include <algorithm>

namespace morvane {

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
    // Among equal times the earlier line is first and the later one last.
    if (later.FirstTime < FirstTime) {
        First = later.First;
        FirstTime = later.FirstTime;
    }
    if (later.LastTime >= LastTime) {
        Last = later.Last;
        LastTime = later.LastTime;
    }
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

TPlotBuckets::TPlotBuckets(std::size_t fields, std::size_t count)
    : fields_(fields)
    , width_(1)
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

std::int64_t TPlotBuckets::WiderThan(std::int64_t width)
{
    // 2^10 * 3^3 * 5^5 is a day: doubling as long as the day allows, then
    // three and five, then doubling days.
    for (const std::int64_t factor : {2, 3, 5}) {
        if (width * factor <= kDay && kDay % (width * factor) == 0)
            return width * factor;
    }
    return width * 2;
}

std::int64_t TPlotBuckets::WidthFor(std::int64_t time) const
{
    const auto n = static_cast<std::uint64_t>(lines_.size());
    std::int64_t width = width_;
    while (static_cast<std::uint64_t>((time - from_) / width) >= n)
        width = WiderThan(width);
    return width;
}

std::size_t TPlotBuckets::PlaceAnew(std::int64_t time)
{
    if (time < from_ || (!grows_ && time >= to_))
        return kNone;
    const auto n = static_cast<std::uint64_t>(lines_.size());
    if (static_cast<std::uint64_t>((time - from_) / width_) >= n) {
        if (!grows_)
            return kNone;
        Widen(WidthFor(time));
    }
    lastTime_ = std::max(lastTime_, time);
    hit_ = static_cast<std::size_t>((time - from_) / width_);
    hitFrom_ = from_ + static_cast<std::int64_t>(hit_) * width_;
    hitTo_ = grows_ ? hitFrom_ + width_ : std::min(hitFrom_ + width_, to_);
    return hit_;
}

void TPlotBuckets::StartAt(std::int64_t from)
{
    from_ = from;
    lastTime_ = from;
    hitFrom_ = hitTo_ = 0;
}

void TPlotBuckets::Widen(std::int64_t width)
{
    if (width == width_)
        return;
    const std::size_t n = lines_.size();
    const auto factor = static_cast<std::size_t>(width / width_);
    for (std::size_t i = 1; i < n; ++i) {
        const std::size_t to = i / factor;
        if (i % factor == 0) {
            lines_[to] = lines_[i];
            for (std::size_t f = 0; f < fields_; ++f)
                values_[to * fields_ + f] = values_[i * fields_ + f];
        } else {
            lines_[to].Merge(lines_[i]);
            for (std::size_t f = 0; f < fields_; ++f)
                values_[to * fields_ + f].Merge(values_[i * fields_ + f]);
        }
    }
    for (std::size_t i = (n + factor - 1) / factor; i < n; ++i) {
        lines_[i] = TLineBucket();
        for (std::size_t f = 0; f < fields_; ++f)
            values_[i * fields_ + f] = TValueBucket();
    }
    width_ = width;
    hitFrom_ = hitTo_ = 0;
}

bool TPlotBuckets::Merge(const TPlotBuckets& later, std::int64_t shift)
{
    std::size_t first = later.lines_.size();
    std::size_t last = 0;
    for (std::size_t i = 0; i < later.lines_.size(); ++i) {
        if (later.lines_[i].Lines != 0) {
            first = std::min(first, i);
            last = i;
        }
    }
    if (first == later.lines_.size())
        return true;
    if (!grows_ && !later.grows_) {
        // Fixed sets over one span: bucket by bucket.
        if (shift != 0 || later.from_ != from_ || later.to_ != to_ || later.width_ != width_ ||
            later.lines_.size() != lines_.size() || later.fields_ != fields_)
            return false;
        lastTime_ = std::max(lastTime_, later.lastTime_);
        for (std::size_t i = first; i <= last; ++i) {
            lines_[i].Merge(later.lines_[i]);
            for (std::size_t f = 0; f < fields_; ++f)
                values_[i * fields_ + f].Merge(later.values_[i * fields_ + f]);
        }
        return true;
    }
    const std::int64_t from = later.from_ + shift;
    const std::int64_t latest = std::max(lastTime_, later.lastTime_ + shift);
    if (!grows_ || !later.grows_ || from < from_ || fields_ != later.fields_)
        return false;
    // Each of its buckets within one of ours: its width divides ours and
    // its buckets start where ours may.
    const std::int64_t width = WidthFor(latest);
    if (width % later.width_ != 0 || (from - from_) % later.width_ != 0)
        return false;
    Widen(width);
    lastTime_ = latest;
    for (std::size_t i = first; i <= last; ++i) {
        const std::int64_t start = from + static_cast<std::int64_t>(i) * later.width_;
        const auto to = static_cast<std::size_t>((start - from_) / width_);
        lines_[to].Merge(later.lines_[i]);
        for (std::size_t f = 0; f < fields_; ++f) {
            TValueBucket value = later.values_[i * fields_ + f];
            value.FirstTime += shift;
            value.LastTime += shift;
            values_[to * fields_ + f].Merge(value);
        }
    }
    return true;
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
