#pragma once

#include <cstdint>

namespace morvane {

// Carried from one data line to the next within one run, never beyond it.
struct TRelativeTimeState {
    bool StartTimeKnown = false;
    double StartTime = 0.0;
    // Only for counting on past midnight: the previous data line's clock in
    // milliseconds of the day, and the days begun since the first data line.
    std::int32_t PreviousMilliseconds = 0;
    std::int64_t Day = 0;
};

} // namespace morvane
