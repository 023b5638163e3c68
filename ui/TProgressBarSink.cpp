#include "TProgressBarSink.h"

#include "TSegmentProgress.h"
#include "Windows1252.h"

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
