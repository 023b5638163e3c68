#pragma once

// A whole conversion run spelled out the slow, obvious way: the naive line
// reader, a byte-by-byte map and the general clock scanner. Tests and the
// fuzz target hold the real run against it.

#include <cstdint>
#include <string>
#include <vector>

#include "LineReaderModel.h"
#include "TConversionSettings.h"
#include "TLocaleTimeSettings.h"
#include "TimeOfDay.h"

namespace morvane::test {

struct Expected {
    std::string output;
    std::vector<std::string> calls;
    std::int64_t failedLine = 0;
    std::string error;
};

// The run spelled out with the model reader, the naive map and the general
// clock scanner, progress and all.
inline Expected NaiveRun(const std::string& input, const TConversionSettings& s)
{
    Expected e;
    const auto map = [&](const std::string& line, const std::vector<std::string>& list) {
        std::string out = line;
        std::size_t i = 0;
        for (char& c : out) {
            if (s.SeparatorSet.find(c) == std::string::npos)
                continue;
            if (i < list.size()) {
                if (!list[i].empty())
                    c = list[i][0];
            } else if (!s.ReplacementBeyondList.empty()) {
                c = s.ReplacementBeyondList[0];
            }
            ++i;
        }
        return out;
    };
    TLineReaderModel model(input);
    e.calls = {"SetText()", "Show", "SetValue(0)",
               "SetMaximum(" + std::to_string(model.SizeInBlocks()) + ")"};
    std::string header = map(model.ReadLine(), s.HeaderReplacements);
    if (s.RelativeTime)
        header = "relTime" + s.RelativeTimeSeparator + " " + header;
    e.output = header + "\r\n";
    e.calls.push_back("SetValue(" + std::to_string(model.PositionInBlocks()) + ")");
    bool started = false;
    std::int32_t start = 0;
    for (std::int64_t number = 2; !model.AtEnd(); ++number) {
        const std::string line = model.ReadLine();
        std::string cell;
        if (s.RelativeTime) {
            const std::string clock = line.substr(0, 8);
            std::int32_t ms = 0;
            if (!TryMillisecondOfDayByScanner(clock, LocaleTimeSettings(), ms)) {
                e.failedLine = number;
                e.error = "'" + clock + "' is not a valid time";
                break;
            }
            if (!started)
                start = ms;
            started = true;
            cell = std::to_string((ms > start ? ms - start : start - ms) / 1000) + s.RelativeTimeSeparator;
        }
        e.output += cell + map(line, s.DataReplacements) + "\r\n";
        e.calls.push_back("SetValue(" + std::to_string(model.PositionInBlocks()) + ")");
    }
    e.calls.push_back("SetText(finished)");
    e.calls.push_back("SetPercent(100)");
    return e;
}

} // namespace morvane::test
