#include <gtest/gtest.h>

#include <clocale>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "TLocaleTimeSettings.h"
#include "TimeOfDay.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace morvane {
namespace {

std::int32_t Ms(int h, int m, int s, int ms = 0)
{
    return ((h * 60 + m) * 60 + s) * 1000 + ms;
}

std::optional<std::int32_t> Parse(const std::string& text)
{
    std::int32_t ms = -1;
    if (!TryMillisecondOfDayFromBytes(text, ms))
        return std::nullopt;
    return ms;
}

// Switches the whole C library locale for one case and always returns to
// "C" with its settings reloaded, so no case sees another's locale.
class LocaleTimeSettingsTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        std::setlocale(LC_ALL, "C");
        LoadLocaleTimeSettings();
    }

    static void Switch(const char* name)
    {
        // The locales are made by the set-up script; a missing one is a
        // broken machine, not a reason to pass.
        ASSERT_NE(std::setlocale(LC_ALL, name), nullptr) << "locale " << name << " is not installed";
        LoadLocaleTimeSettings();
    }
};

#ifdef _WIN32
// Windows reads the user's regional items, not the C library's locale. Each
// case sets the four items of the user (under wine, in the test prefix's
// registry) and puts the earlier values back afterwards.
class RegionalSettingsTest : public ::testing::Test {
protected:
    static constexpr LCTYPE kItems[4] = {LOCALE_STIME, LOCALE_SDECIMAL, LOCALE_S1159, LOCALE_S2359};

    void SetUp() override
    {
        for (int i = 0; i < 4; ++i) {
            wchar_t value[256] = {};
            ASSERT_GT(GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, kItems[i], value, 256), 0);
            saved_[i] = value;
        }
    }
    void TearDown() override
    {
        for (int i = 0; i < 4; ++i)
            SetLocaleInfoW(LOCALE_USER_DEFAULT, kItems[i], saved_[i].c_str());
        LoadLocaleTimeSettings();
    }

    static void Set(const wchar_t* clock, const wchar_t* fraction, const wchar_t* am, const wchar_t* pm)
    {
        const wchar_t* values[4] = {clock, fraction, am, pm};
        for (int i = 0; i < 4; ++i)
            ASSERT_NE(SetLocaleInfoW(LOCALE_USER_DEFAULT, kItems[i], values[i]), 0) << i;
        LoadLocaleTimeSettings();
    }

private:
    std::wstring saved_[4];
};

struct RegionalCase {
    const char* name;
    const wchar_t* items[4];
    char clock;
    char fraction;
    std::string am;
    std::string pm;
};

TEST_F(RegionalSettingsTest, ReadsTheFourItemsOfTheUser)
{
    const std::vector<RegionalCase> cases = {
        {"English", {L":", L".", L"AM", L"PM"}, ':', '.', "AM", "PM"},
        {"Finnish", {L".", L",", L"", L""}, '.', ',', "", ""},
        {"Latin-1 designators", {L":", L",", L"\u00e4m", L"n\u00fc"}, ':', ',', "\xE4m", "n\xFC"},
        {"A long separator takes the default", {L".", L"::", L"a", L"p"}, '.', '.', "a", "p"},
    };
    for (const RegionalCase& c : cases) {
        SCOPED_TRACE(c.name);
        Set(c.items[0], c.items[1], c.items[2], c.items[3]);
        const TLocaleTimeSettings& s = LocaleTimeSettings();
        EXPECT_EQ(s.ClockSeparator, c.clock);
        EXPECT_EQ(s.FractionSeparator, c.fraction);
        EXPECT_EQ(s.AmMark, c.am);
        EXPECT_EQ(s.PmMark, c.pm);
    }
}

TEST_F(RegionalSettingsTest, ParserFollowsTheUsersItems)
{
    struct Case {
        std::string text;
        std::optional<std::int32_t> expected;
    };
    // A Finnish clock, with designators to see them compared without case.
    Set(L".", L",", L"ap.", L"ip.");
    const std::vector<Case> cases = {
        {"12.34.56", Ms(12, 34, 56)},
        {"12.34.56,789", Ms(12, 34, 56, 789)},
        {"12:34:56", std::nullopt},
        {"7 ip.", Ms(19, 0, 0)},
        {"7 IP.", Ms(19, 0, 0)},
        {"Ap. 7", Ms(7, 0, 0)},
        {"7 PM", Ms(19, 0, 0)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(Parse(c.text), c.expected);
    }
}
#else
struct RegionCase {
    const char* locale;
    char clock;
    char fraction;
    std::string am;
    std::string pm;
};

TEST_F(LocaleTimeSettingsTest, ReadsTheFourValuesOfRealLocales)
{
    const std::vector<RegionCase> cases = {
        {"C", ':', '.', "AM", "PM"},
        {"en_US.utf8", ':', '.', "AM", "PM"},
        {"de_DE.utf8", ':', ',', "", ""},
        {"fi_FI.utf8", '.', ',', "", ""},
        {"de_DE.iso88591", ':', ',', "", ""},
    };
    for (const RegionCase& c : cases) {
        SCOPED_TRACE(c.locale);
        Switch(c.locale);
        const TLocaleTimeSettings& s = LocaleTimeSettings();
        EXPECT_EQ(s.ClockSeparator, c.clock);
        EXPECT_EQ(s.FractionSeparator, c.fraction);
        EXPECT_EQ(s.AmMark, c.am);
        EXPECT_EQ(s.PmMark, c.pm);
    }
}

struct RegionParseCase {
    const char* locale;
    std::string text;
    std::optional<std::int32_t> expected;
};

TEST_F(LocaleTimeSettingsTest, ParserFollowsTheLoadedLocale)
{
    const std::vector<RegionParseCase> cases = {
        {"en_US.utf8", "7:05:00 PM", Ms(19, 5, 0)},
        {"en_US.utf8", "12:00:00 am", 0},
        {"en_US.utf8", "1:2:3.45", Ms(1, 2, 3, 45)},
        {"en_US.utf8", "1:2:3,45", std::nullopt},
        {"de_DE.utf8", "12:34:56,5", Ms(12, 34, 56, 5)},
        {"de_DE.utf8", "12:34:56.5", std::nullopt},
        {"de_DE.utf8", "7 PM", Ms(19, 0, 0)},
        {"fi_FI.utf8", "12.34.56", Ms(12, 34, 56)},
        {"fi_FI.utf8", "12.34.56,789", Ms(12, 34, 56, 789)},
        {"fi_FI.utf8", "12:34:56", std::nullopt},
        {"de_DE.iso88591", "23:59:59,999", Ms(23, 59, 59, 999)},
    };
    for (const RegionParseCase& c : cases) {
        SCOPED_TRACE(std::string(c.locale) + " '" + c.text + "'");
        Switch(c.locale);
        EXPECT_EQ(Parse(c.text), c.expected);
    }
}

TEST_F(LocaleTimeSettingsTest, DesignatorsFoldSingleByteLettersOfTheLocale)
{
    // German regions have no designators, so a mark with an umlaut is put
    // in directly; the folding of its high byte comes from LC_CTYPE.
    Switch("de_DE.iso88591");
    LocaleTimeSettings().AmMark = "\xE4m"; // "äm" in Latin-1
    LocaleTimeSettings().PmMark = "n\xFC";  // "nü"
    EXPECT_EQ(Parse("3 \xE4m"), Ms(3, 0, 0));
    EXPECT_EQ(Parse("3 \xC4M"), Ms(3, 0, 0)); // "ÄM"
    EXPECT_EQ(Parse("\xC4m 3"), Ms(3, 0, 0));
    EXPECT_EQ(Parse("3 N\xDC"), Ms(15, 0, 0)); // "NÜ"
    EXPECT_EQ(Parse("3 \xD6M"), std::nullopt); // "ÖM" is another letter
}

TEST_F(LocaleTimeSettingsTest, HighBytesCompareExactlyInAMultibyteLocale)
{
    // In UTF-8 a byte above 127 is part of a character, never a letter on
    // its own, so it must not be case-mapped by the single-byte tables.
    Switch("de_DE.utf8");
    LocaleTimeSettings().AmMark = "\xE4m";
    EXPECT_EQ(Parse("3 \xE4M"), Ms(3, 0, 0));
    EXPECT_EQ(Parse("3 \xC4M"), std::nullopt);
}

TEST_F(LocaleTimeSettingsTest, ReloadReplacesValuesSetBefore)
{
    Switch("fi_FI.utf8");
    LocaleTimeSettings().AmMark = "x";
    Switch("en_US.utf8");
    EXPECT_EQ(LocaleTimeSettings().ClockSeparator, ':');
    EXPECT_EQ(LocaleTimeSettings().AmMark, "AM");
}

#endif

struct FormatCase {
    std::string format;
    std::string twelveHour;
    std::optional<std::string> separator; // nullopt: cannot be read
};

TEST_F(LocaleTimeSettingsTest, ClockSeparatorIsTheTextBetweenHourAndMinute)
{
    const std::vector<FormatCase> cases = {
        {"%H:%M:%S", "", ":"},
        {"%T", "", ":"},
        {"%R", "", ":"},
        {"%r", "%I:%M:%S %p", ":"},
        {"%r", "%I.%M.%S %p", "."},
        {"%r", "%p %I시 %M분 %S초", "시 "},
        {"%r", "", std::nullopt},
        {"%r", "%r", std::nullopt}, // refers to itself
        {"%H.%M.%S", "", "."},
        {"%p %l:%M", "", ":"},
        {"%k:%M", "", ":"},
        {"%-H:%M", "", ":"},
        {"%_2H|%M", "", "|"},
        {"%OH:%OM:%OS", "", ":"},
        {"%EH:%M", "", ":"},
        {"%H%%%M", "", "%"},
        {"%H%t%M", "", "\t"},
        {"%Hh%M", "", "h"},
        {"%H h %M", "", " h "},
        {"%H%M%S", "", ""},
        {"%%T", "", std::nullopt}, // a literal percent and T, no fields
        {"%M:%H", "", std::nullopt},
        {"%H:%S:%M", "", std::nullopt},
        {"%H", "", std::nullopt},
        {"%S", "", std::nullopt},
        {"", "", std::nullopt},
        {"%", "", std::nullopt},
        {"%H:%", "", std::nullopt},
        {"%H:%O", "", std::nullopt},
    };
    for (const FormatCase& c : cases) {
        SCOPED_TRACE("format '" + c.format + "' / '" + c.twelveHour + "'");
        std::string separator = "unchanged";
        const bool readable = ClockSeparatorOfFormat(c.format, c.twelveHour, separator);
        EXPECT_EQ(readable ? std::optional<std::string>(separator) : std::nullopt, c.separator);
    }
}

struct ItemsCase {
    const char* name;
    TLocaleTimeItems items;
    char clock;
    char fraction;
    std::string am;
    std::string pm;
};

TEST_F(LocaleTimeSettingsTest, ItemsFollowTheOneCharacterRuleAndTheDefaults)
{
    const std::vector<ItemsCase> cases = {
        {"plain", {"%H:%M:%S", "", ".", "AM", "PM"}, ':', '.', "AM", "PM"},
        {"nothing readable", {nullptr, nullptr, nullptr, nullptr, nullptr}, ':', '.', "am", "pm"},
        {"unreadable format", {"%S", "", ",", "", ""}, ':', ',', "", ""},
        {"long clock separator", {"%H h %M", "", ",", "", ""}, ':', ',', "", ""},
        {"long radix", {"%H.%M", "", "\xD9\xAB", "", ""}, '.', '.', "", ""},
        {"empty clock separator", {"%H%M%S", "", ".", "", ""}, '\0', '.', "", ""},
        {"empty radix", {"%T", "", "", "", ""}, ':', '\0', "", ""},
        {"empty designators", {"%T", "", ".", "", ""}, ':', '.', "", ""},
        {"only one designator", {"%T", "", ".", nullptr, "nachm."}, ':', '.', "am", "nachm."},
        {"twelve-hour", {"%r", "%I-%M-%S %p", ".", "a.m.", "p.m."}, '-', '.', "a.m.", "p.m."},
        {"twelve-hour unreadable", {"%r", nullptr, ".", "a", "p"}, ':', '.', "a", "p"},
    };
    for (const ItemsCase& c : cases) {
        SCOPED_TRACE(c.name);
        const TLocaleTimeSettings s = LocaleTimeSettingsFromItems(c.items);
        EXPECT_EQ(s.ClockSeparator, c.clock);
        EXPECT_EQ(s.FractionSeparator, c.fraction);
        EXPECT_EQ(s.AmMark, c.am);
        EXPECT_EQ(s.PmMark, c.pm);
    }
}

} // namespace
} // namespace morvane
