// The shortcuts a conversion run takes for ordinary lines (whole lines taken
// from the read buffer, separators mapped over many lines at once, clock
// texts read in their plain form) checked against naive versions of the
// rules they stand in for.

#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "ConvertFile.h"
#include "EConvertError.h"
#include "ILineSink.h"
#include "ConversionModel.h"
#include "LineReaderModel.h"
#include "RecordingSink.h"
#include "RelativeTime.h"
#include "TLineBatch.h"
#include "TLineMapper.h"
#include "TLineScanner.h"
#include "TLineReader.h"
#include "TLineWriter.h"
#include "TLocaleTimeSettings.h"
#include "TVectorWidth.h"
#include "TempFiles.h"
#include "TimeOfDay.h"

namespace morvane {
namespace {

using test::Expected;
using test::NaiveRun;
using test::ReadBytes;
using test::TempFolder;
using test::TLineReaderModel;
using test::TRecordingSink;
using test::WriteBytes;

constexpr char kCR = '\r';
constexpr char kLF = '\n';
constexpr char kCtrlZ = '\x1a';

std::string RandomBytes(std::mt19937& rng, std::size_t n, const std::string& alphabet)
{
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    std::string bytes;
    for (std::size_t i = 0; i < n; ++i)
        bytes += alphabet[pick(rng)];
    return bytes;
}

// ---------------------------------------------------------------------------
// Finding the ends of plain lines

// Every line span TLineScanner gives, byte by byte: LF or CR LF ends a
// line; a Ctrl-Z or a CR without its LF stops the lines there; the bytes'
// end cuts the last, leaving out a CR on the very last byte.
std::vector<TLineSpan> NaiveSpans(const std::string& bytes)
{
    std::vector<TLineSpan> spans;
    std::size_t from = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const char b = bytes[i];
        if (b == kLF) {
            const std::size_t text = i > from && bytes[i - 1] == kCR ? i - 1 - from : i - from;
            spans.push_back({from, text, i + 1 - from - text, TLineKind::Line});
            from = i + 1;
        } else if (b == kCtrlZ || (b == kCR && i + 1 < bytes.size() && bytes[i + 1] != kLF)) {
            spans.push_back({from, i - from, 0, TLineKind::Special});
            return spans;
        }
    }
    const std::size_t crAtEnd = bytes.size() > from && bytes.back() == kCR ? 1 : 0;
    spans.push_back({from, bytes.size() - from - crAtEnd, 0, TLineKind::Cut});
    return spans;
}

template <typename V>
std::vector<TLineSpan> ScannedSpans(const std::string& bytes, bool skipPlainBlocks)
{
    // Exactly the bytes, so that a read past them is a read past the block.
    const std::vector<unsigned char> exact(bytes.begin(), bytes.end());
    const TBlockScanner<V> blocks;
    TLineScanner<V> scanner(blocks, exact.data(), exact.size());
    if (skipPlainBlocks)
        scanner.SkipPlainBlocks();
    std::vector<TLineSpan> spans;
    for (;;) {
        spans.push_back(scanner.Next());
        if (spans.back().Kind != TLineKind::Line)
            break;
    }
    return spans;
}

std::string SpanText(const std::vector<TLineSpan>& spans)
{
    static const char* const kKinds[] = {"line", "special", "cut"};
    std::string text;
    for (const TLineSpan& span : spans)
        text += std::to_string(span.Begin) + "+" + std::to_string(span.Text) + "+" + std::to_string(span.Break) +
                kKinds[static_cast<int>(span.Kind)] + " ";
    return text;
}

template <typename V>
void ExpectScannedSpansAsNaive(const std::string& bytes)
{
    const std::string expected = SpanText(NaiveSpans(bytes));
    EXPECT_EQ(SpanText(ScannedSpans<V>(bytes, false)), expected);
    // Passing over the plain blocks of a long first line first changes none.
    EXPECT_EQ(SpanText(ScannedSpans<V>(bytes, true)), expected);
    const std::vector<TLineSpan> naive = NaiveSpans(bytes);
    const std::vector<unsigned char> exact(bytes.begin(), bytes.end());
    // A caller that stops at the first line control finds the first span.
    const std::size_t control = bytes.find_first_of("\r\n\x1a");
    if (control != std::string::npos) {
        EXPECT_EQ(SpanText({TLineScanner<V>::AtFirstControl(exact.data(), control, exact.size())}),
                  SpanText({naive.front()}));
    }
    // A batch holds the whole lines, at most kMaxLines of them, and tells
    // whether a byte the general way takes stopped it.
    TLineBatch batch;
    batch.FindAt<V>(exact.data(), exact.size());
    std::vector<TLineSpan> batched;
    for (std::size_t i = 0; i < batch.Count; ++i)
        batched.push_back({batch.Begin(i), batch.TextLength(i), batch.End(i) - batch.Begin(i) - batch.TextLength(i),
                           TLineKind::Line});
    const std::size_t lines = std::min(naive.size() - 1, TLineBatch::kMaxLines);
    EXPECT_EQ(SpanText(batched), SpanText({naive.begin(), naive.begin() + static_cast<std::ptrdiff_t>(lines)}));
    EXPECT_EQ(batch.MetSpecial, lines == naive.size() - 1 && naive.back().Kind == TLineKind::Special);
}

template <typename V>
void ExpectScannerAgreesWithBytes()
{
    // A CR, CR LF, lone CR or Ctrl-Z at every offset of the first blocks,
    // the bytes cut at every length, so that a CR lands on a block's last
    // byte with its LF in the next block, or on the last byte of all.
    const std::vector<std::string> controls = {"\r", "\r\n", "\rx", "\x1a", "\n"};
    // Lines first, or one long line of plain blocks.
    const std::vector<std::string> fills = {"ab,cd\r\n", "abcdefgh"};
    for (const std::string& fill : fills) {
        for (const std::string& control : controls) {
            for (std::size_t at = 0; at < 3 * kScanBlock; ++at) {
                std::string bytes;
                while (bytes.size() < at)
                    bytes += fill;
                bytes.resize(at);
                // A whole plain block behind the control, then lines.
                bytes += control + std::string(kScanBlock + 8, 'k') + "efg,h\r\nij\n";
                for (std::size_t n = at; n <= bytes.size(); ++n) {
                    SCOPED_TRACE(std::to_string(at) + " " + std::to_string(n));
                    ExpectScannedSpansAsNaive<V>(bytes.substr(0, n));
                }
            }
        }
    }
    // More lines than a batch holds.
    ExpectScannedSpansAsNaive<V>(std::string(TLineBatch::kMaxLines + 9, '\n') + "\x1a");
    std::mt19937 rng(29);
    std::uniform_int_distribution<std::size_t> length(0, 4 * kScanBlock);
    for (int round = 0; round < 3000; ++round) {
        const std::string bytes = RandomBytes(rng, length(rng), round % 2 ? "ab\r\n" : "a\r\n\r\n\x1a");
        SCOPED_TRACE(round);
        ExpectScannedSpansAsNaive<V>(bytes);
    }
}

TEST(LineScanner, EveryWidthGivesTheSpansOfTheLineRules)
{
    ExpectScannerAgreesWithBytes<TScalarBytes>();
#if defined(__SSE2__)
    ExpectScannerAgreesWithBytes<TSse2Bytes>();
#endif
#if defined(MORVANE_HAVE_AVX2_KERNELS)
    if (TVectorWidth::Widest() == TVectorWidth::TKind::Avx2)
        ExpectScannerAgreesWithBytes<TAvx2Bytes>();
#endif
}

// ---------------------------------------------------------------------------
// Mapping runs of whole lines in place

std::string NaiveMapLine(const std::string& line, const std::string& set, const std::string& beyond)
{
    std::string out = line;
    for (char& c : out) {
        if (set.find(c) != std::string::npos && !beyond.empty())
            c = beyond[0];
    }
    return out;
}

TEST(LineMapperRun, MapsEveryLineAsTheLineMapWouldAndKeepsTheBreaks)
{
    std::mt19937 rng(5);
    std::uniform_int_distribution<int> small(0, 9);
    const std::string alphabet = "ab,;:|\t \xff";
    for (int round = 0; round < 5000; ++round) {
        std::string set = RandomBytes(rng, static_cast<std::size_t>(small(rng) % 7), alphabet);
        // Break bytes in the set, or as the replacement, must not disturb
        // the breaks.
        if (round % 4 == 1)
            set += "\r\n";
        std::string beyond = round % 6 == 0 ? "" : RandomBytes(rng, 1, alphabet + "\r\n");
        std::string run;
        std::string expected;
        for (int lines = small(rng); lines > 0; --lines) {
            const std::string line = RandomBytes(rng, static_cast<std::size_t>(small(rng) * small(rng)), alphabet);
            const std::string end = small(rng) < 7 ? "\r\n" : "\n";
            run += line + end;
            expected += NaiveMapLine(line, set, beyond) + end;
        }
        const TLineMapper mapper(set, {}, beyond);
        ASSERT_TRUE(mapper.MapsEveryOccurrenceAlike());
        auto* bytes = reinterpret_cast<unsigned char*>(run.data());
        mapper.MapRun(bytes, bytes, run.size());
        ASSERT_EQ(run, expected) << "round " << round << " set '" << set << "' beyond '" << beyond << "'";
    }
}

TEST(LineMapperRun, CopiedTextIsMappedAsTheLineMapWould)
{
    std::mt19937 rng(8);
    const std::string alphabet = "ab,;:|\t \xff";
    for (int round = 0; round < 3000; ++round) {
        // From no byte that changes to more than are compared a vector at a
        // time.
        const std::string set = RandomBytes(rng, static_cast<std::size_t>(round % 8), alphabet);
        const std::string beyond = round % 5 == 0 ? "" : RandomBytes(rng, 1, alphabet);
        const std::string text = RandomBytes(rng, static_cast<std::size_t>(round % 71), alphabet);
        const TLineMapper mapper(set, {}, beyond);
        std::string copy(text.size() + 4, '#');
        mapper.MapRun(reinterpret_cast<const unsigned char*>(text.data()),
                      reinterpret_cast<unsigned char*>(copy.data()), text.size());
        ASSERT_EQ(copy, NaiveMapLine(text, set, beyond) + "####") << "round " << round;
    }
}

TEST(LineMapperRun, ListedReplacementsRuleOutRuns)
{
    EXPECT_FALSE(TLineMapper(",", {";"}, ";").MapsEveryOccurrenceAlike());
    EXPECT_TRUE(TLineMapper(",", {}, ";").MapsEveryOccurrenceAlike());
    EXPECT_TRUE(TLineMapper(",", {}, "").LeavesRunsAlone());
    EXPECT_TRUE(TLineMapper(",", {}, ",").LeavesRunsAlone());
    EXPECT_FALSE(TLineMapper(",", {}, ";").LeavesRunsAlone());
}

// ---------------------------------------------------------------------------
// Plain clock texts

std::string Clock(int secondOfDay, char separator)
{
    const int h = secondOfDay / 3600, m = secondOfDay / 60 % 60, s = secondOfDay % 60;
    std::string text = "00:00:00";
    text[0] = static_cast<char>('0' + h / 10);
    text[1] = static_cast<char>('0' + h % 10);
    text[2] = separator;
    text[3] = static_cast<char>('0' + m / 10);
    text[4] = static_cast<char>('0' + m % 10);
    text[5] = separator;
    text[6] = static_cast<char>('0' + s / 10);
    text[7] = static_cast<char>('0' + s % 10);
    return text;
}

TLocaleTimeSettings Settings(char clock, char fraction, std::string am, std::string pm)
{
    TLocaleTimeSettings s;
    s.ClockSeparator = clock;
    s.FractionSeparator = fraction;
    s.AmMark = std::move(am);
    s.PmMark = std::move(pm);
    return s;
}

TEST(PlainClock, ReadsEverySecondOfTheDayAsTheScannerDoes)
{
    for (const char separator : {':', '.', '-'}) {
        const TLocaleTimeSettings settings = Settings(separator, ',', "am", "pm");
        ASSERT_TRUE(PlainClockFormApplies(settings));
        int wrong = 0;
        for (int second = 0; second < 86'400; ++second) {
            const std::string text = Clock(second, separator);
            std::int32_t plain = -1;
            std::int32_t scanned = -2;
            const bool read = TryPlainClockFromBytes(text, settings, plain);
            const bool scannerRead = TryMillisecondOfDayByScanner(text, settings, scanned);
            if ((!read || !scannerRead || plain != scanned || plain != second * 1000) && ++wrong <= 5)
                ADD_FAILURE() << text << ": plain " << read << " " << plain << ", scanner " << scannerRead
                              << " " << scanned;
        }
        EXPECT_EQ(wrong, 0) << "separator " << separator;
    }
}

TEST(PlainClock, DeclinesWhereTheSettingsLetTheFormMeanSomethingElse)
{
    const struct {
        const char* name;
        TLocaleTimeSettings settings;
    } cases[] = {
        {"BlankSeparator", Settings(' ', '.', "am", "pm")},
        {"DigitSeparator", Settings('1', '.', "am", "pm")},
        {"NoSeparator", Settings('\0', '.', "am", "pm")},
        {"AmMarkStartsWithDigit", Settings(':', '.', "0h", "pm")},
        {"PmMarkStartsWithDigit", Settings(':', '.', "am", "1")},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(PlainClockFormApplies(c.settings)) << c.name;
        std::int32_t ms = 0;
        EXPECT_FALSE(TryPlainClockFromBytes(Clock(3723, c.settings.ClockSeparator), c.settings, ms)) << c.name;
    }
    // Where it declines, the general way reads what the grammar says: with
    // "01" as the after-noon designator, 01:02:03 is no time and 01 2:03 is
    // 14:03.
    TLocaleTimeSettings& global = LocaleTimeSettings();
    const TLocaleTimeSettings saved = global;
    global = Settings(':', '.', "am", "01");
    std::int32_t ms = 0;
    EXPECT_FALSE(TryMillisecondOfDayFromBytes("01:02:03", ms));
    EXPECT_TRUE(TryMillisecondOfDayFromBytes("01 2:03", ms));
    EXPECT_EQ(ms, (14 * 3600 + 3 * 60) * 1000);
    global = saved;
}

TEST(PlainClock, AgreesWithTheScannerOnNearMisses)
{
    std::mt19937 rng(3);
    const std::vector<TLocaleTimeSettings> settings = {
        Settings(':', '.', "am", "pm"), Settings('.', ',', "AM", "PM"), Settings(':', ':', "", ""),
        Settings('h', '.', "vorm.", "nachm."), Settings('\xe4', '.', "\xe4m", "pm"),
    };
    for (const TLocaleTimeSettings& s : settings) {
        const std::string alphabet = std::string("0123456789012345 aApPmM.,:") + s.ClockSeparator;
        int accepted = 0;
        for (int round = 0; round < 200'000; ++round) {
            std::string text = Clock(static_cast<int>(rng() % 86'400), s.ClockSeparator);
            // One to three bytes changed.
            for (int n = 1 + round % 3; n > 0; --n)
                text[rng() % 8] = alphabet[rng() % alphabet.size()];
            if (round % 50 == 0)
                text = Clock(static_cast<int>(rng() % 86'400), s.ClockSeparator);
            std::int32_t plain = -1;
            std::int32_t scanned = -2;
            if (!TryPlainClockFromBytes(text, s, plain))
                continue;
            ++accepted;
            ASSERT_TRUE(TryMillisecondOfDayByScanner(text, s, scanned)) << "'" << text << "'";
            ASSERT_EQ(plain, scanned) << "'" << text << "'";
        }
        EXPECT_GT(accepted, 4000) << "separator " << s.ClockSeparator;
    }
}

TEST(PlainClock, OnlyExactlyEightBytesAreThePlainForm)
{
    const TLocaleTimeSettings s = Settings(':', '.', "am", "pm");
    for (const std::string text : {"12:34:5", "12:34:567", " 2:34:56", "12:34:56 ", "2:34:56"}) {
        std::int32_t ms = 0;
        EXPECT_FALSE(TryPlainClockFromBytes(text, s, ms)) << "'" << text << "'";
    }
    const std::vector<std::string> outOfRange = {"24:00:00", "23:60:00", "23:59:60", "99:99:99"};
    for (const std::string& text : outOfRange) {
        std::int32_t ms = 0;
        EXPECT_FALSE(TryPlainClockFromBytes(text, s, ms)) << text;
        EXPECT_FALSE(TryMillisecondOfDayByScanner(text, s, ms)) << text;
    }
}

TEST(RelativeTimeMilliseconds, EveryMillisecondOfTheDaySurvivesTheTimeOfDay)
{
    std::int64_t wrong = 0;
    for (std::int32_t ms = 0; ms < 86'400'000; ++ms) {
        if (MillisecondsOfTimeOfDay(TimeOfDayOfMilliseconds(ms)) != ms && ++wrong <= 5)
            ADD_FAILURE() << ms;
    }
    EXPECT_EQ(wrong, 0);
}

// ---------------------------------------------------------------------------
// Whole runs against a naive conversion

// A clock text with a part of a second that fits the eight bytes read for
// it (blanks behind where shorter), at any time of the day: a count taken
// from it or to it is a part second off a whole, so that rounding the
// division would show.
std::string FractionalClock(std::mt19937& rng)
{
    std::uniform_int_distribution<int> hour(0, 23), digit(0, 9), fraction(1, 999);
    std::string text = std::to_string(hour(rng)) + ":" + std::to_string(digit(rng)) + ":" +
                       std::to_string(digit(rng)) + ".";
    const std::string digits = std::to_string(fraction(rng));
    text += digits.substr(0, 8 - text.size());
    return text + std::string(8 - text.size(), ' ');
}

// Mostly ordinary data lines, now and then one that needs the general way,
// or whose clock holds a part of a second (within its first eight bytes,
// also as the first line, or behind them).
std::string RandomPeFile(std::mt19937& rng, int round)
{
    std::uniform_int_distribution<int> percent(0, 99);
    std::string file = "Time,A,B\r\n";
    int second = 8 * 3600 + percent(rng) * 100;
    const int lines = percent(rng) * (round % 4 == 0 ? 30 : 3);
    for (int l = 0; l < lines; ++l) {
        std::string line = Clock(second % 86'400, ':') + ",1.5,2;5";
        const int fractional = percent(rng);
        if (fractional < 4 || (l == 0 && round % 3 == 1))
            line = FractionalClock(rng) + ",1.5,2;5";
        else if (fractional < 6)
            line = Clock(second % 86'400, ':') + ".5,1.5,2;5";
        second += percent(rng) < 90 ? 1 : percent(rng) * 97;
        const int odd = percent(rng);
        if (odd < 2)
            line.insert(static_cast<std::size_t>(percent(rng)) % line.size(), 1, kCR); // lone CR
        else if (odd < 3)
            line += std::string(1, kCtrlZ) + "cut";
        else if (odd < 5)
            line += std::string(static_cast<std::size_t>(percent(rng)) * 7, 'x'); // long
        else if (odd == 5 && round % 5 == 0)
            line = "7:05,late"; // short clock, read by the scanner
        else if (odd == 6 && round % 7 == 0)
            line = "bad clock";
        else if (odd == 7)
            line += ",,,";
        file += line + (percent(rng) < 85 ? "\r\n" : "\n");
    }
    if (percent(rng) < 20)
        file.resize(file.size() - 1); // no final break, or a CR alone at the end
    return file;
}

struct Buffers {
    std::size_t read;
    std::size_t write;
};

TEST(ConvertFilePlainLines, AgreesWithNaiveRunOnOutputProgressAndErrors)
{
    TempFolder folder;
    std::mt19937 rng(2024);
    const std::vector<Buffers> buffers = {{TLineReader::kDefaultReadSize, TLineWriter::kDefaultBufferSize},
                                          {1, 2}, {3, 5}, {129, 130}, {200, 64}, {4096, 300}, {256, 100000}};
    const std::vector<TConversionSettings> settings = test::VariedSettings();
    for (int round = 0; round < 48; ++round) {
        const std::string input = RandomPeFile(rng, round);
        WriteBytes(folder / "in.pe", input);
        const TConversionSettings& s = settings[static_cast<std::size_t>(round) % settings.size()];
        const Expected expected = NaiveRun(input, s);
        for (const Buffers& b : buffers) {
            SCOPED_TRACE("round " + std::to_string(round) + " read " + std::to_string(b.read) + " write " +
                         std::to_string(b.write));
            TRecordingSink sink;
            TConvertFileOptions options;
            std::int64_t failedLine = -1;
            options.FailedLine = &failedLine;
            options.ReadSize = b.read;
            options.WriteBufferSize = b.write;
            std::string error;
            WriteBytes(folder / "out.csv", "earlier");
            try {
                ConvertFile(folder / "in.pe", folder / "out.csv", s, sink, options);
            } catch (const EConvertError& e) {
                error = e.Message();
            }
            ASSERT_EQ(ReadBytes(folder / "out.csv"), test::OutputAfter(expected, "earlier"));
            ASSERT_EQ(sink.calls, expected.calls);
            ASSERT_EQ(error, expected.error);
            ASSERT_EQ(failedLine, expected.failedLine);
        }
    }
}

TEST(ConvertFilePlainLines, EverySecondOfTheDayGetsItsCount)
{
    TempFolder folder;
    std::string input = "Time,A\r\n";
    std::string expected = "relTime; Time;A\r\n";
    for (int second = 0; second < 86'400; ++second) {
        input += Clock(second, ':') + ",1\r\n";
        expected += std::to_string(second) + ";" + Clock(second, ':') + ";1\r\n";
    }
    WriteBytes(folder / "in.pe", input);
    TConversionSettings s;
    s.ReplacementBeyondList = ";";
    s.RelativeTime = true;
    TNullProgressSink sink;
    ConvertFile(folder / "in.pe", folder / "out.csv", s, sink);
    EXPECT_EQ(ReadBytes(folder / "out.csv"), expected);
}

// Successive data lines: `times` for each `every`-th second from..to
// (either way), or one line as it stands.
struct ClockRun {
    int from = 0;
    int to = 0;
    const char* text = nullptr;
    int every = 1;
    int times = 1;
};

// Lines one second apart are counted on from the line before, and a line
// with the clock of the line before, or with only its seconds changed, takes
// its count from that line; each way that must stop and read the clock
// again is run here against the naive run, with the count's digits carried
// and borrowed on the way, at buffer sizes that cut lines anywhere.
TEST(ConvertFilePlainLines, CountingOnStopsWhereTheClockMustBeRead)
{
    const int noon = 12 * 3600;
    struct Case { const char* name; std::vector<ClockRun> clocks; };
    const std::vector<Case> cases = {
        {"up past 9, 99 and a clock carry", {{noon - 5, noon + 120}}},
        {"down to the start and on past it", {{noon, noon}, {noon - 130, noon + 12}}},
        {"up to midnight and over it", {{noon, noon}, {86'390, 86'399}, {0, 12}}},
        {"a twenty-fourth hour after the last second", {{86'397, 86'399}, {0, 0, "24:00:00"}}},
        {"clocks between two seconds",
         {{0, 0, "1:2:3.45"}, {3'724, 3'726}, {3'720, 3'730}, {0, 0, "1:2:7.50"}, {3'728, 3'729}}},
        {"short and odd clocks in between",
         {{noon, noon + 3}, {0, 0, "12:0:4"}, {noon + 5, noon + 7}, {0, 0, " 12:00:08"}, {noon + 9, noon + 10},
          {0, 0, "12:00:11 "}, {noon + 12, noon + 13}}},
        {"a clock more than 12 hours behind the last one counted on", {{noon, noon + 10}, {5, 7}}},
        {"each clock three times, over a minute", {{noon - 3, noon + 3, nullptr, 1, 3}}},
        {"seven seconds apart, over minutes and an hour", {{noon - 200, noon + 200, nullptr, 7}}},
        {"down in steps, twice each, past the start",
         {{noon, noon}, {noon + 40, noon - 40, nullptr, 3, 2}, {noon - 39, noon - 30, nullptr, 1, 2}}},
        {"in steps, twice each, up to midnight and over it",
         {{noon, noon}, {86'380, 86'399, nullptr, 3, 2}, {0, 10, nullptr, 3, 2}, {0, 0, "00:00:10,1"}}},
        {"a clock again, then seconds that are no seconds", {{noon, noon, nullptr, 1, 3}, {0, 0, "12:00:6x,1"}}},
        {"a clock again, then the sixtieth second", {{noon, noon + 1, nullptr, 1, 2}, {0, 0, "12:00:60,1"}}},
        {"short and odd clocks with the hour and minute before",
         {{noon, noon, nullptr, 1, 2}, {0, 0, "12:00:0"}, {0, 0, "12:00:0"}, {noon + 1, noon + 2},
          {0, 0, "12:00:02"}, {0, 0, "12:00:03.5"}, {0, 0, "12:00:03"}, {0, 0, "12:00:0 "}, {0, 0, "12:00:03"},
          {0, 0, "12:00: 3,1"}, {0, 0, "12:00:3,1"}, {0, 0, "12:00:03"}}},
        {"the clock before a line the general way took is not taken again",
         {{86'398, 86'398}, {0, 0, "00:00:01\r,1"}, {86'398, 86'398}, {86'399, 86'399}}},
        {"a clock again with a lone CR and a Ctrl-Z in its line",
         {{noon, noon + 1, nullptr, 1, 2}, {0, 0, "12:00:01\r,1"}, {0, 0, "12:00:01,1"}, {0, 0, "12:00:01\x1a,1"},
          {noon + 1, noon + 2}}},
    };
    TempFolder folder;
    TConversionSettings counted;
    counted.ReplacementBeyondList = ";";
    counted.RelativeTime = true;
    TConversionSettings listed = counted;
    listed.DataReplacements = {"|", ""};
    TConversionSettings countedPastMidnight = counted;
    countedPastMidnight.AcrossMidnight = true;
    TConversionSettings listedPastMidnight = listed;
    listedPastMidnight.AcrossMidnight = true;
    const std::vector<std::pair<const char*, const TConversionSettings*>> settings = {
        {", one map", &counted}, {", a list", &listed},
        {", one map, past midnight", &countedPastMidnight}, {", a list, past midnight", &listedPastMidnight}};
    for (const Case& c : cases) {
        std::string input = "Time,A\r\n";
        for (const ClockRun& run : c.clocks) {
            if (run.text) {
                input += std::string(run.text) + "\r\n";
                continue;
            }
            const int step = run.to >= run.from ? run.every : -run.every;
            for (int second = run.from; step > 0 ? second <= run.to : second >= run.to; second += step) {
                for (int time = 0; time < run.times; ++time)
                    input += Clock(second, ':') + ",1\r\n";
            }
        }
        WriteBytes(folder / "in.pe", input);
        const std::pair<std::size_t, std::size_t> buffers[] = {
            {TLineReader::kDefaultReadSize, TLineWriter::kDefaultBufferSize}, {1, 2}, {129, 300}};
        for (const auto& [settingsName, s] : settings) {
            const Expected expected = NaiveRun(input, *s);
            for (const auto& [readSize, writeSize] : buffers) {
                SCOPED_TRACE(std::string(c.name) + settingsName + ", read " + std::to_string(readSize));
                TRecordingSink sink;
                std::string error;
                WriteBytes(folder / "out.csv", "earlier");
                TConvertFileOptions options;
                options.ReadSize = readSize;
                options.WriteBufferSize = writeSize;
                try {
                    ConvertFile(folder / "in.pe", folder / "out.csv", *s, sink, options);
                } catch (const EConvertError& e) {
                    error = e.Message();
                }
                EXPECT_EQ(ReadBytes(folder / "out.csv"), test::OutputAfter(expected, "earlier"));
                EXPECT_EQ(error, expected.error);
            }
        }
    }
}

// Stops the run by failing at the n-th value it is told.
class TFailingSink : public TRecordingSink {
public:
    explicit TFailingSink(int failAt) : failAt_(failAt) {}
    void SetValue(std::int64_t value) override
    {
        TRecordingSink::SetValue(value);
        if (--failAt_ == 0)
            throw std::runtime_error("sink failed");
    }

private:
    int failAt_;
};

#ifndef _WIN32
// What the pipe holds once its writer is gone; the run's output must fit
// the pipe's buffer, as nothing reads it while the run goes on.
std::string Drain(int fd)
{
    std::string bytes;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
        bytes.append(buffer, static_cast<std::size_t>(n));
    return bytes;
}
#endif

// A run its sink stops (as the window's Esc does) leaves the earlier output
// as it was; an output written in place, a pipe, holds exactly the lines
// the sink was told of.
TEST(ConvertFilePlainLines, StoppedRunLeavesTheOutputOrPipeHoldingTheLinesTold)
{
    TempFolder folder;
    std::string input = "Time,A\r\n";
    for (int second = 0; second < 2000; ++second)
        input += Clock(second, ':') + ",1\r\n";
    WriteBytes(folder / "in.pe", input);
#ifndef _WIN32
    ASSERT_EQ(::mkfifo((folder / "pipe").c_str(), 0600), 0);
#endif
    for (const bool relativeTime : {false, true}) {
        TConversionSettings s;
        s.ReplacementBeyondList = ";";
        s.RelativeTime = relativeTime;
        const Expected all = NaiveRun(input, s);
        // SetValue(0) comes first, then one value per line.
        for (const int failAt : {2, 3, 50, 300, 1000, 2001}) {
            SCOPED_TRACE(std::to_string(failAt) + (relativeTime ? " with relative time" : ""));
            WriteBytes(folder / "out.csv", "earlier");
            TFailingSink sink(failAt);
            EXPECT_THROW(ConvertFile(folder / "in.pe", folder / "out.csv", s, sink), std::runtime_error);
            EXPECT_EQ(ReadBytes(folder / "out.csv"), "earlier");
            EXPECT_TRUE(sink.EndsFinished());
#ifndef _WIN32
            const int reader = ::open((folder / "pipe").c_str(), O_RDONLY | O_NONBLOCK);
            ASSERT_GE(reader, 0);
            TFailingSink pipeSink(failAt);
            EXPECT_THROW(ConvertFile(folder / "in.pe", folder / "pipe", s, pipeSink), std::runtime_error);
            // Output lines 1 .. failAt - 1 (the header is line 1).
            std::size_t end = 0;
            for (int line = 1; line < failAt; ++line)
                end = all.output.find("\r\n", end) + 2;
            EXPECT_EQ(Drain(reader), all.output.substr(0, end));
            ::close(reader);
#endif
        }
    }
}

TEST(ConvertFilePlainLines, LinesLongerThanTheReadBufferComeOutWhole)
{
    TempFolder folder;
    std::string input = "Time,A\r\n";
    for (int l = 0; l < 40; ++l)
        input += Clock(l, ':') + "," + std::string(static_cast<std::size_t>(l) * 97, l % 2 ? 'x' : ',') +
                 (l % 3 ? "\r\n" : "\n");
    WriteBytes(folder / "in.pe", input);
    TConversionSettings s;
    s.ReplacementBeyondList = ";";
    s.RelativeTime = true;
    const Expected expected = NaiveRun(input, s);
    for (const std::size_t readSize : {std::size_t{128}, std::size_t{256}, std::size_t{1000}}) {
        TRecordingSink sink;
        TConvertFileOptions options;
        options.ReadSize = readSize;
        ConvertFile(folder / "in.pe", folder / "out.csv", s, sink, options);
        EXPECT_EQ(ReadBytes(folder / "out.csv"), expected.output) << readSize;
        EXPECT_EQ(sink.calls, expected.calls) << readSize;
    }
}

// Keeps the pieces a run hands over, as they come.
class TPieceSink : public ILineSink {
public:
    void Write(const char* data, std::size_t size) override
    {
        bytes.append(data, size);
        sizes.push_back(size);
    }
    void Finish() override {}
    std::string bytes;
    std::vector<std::size_t> sizes;
};

// Each buffer handed over keeps both sides waiting a while: whatever the
// line a count cell makes longer, the buffers go out nearly full.
TEST(ConvertFilePlainLines, BuffersGoOutNearlyFullWithAndWithoutTheCount)
{
    TempFolder folder;
    std::string input = "Time,A,B\r\n";
    for (int second = 0; second < 40'000; ++second)
        input += Clock(second, ':') + ",20.5" + std::string(static_cast<std::size_t>(second % 50), '7') + ",1\r\n";
    WriteBytes(folder / "in.pe", input);
    for (const bool relativeTime : {false, true}) {
        SCOPED_TRACE(relativeTime ? "with the count" : "without the count");
        TConversionSettings s;
        s.ReplacementBeyondList = ";";
        s.RelativeTime = relativeTime;
        TPieceSink pieces;
        TNullProgressSink sink;
        ConvertFile(folder / "in.pe", pieces, s, sink);
        EXPECT_EQ(pieces.bytes, NaiveRun(input, s).output);
        ASSERT_GT(pieces.sizes.size(), 4u);
        // All but the last at least 98 % full.
        std::vector<std::size_t> lessFull;
        for (std::size_t i = 0; i + 1 < pieces.sizes.size(); ++i) {
            if (pieces.sizes[i] * 50 < TLineWriter::kDefaultBufferSize * 49)
                lessFull.push_back(pieces.sizes[i]);
        }
        EXPECT_EQ(lessFull, std::vector<std::size_t>());
    }
}

// ---------------------------------------------------------------------------
// Moving buffered bytes to the front

TEST(LineReaderFetchBehind, KeepsLinesAndPositionsWhereverItIsCalled)
{
    TempFolder folder;
    std::mt19937 rng(17);
    std::uniform_int_distribution<int> percent(0, 99);
    for (int round = 0; round < 300; ++round) {
        const std::string bytes =
            RandomBytes(rng, static_cast<std::size_t>(percent(rng) * 20), "abc,\r\n\n\n\r\n\x1a");
        WriteBytes(folder / "in.pe", bytes);
        for (const std::size_t readSize : {std::size_t{1}, std::size_t{3}, std::size_t{128}, std::size_t{129},
                                           std::size_t{300}}) {
            SCOPED_TRACE("round " + std::to_string(round) + " read " + std::to_string(readSize));
            TLineReaderModel model(bytes);
            TLineReader reader(TLineReader::TReadFailure::Raise, readSize);
            ASSERT_TRUE(reader.Open(folder / "in.pe"));
            std::string line;
            for (int step = 0; step < 5000; ++step) {
                if (percent(rng) < 40)
                    reader.FetchBehindBuffered();
                const bool end = model.AtEnd();
                ASSERT_EQ(reader.AtEnd(), end);
                ASSERT_EQ(reader.PositionInBlocks(), model.PositionInBlocks());
                if (end)
                    break;
                if (percent(rng) < 30)
                    reader.FetchBehindBuffered();
                ReadLine(reader, line);
                ASSERT_EQ(line, model.ReadLine());
                ASSERT_EQ(reader.PositionInBlocks(), model.PositionInBlocks());
            }
        }
    }
}

} // namespace
} // namespace morvane
