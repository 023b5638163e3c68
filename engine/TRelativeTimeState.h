#pragma once

namespace morvane {

// Carried from one data line to the next within one run, never beyond it.
struct TRelativeTimeState {
    bool StartTimeKnown = false;
    double StartTime = 0.0;
};

} // namespace morvane
