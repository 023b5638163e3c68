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
    // Lines whose Ctrl-Z cut off more than their break, and the first.
    std::int64_t cutLines = 0;
    std::int64_t firstCutLine = 0;
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
    if (model.LastLineCut())
        e.firstCutLine = 1;
    if (s.RelativeTime)
        header = "relTime" + s.RelativeTimeSeparator + " " + header;
    e.output = header + "\r\n";
    e.calls.push_back("SetValue(" + std::to_string(model.PositionInBlocks()) + ")");
    bool started = false;
    std::int64_t start = 0;
    std::int64_t previous = 0;
    std::int64_t day = 0;
    for (std::int64_t number = 2; !model.AtEnd(); ++number) {
        const std::string line = model.ReadLine();
        if (model.LastLineCut() && e.firstCutLine == 0)
            e.firstCutLine = number;
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
                start = previous = ms;
            started = true;
            // Past midnight, a clock far behind the previous one is a day on.
            if (s.AcrossMidnight && previous - ms > 12 * 3'600'000)
                ++day;
            previous = ms;
            const std::int64_t at = s.AcrossMidnight ? day * 86'400'000 + ms : ms;
            cell = std::to_string((at > start ? at - start : start - at) / 1000) + s.RelativeTimeSeparator;
        }
        e.output += cell + map(line, s.DataReplacements) + "\r\n";
        e.calls.push_back("SetValue(" + std::to_string(model.PositionInBlocks()) + ")");
    }
    e.cutLines = model.CutLines();
    e.calls.push_back("SetText(finished)");
    e.calls.push_back("SetPercent(100)");
    return e;
}

// What a check of the input finds, spelled out the same naive way: each
// finding as "line N: message", and the progress calls.
struct ExpectedCheck {
    std::vector<std::string> findings;
    std::vector<std::string> calls;
    std::int64_t dataLines = 0;
};

inline ExpectedCheck NaiveCheck(const std::string& input, const TConversionSettings& s)
{
    ExpectedCheck e;
    TLineReaderModel model(input);
    e.calls = {"SetText()", "Show", "SetValue(0)",
               "SetMaximum(" + std::to_string(model.SizeInBlocks()) + ")"};
    const std::string cut = "cut at a Ctrl-Z; the rest of the line is not converted";
    model.ReadLine();
    if (model.LastLineCut())
        e.findings.push_back("line 1: " + cut);
    e.calls.push_back("SetValue(" + std::to_string(model.PositionInBlocks()) + ")");
    std::size_t first = 0;
    for (std::int64_t number = 2; !model.AtEnd(); ++number) {
        const std::string line = model.ReadLine();
        ++e.dataLines;
        const std::string at = "line " + std::to_string(number) + ": ";
        if (model.LastLineCut())
            e.findings.push_back(at + cut);
        std::int32_t ms = 0;
        if (s.RelativeTime && !TryMillisecondOfDayByScanner(line.substr(0, 8), LocaleTimeSettings(), ms))
            e.findings.push_back(at + "'" + line.substr(0, 8) + "' is not a valid time");
        std::size_t count = 0;
        for (char c : line)
            count += s.SeparatorSet.find(c) != std::string::npos;
        if (number == 2)
            first = count;
        else if (count != first)
            e.findings.push_back(at + std::to_string(count) + (count == 1 ? " separator" : " separators") +
                                 " where the first data line has " + std::to_string(first));
        e.calls.push_back("SetValue(" + std::to_string(model.PositionInBlocks()) + ")");
    }
    const std::string after = model.AfterEndMark();
    if (after.find_first_not_of(std::string(" \t\r\n\f\v\x1a\0", 9)) != std::string::npos)
        e.findings.push_back("line " + std::to_string(e.dataLines + 2) + ": stopped at the end-of-file mark at byte " +
                             std::to_string(model.EndMark()) + "; " + std::to_string(after.size()) +
                             (after.size() == 1 ? " byte" : " bytes") + " after it were not converted");
    e.calls.push_back("SetText(finished)");
    e.calls.push_back("SetPercent(100)");
    return e;
}

// Whether a check in halves from the first byte on, with two processors,
// splits the input: a line must start behind the middle, behind the first
// data line, and not at a Ctrl-Z.
inline bool NaiveSplits(const std::string& input)
{
    const std::size_t lf = input.find('\n', input.size() / 2);
    if (lf == std::string::npos || lf + 1 == input.size() || input[lf + 1] == '\x1a')
        return false;
    TLineReaderModel model(input);
    model.ReadLine();
    if (!model.AtEnd())
        model.ReadLine();
    return static_cast<std::int64_t>(lf + 1) > model.Offset();
}

// What the output file holds after a run that found `earlier` there: a
// failed run leaves it as it was.
inline std::string OutputAfter(const Expected& e, const std::string& earlier)
{
    return e.error.empty() ? e.output : earlier;
}

// Settings that between them reach every way of the run: one or two
// kinds of separator, lists shorter than the lines, empty entries, break
// bytes as separators and as replacements, the relative time column with a
// plain separator, a short one and one longer than a word, counting within a day and past midnight (with
// a map that needs the occurrence count and with one that does not).
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
    all[2].RelativeTimeSeparator = " ;; then ;; ";
    all[2].AcrossMidnight = true;
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
    all[5].RelativeTimeSeparator = " ; ";
    all[5].AcrossMidnight = true;
    all[6].SeparatorSet = ",;";
    all[6].DataReplacements = {",", ",", ","};
    return all;
}

} // namespace morvane::test
