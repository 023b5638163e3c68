#include "TProgressBarSink.h"

#include "TSegmentProgress.h"
#include "Windows1252.h"

#include <limits>

TProgressBarSink::TProgressBarSink(TSegmentProgress& bar)
    : bar_(bar)
{
}

void TProgressBarSink::SetText(const std::string& text)
{
    bar_.SetCaption(Windows1252::Decode(text));
}

void TProgressBarSink::Show()
{
    bar_.setVisible(true);
}

void TProgressBarSink::SetMaximum(std::int64_t maximum)
{
    shift_ = 0;
    while ((maximum >> shift_) > std::numeric_limits<int>::max())
        ++shift_;
    bar_.SetMaxValue(Scaled(maximum));
}

void TProgressBarSink::SetValue(std::int64_t value)
{
    bar_.SetUserValue(Scaled(value));
}

void TProgressBarSink::SetPercent(int percent)
{
    bar_.SetPosition(percent);
}

int TProgressBarSink::Scaled(std::int64_t value) const
{
    // Arithmetic shift keeps -1 (an unreadable file's size) at -1.
    const std::int64_t scaled = value >> shift_;
    if (scaled > std::numeric_limits<int>::max())
        return std::numeric_limits<int>::max();
    if (scaled < std::numeric_limits<int>::min())
        return std::numeric_limits<int>::min();
    return static_cast<int>(scaled);
}
