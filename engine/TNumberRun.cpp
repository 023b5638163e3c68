#include "TNumberRun.h"

#include "DecimalNumber.h"

namespace morvane {

double TNumberRun::ValueOf(const TText& text)
{
    // The word holds nothing past the text, so the reading stops at its end.
    char bytes[sizeof text.Word];
    std::memcpy(bytes, &text.Word, sizeof bytes);
    double value = 0;
    ScanShortDecimalWord(bytes, bytes + (text.Shape >> 56), value);
    return value;
}

void TNumberRun::Start(const TText& text, std::int64_t time)
{
    shape_ = text.Shape;
    flip_ = static_cast<unsigned char>(text.Word) == '-' ? ~std::uint64_t{0} : 0;
    min_ = max_ = first_ = last_ = Key(text.Word);
    firstTime_ = lastTime_ = time;
    count_ = 1;
}

double TNumberRun::ValueOfKey(std::uint64_t key) const
{
    return ValueOf({__builtin_bswap64(key ^ flip_), shape_});
}

void TNumberRun::EndInto(TValueBucket& bucket)
{
    TValueBucket run;
    run.Min = ValueOfKey(min_);
    run.Max = max_ == min_ ? run.Min : ValueOfKey(max_);
    run.First = first_ == min_ ? run.Min : first_ == max_ ? run.Max : ValueOfKey(first_);
    run.Last = last_ == min_ ? run.Min : last_ == max_ ? run.Max : ValueOfKey(last_);
    run.FirstTime = firstTime_;
    run.LastTime = lastTime_;
    run.Count = count_;
    bucket.Merge(run);
    count_ = 0;
}

} // namespace morvane
