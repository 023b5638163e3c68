#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "TLocaleTimeSettings.h"
#include "TTypedCell.h"
#include "WorkbookText.h"

using morvane::TTypedCell;
using TKind = TTypedCell::TKind;

namespace {

struct TCellCase {
    const char* Cell;
    TKind Kind;
    double Value;
    bool Milliseconds;
};

TEST(TypedCell, EachCellTakesTheTypeItsWholeTextReadsAs)
{
    morvane::LoadLocaleTimeSettings();
    const TCellCase cases[] = {
        {"", TKind::Empty, 0, false},
        {"1.5", TKind::Number, 1.5, false},
        {"1,5", TKind::Number, 1.5, false},
        {"-2.25", TKind::Number, -2.25, false},
        {"+7", TKind::Number, 7, false},
        {"1e3", TKind::Number, 1000, false},
        {"2.5E-1", TKind::Number, 0.25, false},
        {".5", TKind::Number, 0.5, false},
        {"5.", TKind::Number, 5, false},
        {"0042", TKind::Number, 42, false},
        {"1,000.5", TKind::Text, 0, false},
        {"1.5.", TKind::Text, 0, false},
        {"1e", TKind::Text, 0, false},
        {"1e999", TKind::Text, 0, false},
        {"inf", TKind::Text, 0, false},
        {"nan", TKind::Text, 0, false},
        {"0x10", TKind::Text, 0, false},
        {"1.5x", TKind::Text, 0, false},
        {"-", TKind::Text, 0, false},
        {"12:00:00", TKind::Time, 0.5, false},
        {"06:00:00.500", TKind::Time, (6 * 3600 * 1000 + 500) / 86'400'000.0, true},
        // The digits after the fraction separator are a decimal fraction.
        {"12:00:00.5", TKind::Time, (12 * 3600 * 1000 + 500) / 86'400'000.0, true},
        {"23:59:59.9", TKind::Time, (86'399'000 + 900) / 86'400'000.0, true},
        {"12:00:00.25", TKind::Time, (12 * 3600 * 1000 + 250) / 86'400'000.0, true},
        {"12:00:00.1234", TKind::Time, (12 * 3600 * 10'000.0 + 1234) / 864'000'000.0, true},
        {"12:00:00.000", TKind::Time, 0.5, false},
        {"12:30", TKind::Time, 12.5 / 24, false},
        // A time has hours and minutes; a padded number is a number.
        {" 5", TKind::Number, 5, false},
        {"7 ", TKind::Number, 7, false},
        {" -1,5 ", TKind::Number, -1.5, false},
        {"  ", TKind::Text, 0, false},
        {"7 PM", TKind::Text, 0, false},
        {"0000000000000000000000000000000000000000000000000000000000000000001", TKind::Number, 1, false},
        // What 16 digits would print beyond the largest double stays text.
        {"1.7976931348623157e308", TKind::Text, 0, false},
        {"-1.7976931348623157e308", TKind::Text, 0, false},
        {"1.797693134862315e308", TKind::Number, 1.797693134862315e308, false},
        {"ok", TKind::Text, 0, false},
    };
    for (const TCellCase& c : cases) {
        const TTypedCell typed = TTypedCell::Of(c.Cell);
        EXPECT_EQ(typed.Kind, c.Kind) << c.Cell;
        EXPECT_EQ(typed.Value, c.Value) << c.Cell;
        EXPECT_EQ(typed.HasMilliseconds, c.Milliseconds) << c.Cell;
    }
}

// Under a regional setting whose decimal separator is a comma, the comma
// starts the fraction of a second, read the same decimal way.
TEST(TypedCell, RegionalFractionSeparatorStartsADecimalFraction)
{
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr)
        GTEST_SKIP() << "no de_DE.UTF-8 locale (tools/setup.sh makes it)";
    morvane::LoadLocaleTimeSettings();
    const TTypedCell typed = TTypedCell::Of("12:00:00,5");
    std::setlocale(LC_ALL, "C");
    morvane::LoadLocaleTimeSettings();
    EXPECT_EQ(typed.Kind, TKind::Time);
    EXPECT_EQ(typed.Value, (12 * 3600 * 1000 + 500) / 86'400'000.0);
}

TEST(TypedCell, DescribeNamesTheTypeBesideTheCellsText)
{
    morvane::LoadLocaleTimeSettings();
    EXPECT_EQ(TTypedCell::Describe("1.5") + TTypedCell::Describe("12:00:01") + TTypedCell::Describe("ok") +
                  TTypedCell::Describe(""),
              "[number 1.5][time 12:00:01][text \"ok\"][empty]");
}

TEST(WorkbookText, Windows1252BecomesUtf8AndWhatXmlCannotHoldIsEscaped)
{
    const std::pair<std::string, std::string> cases[] = {
        {"plain", "plain"},
        {"\xE4\xF6\xFC\xDF", "\xC3\xA4\xC3\xB6\xC3\xBC\xC3\x9F"},
        {"\x80 \x9F \x81", "\xE2\x82\xAC \xC5\xB8 \xC2\x81"},
        {std::string("a\0b", 3), "a_x0000_b"},
        {"\x01\t\n\r\x1F", "_x0001_\t\n_x000D__x001F_"},
        {"_x0041_", "_x005F_x0041_"},
        {"_x004_ _xZZZZ_ _", "_x004_ _xZZZZ_ _"},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(morvane::WorkbookText(in), out);
}

} // namespace
