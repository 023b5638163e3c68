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

// Settings that between them reach every way of the run: one or two
// kinds of separator, lists shorter than the lines, empty entries, break
// bytes as separators and as replacements, the relative time column with a
// plain and a long separator.
inline std::vector<TConversionSettings> VariedSettings()
{
    std::vector<TConversionSettings> all(7);
    all[0].SeparatorSet = ",";
    all[0].ReplacementBeyondList = ";";
    all[1] = all[0];
    all[1].RelativeTime = true;
    all[2].SeparatorSet = ",;";
    all[2].HeaderReplacements = {"|"};
    all[2].DataReplacements = {"/", "", "\n"};
    all[2].ReplacementBeyondList = "!";
    all[2].RelativeTime = true;
    all[2].RelativeTimeSeparator = " ;; ";
    all[3].SeparatorSet = ":,\r\n";
    all[3].ReplacementBeyondList = "\r";
    // Lists whose entries change nothing beyond what the rest of the
    // settings do, as the window's boxes first hold their own separators,
    // and one that only looks like that.
    all[4].HeaderReplacements = {",", ""};
    all[4].DataReplacements = {",", "", ","};
    all[5] = all[1];
    all[5].HeaderReplacements = {"", ";"};
    all[5].DataReplacements = {";", ";"};
    all[6].SeparatorSet = ",;";
    all[6].DataReplacements = {",", ",", ","};
    return all;
}

} // namespace morvane::test
