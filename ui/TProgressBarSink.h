#pragma once

#include "IProgressSink.h"

#include <cstdint>
#include <limits>

class TSegmentProgress;

// The conversion's progress shown on the window's segmented bar: the caption
// is the text, Show makes the bar visible, the maximum and value are the
// bar's range and user value, the percent its position.
//
// The bar's range is 32-bit; a file of more than 2^31 blocks (256 GiB) would
// not fit, so such counts are scaled down by a power of two, the same for the
// maximum and every value, which keeps the percentage.
class TProgressBarSink : public morvane::IProgressSink {
public:
    explicit TProgressBarSink(TSegmentProgress& bar);

    void SetText(const std::string& text) override;
    void Show() override;
    void SetMaximum(std::int64_t maximum) override;
    void SetValue(std::int64_t value) override;
    void SetPercent(int percent) override;

private:
    int Scaled(std::int64_t value) const
    {
        // Arithmetic shift keeps -1 (an unreadable file's size) at -1.
        const std::int64_t scaled = value >> shift_;
        if (scaled > std::numeric_limits<int>::max())
            return std::numeric_limits<int>::max();
        if (scaled < std::numeric_limits<int>::min())
            return std::numeric_limits<int>::min();
        return static_cast<int>(scaled);
    }

    TSegmentProgress& bar_;
    int shift_ = 0;
};
