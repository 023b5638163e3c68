#include <gtest/gtest.h>

#include <charconv>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "EConvertError.h"
#include "RelativeTime.h"
#include "TLocaleTimeSettings.h"
#include "TimeOfDay.h"

namespace morvane {
namespace {

// hh:mm:ss of a second of the day, written independently of the code
// under test.
std::string Clock(int secondOfDay)
{
    const int h = secondOfDay / 3600, m = secondOfDay / 60 % 60, s = secondOfDay % 60;
    std::string text = "00:00:00";
    text[0] = static_cast<char>('0' + h / 10);
    text[1] = static_cast<char>('0' + h % 10);
    text[3] = static_cast<char>('0' + m / 10);
    text[4] = static_cast<char>('0' + m % 10);
    text[6] = static_cast<char>('0' + s / 10);
    text[7] = static_cast<char>('0' + s % 10);
    return text;
}

class RelativeTimeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        saved_ = LocaleTimeSettings();
        TLocaleTimeSettings& s = LocaleTimeSettings();
        s.ClockSeparator = ':';
        s.FractionSeparator = '.';
        s.AmMark = "am";
        s.PmMark = "pm";
    }
    void TearDown() override { LocaleTimeSettings() = saved_; }

private:
    TLocaleTimeSettings saved_;
};

struct RunCase {
    std::string start;
    std::string later;
    std::string cell;
};

TEST_F(RelativeTimeTest, CountsExactWholeSecondsFromTheFirstDataLine)
{
    const std::vector<RunCase> cases = {
        {"12:00:00", "12:00:00", "0;"},
        {"12:00:00", "12:00:05", "5;"},
        {"12:00:00", "12:00:01", "1;"},
        {"12:00:00", "12:00:04", "4;"},
        {"12:00:00", "12:00:07", "7;"},
        {"00:00:00", "00:00:10", "10;"},
        {"00:00:00", "00:00:11", "11;"},
        {"00:00:00", "00:00:22", "22;"},
        {"00:00:00", "00:01:01", "61;"},
        {"08:00:00", "08:00:11", "11;"},
        {"23:59:50", "00:00:10", "86380;"},
        {"08:00:11", "08:00:00", "11;"},
        {"00:00:00", "23:59:59", "86399;"},
        {"1:2:3.5", "1:2:4", "0;"},     // 995 ms truncate to nothing
        {"1:2:3.5", "1:2:4.5", "1;"},   // exactly one second
        {"1:2:3.5", "1:2:4.4", "0;"},   // 999 ms
        {"1:2:4", "1:2:3.5", "0;"},     // the same distance backwards
        {"7:05", "7:06", "60;"},        // shorter than eight bytes, read whole
    };
    for (const RunCase& c : cases) {
        SCOPED_TRACE(c.start + " -> " + c.later);
        // Eight-byte clock texts get the rest of a data line behind them.
        const auto line = [](const std::string& clock) {
            return clock.size() == 8 ? clock + ",1.5" : clock;
        };
        TRelativeTimeState state;
        EXPECT_EQ(RelativeTimeCell(line(c.start), state, ";"), "0;");
        EXPECT_EQ(RelativeTimeCell(line(c.later), state, ";"), c.cell);
    }
}

TEST_F(RelativeTimeTest, AcrossMidnightCountsOnFromTheStartOnTheFirstDay)
{
    const struct {
        std::vector<std::string> clocks; // "bad" raises and changes nothing
        std::vector<std::string> cells;
    } cases[] = {
        {{"12:00:00", "23:00:00", "05:00:00", "11:00:00", "23:00:00", "05:00:00", "08:00:11", "08:00:00"},
         {"0", "39600", "61200", "82800", "126000", "147600", "158411", "158400"}},
        {{"23:59:50", "00:00:10"}, {"0", "20"}},
        // Twelve hours back is still the same day; a second more is the next.
        {{"18:00:00", "06:00:00", "18:00:00", "05:59:59"}, {"0", "43200", "0", "43199"}},
        {{"12:00:00", "11:00:00"}, {"0", "3600"}},
        {{"23:00:00", "bad", "01:00:00"}, {"0", "", "7200"}},
    };
    for (const auto& c : cases) {
        TRelativeTimeState state;
        std::vector<std::string> cells;
        for (const std::string& clock : c.clocks) {
            try {
                cells.push_back(RelativeTimeCell(clock + ",1", state, "", true));
            } catch (const EConvertError&) {
                cells.push_back("");
            }
        }
        EXPECT_EQ(cells, c.cells) << c.clocks.front();
    }
}

TEST_F(RelativeTimeTest, EveryWholeSecondOfTheDayCountsExactly)
{
    for (const int start : {0, 12 * 3600}) {
        TRelativeTimeState state;
        ASSERT_EQ(RelativeTimeCell(Clock(start), state, ""), "0");
        int wrong = 0;
        for (int second = 0; second < 86'400; ++second) {
            const int distance = second >= start ? second - start : start - second;
            char expected[8];
            const auto end = std::to_chars(expected, expected + sizeof expected, distance).ptr;
            const std::string cell = RelativeTimeCell(Clock(second) + ";x", state, "");
            if (cell != std::string(expected, end) && ++wrong <= 5)
                ADD_FAILURE() << "from " << Clock(start) << " to " << Clock(second) << ": got "
                              << cell << ", want " << std::string(expected, end);
        }
        EXPECT_EQ(wrong, 0) << "from " << Clock(start);
    }
}

TEST_F(RelativeTimeTest, WholeSecondsApartRoundsEachTimeToItsMillisecond)
{
    const struct {
        std::int32_t a, b; // milliseconds of the day
        std::int64_t seconds;
    } cases[] = {
        {43'201'000, 43'200'000, 1},
        {43'200'000, 43'201'000, 1},
        {11'000, 0, 11},
        {61'000, 0, 61},
        {3'726'000, 3'725'005, 0},
        {3'726'005, 3'725'005, 1},
        {86'399'999, 0, 86'399},
        {0, 0, 0},
        {999, 0, 0},
        {1000, 0, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.a) + " / " + std::to_string(c.b));
        EXPECT_EQ(WholeSecondsApart(c.a / 86'400'000.0, c.b / 86'400'000.0), c.seconds);
    }
}

TEST_F(RelativeTimeTest, WholeSecondsApartStaysDefinedForValuesNoClockGives)
{
    EXPECT_EQ(WholeSecondsApart(1.0, 0.0), 86'400);
    EXPECT_EQ(WholeSecondsApart(-0.5, 0.5), 86'400);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(WholeSecondsApart(nan, nan), 0);
    EXPECT_GT(WholeSecondsApart(inf, 0.0), 0);
    EXPECT_GT(WholeSecondsApart(-inf, inf), 0);
    EXPECT_GT(WholeSecondsApart(1e300, -1e300), 0);
}

TEST_F(RelativeTimeTest, HeaderCellIsRelTimeSeparatorAndOneBlank)
{
    const struct {
        std::string separator, cell;
    } cases[] = {
        {";", "relTime; "},
        {"", "relTime "},
        {" | ", "relTime |  "},
        {"\t", "relTime\t "},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RelativeTimeHeaderCell(c.separator), c.cell);
}

TEST_F(RelativeTimeTest, SeparatorIsInsertedWholeBehindTheCount)
{
    const struct {
        std::string separator, first, later;
    } cases[] = {
        {";", "0;", "15;"},
        {"", "0", "15"},
        {" ;; ", "0 ;; ", "15 ;; "},
        {std::string("\0", 1), std::string("0\0", 2), std::string("15\0", 3)},
    };
    for (const auto& c : cases) {
        TRelativeTimeState state;
        EXPECT_EQ(RelativeTimeCell("12:00:00;1", state, c.separator), c.first);
        EXPECT_EQ(RelativeTimeCell("12:00:15;1", state, c.separator), c.later);
    }
    // An empty separator runs the count straight into the line.
    TRelativeTimeState state;
    RelativeTimeCell("12:00:00;1", state, "");
    const std::string line = "12:00:15;2,5";
    EXPECT_EQ(RelativeTimeCell(line, state, "") + line, "1512:00:15;2,5");
}

TEST_F(RelativeTimeTest, FirstLineRecordsTheStartTime)
{
    TRelativeTimeState state;
    EXPECT_EQ(RelativeTimeCell("08:30:00,1", state, ";"), "0;");
    EXPECT_TRUE(state.StartTimeKnown);
    EXPECT_EQ(state.StartTime, TimeOfDayFromText("08:30:00"));
    EXPECT_EQ(RelativeTimeCell("08:30:10", state, ";"), "10;");
    EXPECT_EQ(state.StartTime, TimeOfDayFromText("08:30:00"));
}

struct BadLineCase {
    std::string line;
    std::string message;
};

TEST_F(RelativeTimeTest, LineWithoutClockTimeRaisesAndKeepsTheState)
{
    const std::vector<BadLineCase> cases = {
        {"9:05:03;1,5", "'9:05:03;' is not a valid time"},
        {"", "'' is not a valid time"},
        {"2007-01-01 12:00:00", "'2007-01-' is not a valid time"},
        {"Time,Value", "'Time,Val' is not a valid time"},
        {"12:3x:00,1", "'12:3x:00' is not a valid time"},
        {"100% done", "'100% don' is not a valid time"},
        {"\t12:00:00", "'\t12:00:0' is not a valid time"},
    };
    for (const BadLineCase& c : cases) {
        SCOPED_TRACE(c.line);
        for (const bool started : {false, true}) {
            TRelativeTimeState state;
            if (started)
                RelativeTimeCell("10:00:00", state, ";");
            const TRelativeTimeState before = state;
            try {
                RelativeTimeCell(c.line, state, ";");
                ADD_FAILURE() << "no error raised";
            } catch (const EConvertError& e) {
                EXPECT_EQ(e.Message(), c.message);
            }
            EXPECT_EQ(state.StartTimeKnown, before.StartTimeKnown);
            EXPECT_EQ(state.StartTime, before.StartTime);
        }
    }
}

TEST_F(RelativeTimeTest, FailedFirstLineLeavesTheNextLineToStart)
{
    TRelativeTimeState state;
    EXPECT_THROW(RelativeTimeCell("header?", state, ";"), EConvertError);
    EXPECT_EQ(RelativeTimeCell("11:00:00", state, ";"), "0;");
    EXPECT_EQ(RelativeTimeCell("11:00:30", state, ";"), "30;");
}

TEST_F(RelativeTimeTest, AppendAddsToTheBufferAndLeavesItAloneOnError)
{
    TRelativeTimeState state;
    std::string out = "keep|";
    AppendRelativeTimeCell(out, "06:00:00", state, ";");
    AppendRelativeTimeCell(out, "06:01:00", state, "--");
    EXPECT_EQ(out, "keep|0;60--");
    EXPECT_THROW(AppendRelativeTimeCell(out, "nope", state, ";"), EConvertError);
    EXPECT_EQ(out, "keep|0;60--");
}

TEST_F(RelativeTimeTest, ClockTextFollowsTheRegionalSeparator)
{
    LocaleTimeSettings().ClockSeparator = '.';
    TRelativeTimeState state;
    EXPECT_EQ(RelativeTimeCell("12.00.00;1", state, ";"), "0;");
    EXPECT_EQ(RelativeTimeCell("12.00.07;1", state, ";"), "7;");
    EXPECT_THROW(RelativeTimeCell("12:00:08;1", state, ";"), EConvertError);
}

} // namespace
} // namespace morvane
