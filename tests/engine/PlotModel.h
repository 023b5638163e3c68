#pragma once

// The plot buckets worked out the slow, obvious way: the whole file's lines
// from the naive reader, fields cut with find_first_of, numbers read by the
// workbook's cell rule, and each bucket's values listed before they are
// summed up.

#include <algorithm>
#include <cstdint>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "LineReaderModel.h"
#include "TTypedCell.h"
#include "TimeOfDay.h"

namespace morvane::test {

struct TModelValue {
    std::int64_t Time = 0;
    std::size_t Order = 0; // the line's place in the file
    double Value = 0;
};

struct TModelBucket {
    std::int64_t Lines = 0;
    std::int64_t SeparatorMarks = 0;
    std::int64_t ClockMarks = 0;
    std::vector<std::vector<TModelValue>> Values; // per field
    std::vector<std::int64_t> Gaps;
};

struct TModelLine {
    std::int64_t Time = 0;
    bool HasTime = false;
    bool SeparatorMark = false;
    std::vector<std::optional<double>> Values;
};

// Every data line with its time as the relative time column counts it (in
// milliseconds), the line before's where the clock is no time of day.
inline std::vector<TModelLine> ModelLines(const std::string& bytes, const std::string& separators,
                                          bool acrossMidnight, const std::vector<std::size_t>& fields)
{
    TLineReaderModel reader(bytes);
    std::vector<TModelLine> lines;
    if (reader.AtEnd())
        return lines;
    reader.ReadLine(); // the header
    std::int64_t start = 0, previous = 0, day = 0, last = 0;
    std::size_t firstSeparators = 0;
    while (!reader.AtEnd()) {
        const std::string text = reader.ReadLine();
        TModelLine line;
        std::int32_t ms = 0;
        line.HasTime = TryMillisecondOfDayFromBytes(std::string_view(text).substr(0, 8), ms);
        if (lines.empty()) {
            start = previous = ms;
        }
        if (line.HasTime) {
            if (acrossMidnight && previous - ms > 43'200'000)
                ++day;
            previous = ms;
            const std::int64_t at = acrossMidnight ? ms + day * 86'400'000 : ms;
            last = at >= start ? at - start : start - at;
        }
        line.Time = last;
        std::vector<std::string> cut(1);
        std::size_t count = 0;
        for (const char c : text) {
            if (separators.find(c) != std::string::npos) {
                ++count;
                cut.emplace_back();
            } else {
                cut.back() += c;
            }
        }
        if (lines.empty())
            firstSeparators = count;
        line.SeparatorMark = count != firstSeparators;
        for (const std::size_t f : fields) {
            double value = 0;
            if (f < cut.size() && TTypedCell::ReadNumber(cut[f], value))
                line.Values.emplace_back(value);
            else
                line.Values.emplace_back();
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

// The lines with a time from `from` on, and before `to`, in `count` buckets
// of `width`.
inline std::vector<TModelBucket> ModelBuckets(const std::vector<TModelLine>& lines, std::size_t fields,
                                              std::size_t count, std::int64_t from, std::int64_t width,
                                              std::int64_t to = std::numeric_limits<std::int64_t>::max())
{
    std::vector<TModelBucket> buckets(count);
    for (TModelBucket& b : buckets) {
        b.Values.resize(fields);
        b.Gaps.assign(fields, 0);
    }
    for (std::size_t order = 0; order < lines.size(); ++order) {
        const TModelLine& line = lines[order];
        if (line.Time < from || line.Time >= to || (line.Time - from) / width >= static_cast<std::int64_t>(count))
            continue;
        TModelBucket& b = buckets[static_cast<std::size_t>((line.Time - from) / width)];
        ++b.Lines;
        b.SeparatorMarks += line.SeparatorMark;
        if (!line.HasTime) {
            ++b.ClockMarks;
            continue;
        }
        for (std::size_t f = 0; f < fields; ++f) {
            if (line.Values[f])
                b.Values[f].push_back({line.Time, order, *line.Values[f]});
            else
                ++b.Gaps[f];
        }
    }
    return buckets;
}

// The width a growing set ends with: the first of the widths that divide
// a day (1, 2, 4 ... 1024 ms, then times 3 three times and 5 five times),
// then of whole days doubled, that gives the latest time a bucket.
inline std::int64_t ModelWidth(const std::vector<TModelLine>& lines, std::size_t count)
{
    std::int64_t latest = 0;
    for (const TModelLine& line : lines)
        latest = std::max(latest, line.Time);
    std::vector<std::int64_t> widths;
    for (std::int64_t w = 1; w <= 1024; w *= 2)
        widths.push_back(w);
    for (const std::int64_t factor : {3, 3, 3, 5, 5, 5, 5, 5})
        widths.push_back(widths.back() * factor);
    while (widths.back() < (std::int64_t{1} << 50))
        widths.push_back(widths.back() * 2);
    for (const std::int64_t width : widths) {
        if (latest / width < static_cast<std::int64_t>(count))
            return width;
    }
    return widths.back();
}

// First and last by time, the earlier line first among equal times.
inline double ModelFirst(const std::vector<TModelValue>& values)
{
    return std::min_element(values.begin(), values.end(), [](const TModelValue& a, const TModelValue& b) {
               return a.Time != b.Time ? a.Time < b.Time : a.Order < b.Order;
           })->Value;
}

inline double ModelLast(const std::vector<TModelValue>& values)
{
    return std::max_element(values.begin(), values.end(), [](const TModelValue& a, const TModelValue& b) {
               return a.Time != b.Time ? a.Time < b.Time : a.Order < b.Order;
           })->Value;
}

} // namespace morvane::test
