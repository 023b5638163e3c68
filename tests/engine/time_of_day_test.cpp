#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "EConvertError.h"
#include "TLocaleTimeSettings.h"
#include "TimeOfDay.h"

namespace morvane {
namespace {

std::int32_t Ms(int h, int m, int s, int ms = 0)
{
    return ((h * 60 + m) * 60 + s) * 1000 + ms;
}

// Every case states the regional values it runs under and puts the previous
// ones back afterwards, so cases never depend on their order.
class TimeOfDayTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        saved_ = LocaleTimeSettings();
        Use(':', '.', "am", "pm");
    }
    void TearDown() override { LocaleTimeSettings() = saved_; }

    static void Use(char clock, char fraction, std::string am, std::string pm)
    {
        TLocaleTimeSettings& s = LocaleTimeSettings();
        s.ClockSeparator = clock;
        s.FractionSeparator = fraction;
        s.AmMark = std::move(am);
        s.PmMark = std::move(pm);
    }

    static std::optional<std::int32_t> Parse(const std::string& text)
    {
        std::int32_t ms = -1;
        if (!TryMillisecondOfDayFromBytes(text, ms))
            return std::nullopt;
        return ms;
    }

private:
    TLocaleTimeSettings saved_;
};

struct GrammarCase {
    std::string text;
    std::optional<std::int32_t> expected; // nullopt: no time of day
};

TEST_F(TimeOfDayTest, ReadsTheGrammarWithColonPointAndLowercaseDesignators)
{
    const std::vector<GrammarCase> cases = {
        {"12:34:56", Ms(12, 34, 56)},
        {"12", Ms(12, 0, 0)},
        {"7:5", Ms(7, 5, 0)},
        {"1:2:3.45", Ms(1, 2, 3, 45)},
        {"1:2:3.5", Ms(1, 2, 3, 5)},
        {"1:2:3.500", Ms(1, 2, 3, 500)},
        {"1:2:3.999", Ms(1, 2, 3, 999)},
        {" 9:05:03 ", Ms(9, 5, 3)},
        {"12 : 34", Ms(12, 34, 0)},
        {"   12   :   34   :   56   .   7   ", Ms(12, 34, 56, 7)},
        {"0000012:00", Ms(12, 0, 0)},
        {"00000000000000012", Ms(12, 0, 0)},
        {"00:00:00", 0},
        {"23:59:59.999", Ms(23, 59, 59, 999)},
        {"7 pm", Ms(19, 0, 0)},
        {"7PM", Ms(19, 0, 0)},
        {"pm 7", Ms(19, 0, 0)},
        {"PM7", Ms(19, 0, 0)},
        {"pM 7:15", Ms(19, 15, 0)},
        {"7 am", Ms(7, 0, 0)},
        {"7 aM", Ms(7, 0, 0)},
        {"12 am", 0},
        {"12:30 am", Ms(0, 30, 0)},
        {"12 PM", Ms(12, 0, 0)},
        {"12:34:56 PM", Ms(12, 34, 56)},
        {"11:59:59.999 pm", Ms(23, 59, 59, 999)},
        {"1 pm", Ms(13, 0, 0)},
        {"  am   1  ", Ms(1, 0, 0)},
        // grammar failures
        {"0 am", std::nullopt},
        {"13 pm", std::nullopt},
        {"24:00:00", std::nullopt},
        {"23:60:00", std::nullopt},
        {"23:59:60", std::nullopt},
        {"0:0:0.1000", std::nullopt},
        {"12:34:", std::nullopt},
        {"12:34:56.", std::nullopt},
        {"12:", std::nullopt},
        {"9:05:03;", std::nullopt},
        {"2007-01-", std::nullopt},
        {"12345", std::nullopt},
        {"", std::nullopt},
        {" ", std::nullopt},
        {"\t12:00", std::nullopt},
        {"12:00\t", std::nullopt},
        {"12:\t00", std::nullopt},
        {"AM 7 PM", std::nullopt},
        {"am pm 7", std::nullopt},
        {"7 am pm", std::nullopt},
        {"am", std::nullopt},
        {":30", std::nullopt},
        {"-1", std::nullopt},
        {"+1", std::nullopt},
        {"1.5", std::nullopt}, // the fraction only follows the seconds
        {"1:2.5", std::nullopt},
        {"12.34.56", std::nullopt},
        {"12:34:56:00", std::nullopt},
        {"12:34:56.7.8", std::nullopt},
        {"12h", std::nullopt},
        {"a", std::nullopt},
        {"p", std::nullopt},
        {std::string("12\0", 3), std::nullopt},
    };
    for (const GrammarCase& c : cases) {
        SCOPED_TRACE("text '" + c.text + "'");
        EXPECT_EQ(Parse(c.text), c.expected);
    }
}

TEST_F(TimeOfDayTest, NumberFieldStopsAfterTheDigitThatReachesOneThousand)
{
    // 1234 stops the hour field; the 5 is left over. 1000 also stops it,
    // with the next digit left for the separator test, which it fails.
    const std::vector<GrammarCase> cases = {
        {"12345", std::nullopt},
        {"9999", std::nullopt},  // read whole, then out of range
        {"99999", std::nullopt}, // the last 9 is left over
        {"0:0099:0", std::nullopt},
        {"0:0059:0", Ms(0, 59, 0)},
        {"0:0:0.0999", Ms(0, 0, 0, 999)},
        {"0:0:0.00000999", Ms(0, 0, 0, 999)},
        {"10000", std::nullopt},
    };
    for (const GrammarCase& c : cases) {
        SCOPED_TRACE("text '" + c.text + "'");
        EXPECT_EQ(Parse(c.text), c.expected);
    }
}

TEST_F(TimeOfDayTest, ValueIsTheMillisecondCountOverADay)
{
    const struct {
        std::string text;
        std::int32_t ms;
    } cases[] = {
        {"12:34:56", 45'296'000},
        {"00:00:01", 1'000},
        {"12", 43'200'000},
        {"23:59:59.999", 86'399'999},
        {"00:00:00", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const double expected = static_cast<double>(c.ms) / 86'400'000.0;
        double viaTry = -1.0;
        ASSERT_TRUE(TryTimeOfDayFromText(c.text, viaTry));
        EXPECT_EQ(viaTry, expected);
        EXPECT_EQ(TimeOfDayFromText(c.text), expected);
    }
    EXPECT_NEAR(TimeOfDayFromText("12:34:56"), 0.524259259259, 1e-12);
}

TEST_F(TimeOfDayTest, ErrorMessageQuotesTheWholeTextUnchanged)
{
    const struct {
        std::string text;
        std::string message;
    } cases[] = {
        {"12:3x:00", "'12:3x:00' is not a valid time"},
        {"", "'' is not a valid time"},
        {" 25:00 ", "' 25:00 ' is not a valid time"},
        {"100%", "'100%' is not a valid time"},
        {"%s%d%n", "'%s%d%n' is not a valid time"},
        {"'quoted'", "''quoted'' is not a valid time"},
        {"\t12", "'\t12' is not a valid time"},
        {std::string("1\0x", 3), std::string("'1\0x' is not a valid time", 25)},
        {"\xC4\xFF", "'\xC4\xFF' is not a valid time"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        try {
            TimeOfDayFromText(c.text);
            ADD_FAILURE() << "no error raised";
        } catch (const EConvertError& e) {
            // Caught as the shared base too, as the error report sees it.
            const Exception& base = e;
            EXPECT_EQ(base.Message(), c.message);
        }
        EXPECT_EQ(InvalidTimeMessage(c.text), c.message);
    }
}

TEST_F(TimeOfDayTest, RegionalSeparatorsReplaceColonAndPoint)
{
    Use('.', ',', "", "");
    const std::vector<GrammarCase> cases = {
        {"12.34.56", Ms(12, 34, 56)},
        {"12:34:56", std::nullopt},
        {"12.34.56,789", Ms(12, 34, 56, 789)},
        {"12.34.56.789", std::nullopt},
        {"7 PM", Ms(19, 0, 0)}, // the literal forms work without regional designators
        {"7 am", Ms(7, 0, 0)},
        {"12 : 34", std::nullopt},
    };
    for (const GrammarCase& c : cases) {
        SCOPED_TRACE("text '" + c.text + "'");
        EXPECT_EQ(Parse(c.text), c.expected);
    }
}

TEST_F(TimeOfDayTest, SameCharacterForClockAndFractionIsReadInTurn)
{
    Use('.', '.', "", "");
    EXPECT_EQ(Parse("1.2.3.4"), Ms(1, 2, 3, 4));
    EXPECT_EQ(Parse("1.2.3.4.5"), std::nullopt);
}

TEST_F(TimeOfDayTest, EmptyRegionalSeparatorNeverMatches)
{
    Use('\0', '\0', "", "");
    EXPECT_EQ(Parse("12"), Ms(12, 0, 0));
    EXPECT_EQ(Parse(std::string("12\0" "30", 5)), std::nullopt);
    EXPECT_EQ(Parse("12:30"), std::nullopt);
}

TEST_F(TimeOfDayTest, RegionalDesignatorsComeBeforeTheLiteralOnes)
{
    Use(':', '.', "vorm", "nachm");
    const std::vector<GrammarCase> cases = {
        {"7 nachm", Ms(19, 0, 0)},
        {"7 NACHM", Ms(19, 0, 0)},
        {"vorm 12:15", Ms(0, 15, 0)},
        {"7 PM", Ms(19, 0, 0)},
        {"7 am", Ms(7, 0, 0)},
        {"7 nach", std::nullopt}, // shorter than the designator: no match
        {"7 nachmx", std::nullopt},
    };
    for (const GrammarCase& c : cases) {
        SCOPED_TRACE("text '" + c.text + "'");
        EXPECT_EQ(Parse(c.text), c.expected);
    }
}

TEST_F(TimeOfDayTest, FirstMatchingDesignatorWinsInFixedOrder)
{
    // A region whose before-noon mark begins like the literal "PM": the
    // regional mark is tried first, so "PMX" counts as before noon.
    Use(':', '.', "PMX", "");
    EXPECT_EQ(Parse("PMX 3"), Ms(3, 0, 0));
    EXPECT_EQ(Parse("PM 3"), Ms(15, 0, 0));
    // An after-noon mark equal to "AM" still loses to the literal "AM".
    Use(':', '.', "", "am");
    EXPECT_EQ(Parse("3 am"), Ms(3, 0, 0));
}

TEST_F(TimeOfDayTest, HighBytesCompareExactlyInTheCLocale)
{
    // The C locale knows no case for bytes above 127.
    Use(':', '.', "\xE4m", "\xF6m");
    EXPECT_EQ(Parse("3 \xE4m"), Ms(3, 0, 0));
    EXPECT_EQ(Parse("3 \xC4M"), std::nullopt);
    EXPECT_EQ(Parse("3 \xF6M"), Ms(15, 0, 0));
}

} // namespace
} // namespace morvane
