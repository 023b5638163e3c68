#include "TNumberRun.h"

#include <bit>

#include "DecimalNumber.h"

namespace morvane {

void TNumberRun::Start(const TText& text, std::int64_t time)
{
    shape_ = text.Shape;
    flip_ = static_cast<unsigned char>(text.Word) == '-' ? ~std::uint64_t{0} : 0;
    min_ = max_ = first_ = last_ = Key(text.Word);
    firstTime_ = lastTime_ = time;
    count_ = 1;
}

TNumberRun::TReading TNumberRun::Reading() const
{
    TReading reading;
    const auto length = static_cast<unsigned>(shape_ >> 56);
    const auto first = static_cast<unsigned char>(shape_);
    reading.Sign = first == ('-' | 0x80) || first == ('+' | 0x80);
    reading.Negative = first == ('-' | 0x80);
    // A shape holds its text's other bytes, each with its top bit set: past
    // a sign, the only one left is the mark.
    const std::uint64_t marks = (shape_ & ((std::uint64_t{1} << 8 * length) - 1)) >> 8 * reading.Sign;
    reading.Count = length - reading.Sign;
    if (marks != 0) {
        const auto at = static_cast<unsigned>(std::countr_zero(marks)) / 8;
        reading.Below = (std::uint64_t{1} << 8 * at) - 1;
        --reading.Count;
        reading.Fraction = reading.Count - at;
    }
    return reading;
}

double TNumberRun::ValueOfKey(std::uint64_t key, const TReading& reading) const
{
    // As ScanShortDecimalWord reads the text, the shape's places known.
    constexpr std::uint64_t kLanes = 0x0101'0101'0101'0101ull;
    const std::uint64_t digits = (__builtin_bswap64(key ^ flip_) ^ '0' * kLanes) >> 8 * reading.Sign;
    const std::uint64_t packed = (digits & reading.Below) | (digits >> 8 & ~reading.Below);
    const double magnitude = static_cast<double>(decimal_detail::JoinDigits(packed, reading.Count)) /
                             decimal_detail::kPowersOfTen[reading.Fraction];
    return reading.Negative ? -magnitude : magnitude;
}

void TNumberRun::EndInto(TValueBucket& bucket)
{
    const TReading reading = Reading();
    TValueBucket run;
    run.Min = ValueOfKey(min_, reading);
    run.Max = max_ == min_ ? run.Min : ValueOfKey(max_, reading);
    run.First = first_ == min_ ? run.Min : first_ == max_ ? run.Max : ValueOfKey(first_, reading);
    run.Last = last_ == min_ ? run.Min : last_ == max_ ? run.Max : ValueOfKey(last_, reading);
    run.FirstTime = firstTime_;
    run.LastTime = lastTime_;
    run.Count = count_;
    bucket.Merge(run);
    count_ = 0;
}

} // namespace morvane
