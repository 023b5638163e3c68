#include "TApplication.h"

#include "TLocaleTimeSettings.h"

#include <QCoreApplication>
#include <QEvent>
#include <QIcon>

#include <gtest/gtest.h>

#include <clocale>

namespace {

TApplication& App()
{
    return *static_cast<TApplication*>(QCoreApplication::instance());
}

TEST(Application, IsTitledForTheErrorBox)
{
    EXPECT_EQ(App().Title(), QStringLiteral("Morvane (Halvik Control PE to Ostral)"));
    EXPECT_TRUE(App().UpdateFormatSettings());
}

TEST(Application, CarriesTheThirtyTwoPixelIcon)
{
    const QList<QSize> sizes = QApplication::windowIcon().availableSizes();
    ASSERT_EQ(sizes.size(), 1);
    EXPECT_EQ(sizes.first(), QSize(32, 32));
}

struct TRegionCase {
    const char* locale;
    char clockSeparator;
    char fractionSeparator;
};

// A settings change takes the user's regional settings as they are now.
class SettingsChange : public ::testing::TestWithParam<TRegionCase> {
protected:
    void TearDown() override
    {
        qunsetenv("LC_ALL");
        std::setlocale(LC_ALL, "C");
        morvane::LoadLocaleTimeSettings();
        App().SetUpdateFormatSettings(true);
    }

    static void Poison()
    {
        morvane::LocaleTimeSettings().ClockSeparator = '#';
        morvane::LocaleTimeSettings().FractionSeparator = '#';
    }

    static void AnnounceChange()
    {
        QEvent change(QEvent::LocaleChange);
        QCoreApplication::sendEvent(&App(), &change);
    }
};

TEST_P(SettingsChange, ReloadsTheRegionalTimeSettings)
{
    qputenv("LC_ALL", GetParam().locale);
    Poison();
    AnnounceChange();
    EXPECT_EQ(morvane::LocaleTimeSettings().ClockSeparator, GetParam().clockSeparator);
    EXPECT_EQ(morvane::LocaleTimeSettings().FractionSeparator, GetParam().fractionSeparator);
}

INSTANTIATE_TEST_SUITE_P(Locales, SettingsChange,
                         ::testing::Values(TRegionCase{"C", ':', '.'},
                                           TRegionCase{"de_DE.utf8", ':', ','},
                                           TRegionCase{"fi_FI.utf8", '.', ','},
                                           TRegionCase{"en_US.utf8", ':', '.'}));

TEST_F(SettingsChange, NothingIsReloadedWhenTheSwitchIsOff)
{
    qputenv("LC_ALL", "de_DE.utf8");
    App().SetUpdateFormatSettings(false);
    Poison();
    AnnounceChange();
    EXPECT_EQ(morvane::LocaleTimeSettings().FractionSeparator, '#');
}

TEST_F(SettingsChange, OtherEventsLeaveTheSettingsAlone)
{
    qputenv("LC_ALL", "de_DE.utf8");
    Poison();
    QEvent other(QEvent::LanguageChange);
    QCoreApplication::sendEvent(&App(), &other);
    EXPECT_EQ(morvane::LocaleTimeSettings().FractionSeparator, '#');
}

} // namespace
