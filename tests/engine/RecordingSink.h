#pragma once

// Records every progress call as text, in order.

#include <string>
#include <vector>

#include "IProgressSink.h"

namespace morvane::test {

class TRecordingSink : public IProgressSink {
public:
    void SetText(const std::string& text) override { calls.push_back("SetText(" + text + ")"); }
    void Show() override { calls.push_back("Show"); }
    void SetMaximum(std::int64_t maximum) override { calls.push_back("SetMaximum(" + std::to_string(maximum) + ")"); }
    void SetValue(std::int64_t value) override { calls.push_back("SetValue(" + std::to_string(value) + ")"); }
    void SetPercent(int percent) override { calls.push_back("SetPercent(" + std::to_string(percent) + ")"); }

    bool EndsFinished() const
    {
        return calls.size() >= 2 && calls[calls.size() - 2] == "SetText(finished)" &&
               calls.back() == "SetPercent(100)";
    }

    std::vector<std::string> calls;
};

} // namespace morvane::test
