#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "DecimalNumber.h"
#include "EInOutError.h"
#include "PlotModel.h"
#include "TLineBatch.h"
#include "TPlotScan.h"
#include "TRunLanes.h"
#include "TempFiles.h"

using namespace morvane;
using namespace morvane::test;

namespace {

const std::size_t kReadSizes[] = {TLineReader::kDefaultReadSize, 1, 3, 129};

std::string Clock(std::int64_t ms)
{
    ms %= 86'400'000;
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", static_cast<int>(ms / 3'600'000),
                  static_cast<int>(ms / 60'000 % 60), static_cast<int>(ms / 1000 % 60));
    return text;
}

// A PE file with what real ones hold and what breaks them: numbers with
// either decimal mark, text, empty fields, lines with a separator more or
// less, clocks that are no time, steps back, midnight, CR LF and lone CRs,
// long lines, and Ctrl-Zs. Steady, most numbers of a field keep one shape
// (as a sensor's do) and clocks repeat or step back a little now and then.
std::string RandomPeFile(std::mt19937& random, const std::string& separators, std::size_t lines,
                         bool steady = false)
{
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    const char sep = separators[static_cast<std::size_t>(pick(static_cast<int>(separators.size())))];
    std::string file = "Time" + std::string(1, sep) + "Temp [C]" + sep + "Valve" + sep + "Note" + sep + "Hum\r\n";
    std::int64_t clock = 23LL * 3'600'000 + pick(3'600'000);
    for (std::size_t i = 0; i < lines; ++i) {
        std::string line = i > 0 && pick(25) == 0 ? "ab:cd:ef" : Clock(clock);
        const int fields = 4 + (i > 0 && pick(15) == 0 ? pick(3) - 1 : 0);
        for (int f = 0; f < fields; ++f) {
            line += separators[static_cast<std::size_t>(pick(static_cast<int>(separators.size())))];
            const std::string digit(1, static_cast<char>('0' + pick(10)));
            if (steady && pick(12) != 0) {
                switch (f % 4) {
                case 0: line += std::to_string(10 + pick(90)) + "." + digit + std::to_string(pick(10)); break;
                case 1: line += "-" + digit + "." + std::to_string(10 + pick(90)); break;
                case 2:
                    line += std::to_string(100 + pick(900));
                    // A NUL among the digits is no digit, in or out of a run.
                    if (pick(40) == 0)
                        line[line.size() - 2] = '\0';
                    break;
                default: line += "+" + digit + "," + digit; break;
                }
                continue;
            }
            switch (pick(8)) {
            case 0: line += "n/a"; break;
            case 1: break;
            case 2: line += std::to_string(pick(1000)) + "," + std::to_string(pick(10)); break;
            case 3: line += std::string(static_cast<std::size_t>(pick(300)), '7'); break;
            case 4: line += "-" + std::to_string(pick(100)) + "e" + std::to_string(pick(3)); break;
            default: line += std::to_string(pick(2000) - 1000) + "." + std::to_string(pick(100)); break;
            }
        }
        const int end = pick(20);
        line += end == 0 ? "\n" : end == 1 ? "\r" : end == 2 ? "\x1a\r\n" : "\r\n";
        file += line;
        const int step = pick(40);
        clock += step == 0 ? 86'400'000 - pick(600'000) : step == 1 ? pick(30'000) : step < 4 ? pick(3'600'000) : 1000;
        if (steady && step >= 4 && step < 10)
            clock -= step < 8 ? 1000 : 1000 + pick(5000);
    }
    if (pick(4) == 0)
        file += "\x1a trailing";
    return file;
}

// Two days of a line a minute, each as long as the next: the second half
// starts at the second midnight, and without the count past midnight every
// time comes twice, once in each half.
std::string TwoDays()
{
    std::string bytes = "Time,A,B,C,D\n";
    for (int minute = 0; minute < 2 * 24 * 60; ++minute) {
        char value[8];
        std::snprintf(value, sizeof value, "%04d", minute);
        bytes += Clock(minute * 60'000LL) + "," + value + ",1,2,3\n";
    }
    return bytes;
}

// A line a second from before noon until after midnight: every clock but
// the first few follows from the line before, and the numbers keep their
// shapes, and the day still begins.
// Behind 23:59:59 stands "24:00:00", which is no time of day.
std::string SecondsPastMidnight(char sep)
{
    std::string bytes = std::string("Time") + sep + "A" + sep + "B" + sep + "C\n";
    for (std::int64_t second = 11 * 3600; second < 24 * 3600 + 90; ++second) {
        const std::string values =
            sep + std::to_string(10 + second % 89) + ".5" + sep + "-" + std::to_string(second % 7) + sep + "7";
        if (second == 24 * 3600)
            bytes += "24:00:00" + values + "\n";
        bytes += Clock(second * 1000) + values + "\n";
    }
    return bytes;
}

// Lines a second whose second field is five digits long, but every
// thirteenth only one: there the third field stands four bytes earlier, and
// four bytes on, where it stood, lies the fourth, of the same shape.
std::string ShiftedFields()
{
    std::string bytes = "Time,A,B,C,D\n";
    for (int line = 0; line < 300; ++line)
        bytes += Clock(36'000'000LL + line * 1000LL) + ",12.5," + (line % 13 == 12 ? "1" : "11111") + ",555,999\n";
    return bytes;
}

void ExpectBucketsAsModel(const TPlotBuckets& buckets, const std::vector<TModelBucket>& model,
                          const std::string& where)
{
    ASSERT_EQ(buckets.Count(), model.size()) << where;
    for (std::size_t b = 0; b < model.size(); ++b) {
        const std::string at = where + " bucket " + std::to_string(b);
        EXPECT_EQ(buckets.Line(b).Lines, model[b].Lines) << at;
        EXPECT_EQ(buckets.Line(b).SeparatorMarks, model[b].SeparatorMarks) << at;
        EXPECT_EQ(buckets.Line(b).ClockMarks, model[b].ClockMarks) << at;
        for (std::size_t f = 0; f < buckets.Fields(); ++f) {
            const TValueBucket& value = buckets.Value(b, f);
            const std::vector<TModelValue>& values = model[b].Values[f];
            EXPECT_EQ(value.Count, static_cast<std::int64_t>(values.size())) << at << " field " << f;
            EXPECT_EQ(value.Gaps, model[b].Gaps[f]) << at << " field " << f;
            if (values.empty() || value.Count == 0)
                continue;
            double low = values[0].Value, high = values[0].Value;
            for (const TModelValue& v : values) {
                low = std::min(low, v.Value);
                high = std::max(high, v.Value);
            }
            EXPECT_EQ(value.Min, low) << at << " field " << f;
            EXPECT_EQ(value.Max, high) << at << " field " << f;
            EXPECT_EQ(value.First, ModelFirst(values)) << at << " field " << f;
            EXPECT_EQ(value.Last, ModelLast(values)) << at << " field " << f;
        }
    }
}

std::string Write(TempFolder& folder, const std::string& name, const std::string& bytes)
{
    const std::string path = folder / name;
    WriteBytes(path, bytes);
    return path;
}

} // namespace

TEST(PlotScan, WholeFileBucketsAgreeWithNaiveModelOnRandomFiles)
{
    TempFolder folder;
    std::mt19937 random(20261207);
    // The last two are more separators than a vector pass compares, so
    // lines are cut one by one: the first set by reading each number where
    // it stands, the second, which holds a byte a number may hold, by
    // finding each field first.
    const std::string separatorSets[] = {",", ",;", ";\t", ",;|!#&*~^", "-;|!#&*~^,"};
    // Odd bucket counts and few of them, so that neighbours merge many
    // times; each file read in one piece and in halves on two threads.
    const std::size_t counts[] = {2, 3, 7, 64, 4096};
    int halves = 0;
    for (int round = 0; round < 26; ++round) {
        const std::string separators = separatorSets[round % std::size(separatorSets)];
        const std::string bytes = round == 25   ? ShiftedFields()
                                  : round == 24 ? TwoDays()
                                  : round == 23 ? SecondsPastMidnight(separators[0])
                                                : RandomPeFile(random, separators, 1 + random() % 400, round % 2 != 0);
        const std::string path = Write(folder, "r.pe", bytes);
        for (const bool across : {false, true}) {
            // Steady files plot fields they hold, so that runs go side by
            // side, all four or two with one between that keeps no shape;
            // the others one they lack, a gap on every line.
            const std::vector<std::size_t> fields = round % 4 == 1   ? std::vector<std::size_t>{3, 1}
                                                    : round % 2 != 0 ? std::vector<std::size_t>{2, 1, 4, 3}
                                                                     : std::vector<std::size_t>{2, 1, 4, 9};
            const std::vector<TModelLine> lines = ModelLines(bytes, separators, across, fields);
            for (const std::size_t count : counts) {
                for (const std::int64_t secondThreadFrom : {0, 1}) {
                    const std::size_t readSize = kReadSizes[static_cast<std::size_t>(round) % std::size(kReadSizes)];
                    const std::string where = "round " + std::to_string(round) + " across " +
                                              std::to_string(across) + " buckets " + std::to_string(count) +
                                              " read " + std::to_string(readSize) + " halves " +
                                              std::to_string(secondThreadFrom);
                    TPlotScanOptions options;
                    options.SeparatorSet = separators;
                    options.AcrossMidnight = across;
                    options.Fields = fields;
                    options.Buckets = count;
                    options.ReadSize = readSize;
                    options.SecondThreadFrom = secondThreadFrom;
                    const TPlotBuckets buckets = TPlotScan::ReadWhole(path, options);
                    halves += buckets.ReadInHalves;
                    const std::int64_t width = ModelWidth(lines, buckets.Count());
                    EXPECT_EQ(buckets.Width(), width) << where;
                    ExpectBucketsAsModel(buckets, ModelBuckets(lines, fields.size(), buckets.Count(), 0, width),
                                         where);
                }
            }
        }
    }
    // Most files read in halves put the halves together (with or without the
    // count past midnight); the rest are read on from the middle by the first
    // thread.
    EXPECT_GT(halves, 24 * 2 * 5 * 3 / 4);
}

TEST(PlotScan, SpanReadAgainFromItsOffsetsAgreesWithNaiveModel)
{
    TempFolder folder;
    std::mt19937 random(7);
    for (int round = 0; round < 32; ++round) {
        const std::string separators = round % 2 ? ",;" : ",";
        const std::string bytes =
            round == 31 ? TwoDays() : RandomPeFile(random, separators, 2 + random() % 300, round % 4 == 1);
        const std::string path = Write(folder, "s.pe", bytes);
        const bool across = round % 3 != 0;
        const std::vector<std::size_t> fields = {1, 3};
        TPlotScanOptions options;
        options.SeparatorSet = separators;
        options.AcrossMidnight = across;
        options.Fields = fields;
        options.Buckets = round % 2 ? 4096 : 5 + static_cast<std::size_t>(round);
        options.ReadSize = kReadSizes[static_cast<std::size_t>(round) % std::size(kReadSizes)];
        // Where a line's reading starts is kept alike by a reading in halves.
        options.SecondThreadFrom = round % 4 < 2 ? 0 : 1;
        const TPlotBuckets whole = TPlotScan::ReadWhole(path, options);
        const std::int64_t last = whole.LastTime();
        const std::int64_t from = static_cast<std::int64_t>(random() % static_cast<unsigned>(last + 1));
        const std::int64_t to = from + 1 + static_cast<std::int64_t>(random() % static_cast<unsigned>(last - from + 1));
        options.Buckets = 1 + random() % 50;
        const TPlotBuckets span = TPlotScan::ReadSpan(path, options, whole, from, to);
        const std::vector<TModelLine> lines = ModelLines(bytes, separators, across, fields);
        const std::string where = "round " + std::to_string(round) + " span " + std::to_string(from) + ".." +
                                  std::to_string(to);
        EXPECT_EQ(span.From(), from) << where;
        ExpectBucketsAsModel(span, ModelBuckets(lines, fields.size(), span.Count(), from, span.Width(), to), where);
        // And each bucket of the whole, read again from where it says.
        for (std::size_t b = 0; b < whole.Count(); ++b) {
            const std::int64_t start = whole.From() + static_cast<std::int64_t>(b) * whole.Width();
            const TPlotBuckets one = TPlotScan::ReadSpan(path, options, whole, start, start + whole.Width());
            ExpectBucketsAsModel(
                one, ModelBuckets(lines, fields.size(), one.Count(), start, one.Width(), start + whole.Width()),
                where + " bucket " + std::to_string(b) + " again");
        }
    }
    // Thirteen hours of a line a second in one bucket, read in one piece:
    // past midnight the day begins all the same.
    const std::string bytes = SecondsPastMidnight(',');
    const std::string path = Write(folder, "m.pe", bytes);
    TPlotScanOptions options;
    options.AcrossMidnight = true;
    options.Fields = {1, 2};
    options.ReadSize = 4 << 20;
    const TPlotBuckets whole = TPlotScan::ReadWhole(path, options);
    options.Buckets = 1;
    const TPlotBuckets span = TPlotScan::ReadSpan(path, options, whole, 0, whole.LastTime() + 1);
    ExpectBucketsAsModel(span,
                         ModelBuckets(ModelLines(bytes, ",", true, options.Fields), 2, 1, 0, span.Width(),
                                      whole.LastTime() + 1),
                         "one bucket");
}

TEST(PlotScan, HeadNamesTheFieldsAndTellsWhichHoldNumbers)
{
    TempFolder folder;
    const std::string path = Write(folder, "h.pe", "Time;Temp [C];Valve,State\r\n12:00:00;21.5;x;-3e2;7\r\n");
    const TPlotHead head = TPlotScan::ReadHead(path, ";,");
    EXPECT_EQ(head.Names, (std::vector<std::string>{"Time", "Temp [C]", "Valve", "State", ""}));
    EXPECT_EQ(head.Numeric, (std::vector<bool>{false, true, false, true, true}));
}

TEST(PlotScan, FilesWithNothingToPlotSaySoInTheirOwnWords)
{
    TempFolder folder;
    const struct {
        const char* bytes;
        const char* says;
    } rows[] = {
        {"", "is empty"},
        {"Time,A\r\n", "has no data line"},
        {"Time,A\r\n\x1a" "12:00:00,1\r\n", "has no data line"},
        {"Time,A\r\nab:00:00,1\r\n12:00:01,2\r\n", "has no time of day"},
    };
    for (const auto& row : rows) {
        const std::string path = Write(folder, "bad.pe", row.bytes);
        for (const bool head : {true, false}) {
            std::string message;
            try {
                if (head)
                    TPlotScan::ReadHead(path, ",");
                else
                    TPlotScan::ReadWhole(path, {});
            } catch (const EPlotInput& error) {
                message = error.Message();
            }
            EXPECT_NE(message.find(row.says), std::string::npos) << message;
            EXPECT_NE(message.find(path), std::string::npos) << message;
        }
    }
    EXPECT_THROW(TPlotScan::ReadWhole(folder / "missing.pe", {}), EInOutError);
}

TEST(PlotScan, StopAskedByTheProgressEndsTheReadingWithWhatItHas)
{
    TempFolder folder;
    std::string bytes = "Time,A\r\n";
    for (int i = 0; i < 20000; ++i)
        bytes += Clock(i * 1000LL) + "," + std::to_string(i) + "\r\n";
    const std::string path = Write(folder, "long.pe", bytes);
    // In halves the second thread stops with the first, which gives its own.
    for (const std::int64_t secondThreadFrom : {0, 1}) {
        TPlotScanOptions options;
        options.Fields = {1};
        options.SecondThreadFrom = secondThreadFrom;
        options.ProgressStep = 0;
        int calls = 0;
        std::int64_t lastDone = 0;
        const TPlotBuckets buckets = TPlotScan::ReadWhole(path, options, [&](std::int64_t done, std::int64_t size) {
            EXPECT_EQ(size, static_cast<std::int64_t>(bytes.size()));
            lastDone = done;
            return ++calls < 3;
        });
        EXPECT_EQ(calls, 3) << secondThreadFrom;
        std::int64_t lines = 0;
        for (std::size_t b = 0; b < buckets.Count(); ++b)
            lines += buckets.Line(b).Lines;
        // The first data line alone, then three batches.
        EXPECT_EQ(lines, 1 + 3 * static_cast<std::int64_t>(TLineBatch::kMaxLines)) << secondThreadFrom;
        EXPECT_LT(lastDone, static_cast<std::int64_t>(bytes.size())) << secondThreadFrom;
        EXPECT_EQ(buckets.ReadInHalves, false) << secondThreadFrom;
    }
}

TEST(RunLanes, TakeLinesAsTheirRunsWouldOneByOne)
{
    if (!TRunLanes::Usable())
        GTEST_SKIP() << "the lanes are for AVX2";
    std::mt19937 random(11);
    const std::vector<std::string> shapes = {"dd.d", "-d.dd", "ddd", "+d,d", "d", "-ddddd", ".ddd"};
    for (std::size_t n = 1; n <= TRunLanes::kLanes; ++n) {
        for (int round = 0; round < 20; ++round) {
            std::vector<std::string> fieldShapes;
            for (std::size_t k = 0; k < n; ++k)
                fieldShapes.push_back(shapes[random() % shapes.size()]);
            // A line of the fields' texts, one of them now and then of
            // another shape, with room to read a word past each.
            const auto line = [&](bool other) {
                std::string text;
                for (std::size_t k = 0; k < n; ++k) {
                    for (const char c : fieldShapes[k])
                        text += c == 'd' ? static_cast<char>('0' + random() % 10) : c;
                    if (other && k == n - 1)
                        text.back() = random() % 2 ? 'x' : '\0';
                    text += ';';
                }
                return text + std::string(8, ' ');
            };
            std::uint8_t from[TRunLanes::kLanes] = {};
            std::uint8_t length[TRunLanes::kLanes] = {};
            for (std::size_t k = 0, at = 0; k < n; at += fieldShapes[k].size() + 1, ++k) {
                from[k] = static_cast<std::uint8_t>(at);
                length[k] = static_cast<std::uint8_t>(fieldShapes[k].size());
            }
            TNumberRun inLanes[TRunLanes::kLanes];
            TNumberRun oneByOne[TRunLanes::kLanes];
            TNumberRun* runs[TRunLanes::kLanes] = {&inLanes[0], &inLanes[1], &inLanes[2], &inLanes[3]};
            const std::string first = line(false);
            std::int64_t time = 1000;
            for (std::size_t k = 0; k < n; ++k) {
                inLanes[k].Start(TNumberRun::TextAt(first.data() + from[k], length[k]), time);
                oneByOne[k].Start(TNumberRun::TextAt(first.data() + from[k], length[k]), time);
            }
            TRunLanes lanes;
            lanes.Load(runs, n, from, length);
            for (int i = 0; i < 40; ++i) {
                // Times mostly on, sometimes the same or back.
                time += (static_cast<std::int64_t>(random() % 6) - 2) * 1000;
                const bool other = random() % 8 == 0;
                const std::string text = line(other);
                const std::string where = "lanes " + std::to_string(n) + " round " + std::to_string(round) +
                                          " line " + std::to_string(i);
                EXPECT_EQ(lanes.Add(text.data(), time), !other) << where;
                for (std::size_t k = 0; k < n && !other; ++k)
                    oneByOne[k].Add(TNumberRun::TextAt(text.data() + from[k], length[k]).Word, time);
            }
            lanes.Store(runs);
            for (std::size_t k = 0; k < n; ++k) {
                TValueBucket expected;
                TValueBucket taken;
                oneByOne[k].EndInto(expected);
                inLanes[k].EndInto(taken);
                const std::string where = "lanes " + std::to_string(n) + " round " + std::to_string(round) +
                                          " field " + std::to_string(k) + " " + fieldShapes[k];
                EXPECT_EQ(taken.Min, expected.Min) << where;
                EXPECT_EQ(taken.Max, expected.Max) << where;
                EXPECT_EQ(taken.First, expected.First) << where;
                EXPECT_EQ(taken.Last, expected.Last) << where;
                EXPECT_EQ(taken.FirstTime, expected.FirstTime) << where;
                EXPECT_EQ(taken.LastTime, expected.LastTime) << where;
                EXPECT_EQ(taken.Count, expected.Count) << where;
            }
        }
    }
}

TEST(DecimalNumber, ReadsEveryTextExactlyAsTheWorkbookTypesItsCells)
{
    // Texts of every shape the rule meets, many of them numbers with more
    // digits than a double holds exactly, where a quick reading could round
    // apart from the workbook's.
    std::mt19937 random(99);
    const std::string alphabet = "0123456789012345678901234567890123456789.,eE+-x ";
    const char* const fixed[] = {"", "-", "+", ".", ",5", "5,", "-0", "+0.0", "1e", "1e+", "1e-3", "0x1p3", "inf",
                                 "nan", "1.5 ", "1.2.3", "9007199254740993", "123456789012345.6",
                                 "0.1000000000000000055511151231257827", "1e999", "-1,25"};
    std::vector<std::string> texts(std::begin(fixed), std::end(fixed));
    for (int i = 0; i < 200000; ++i) {
        std::string text;
        const std::size_t length = random() % 24;
        for (std::size_t k = 0; k < length; ++k)
            text += alphabet[random() % (k == 0 ? alphabet.size() : 20)];
        if (random() % 4 == 0 && !text.empty())
            text[random() % text.size()] = random() % 2 ? '.' : ',';
        texts.push_back(text);
    }
    for (const std::string& text : texts) {
        double engine = 0.25, workbook = 0.25;
        const bool isNumber = ReadDecimalNumber(text, engine);
        EXPECT_EQ(isNumber, TTypedCell::ReadNumber(text, workbook)) << text;
        EXPECT_EQ(std::signbit(engine), std::signbit(workbook)) << text;
        EXPECT_EQ(engine, workbook) << text;

        // The short form read a word at a time, with digits lying behind the
        // text that a reading past its end would take, settles every form of
        // up to seven bytes as the byte-wise reading does.
        std::string bytes = text + "77777777";
        const char* const end = bytes.data() + text.size();
        double byWord = 0.25, byBytes = 0.25;
        bool read = false;
        const char* const scanned = ScanShortDecimal(bytes.data(), end, byBytes, read);
        const char* const stop = ScanShortDecimalWord(bytes.data(), end, byWord);
        const bool settles = read && scanned - bytes.data() <= 7;
        EXPECT_EQ(stop != nullptr, settles) << text;
        if (stop != nullptr && settles) {
            EXPECT_EQ(stop - bytes.data(), scanned - bytes.data()) << text;
            EXPECT_EQ(std::signbit(byWord), std::signbit(byBytes)) << text;
            EXPECT_EQ(byWord, byBytes) << text;
        }
    }
}
