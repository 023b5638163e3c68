#include "TApplication.h"

#include "TLocaleTimeSettings.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEvent>
#include <QIcon>
#include <QPalette>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QToolTip>

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cmath>

#ifdef _WIN32
#include <windows.h>
#endif

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

double RelativeLuminance(const QColor& color)
{
    const auto channel = [](double c) { return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); };
    return 0.2126 * channel(color.redF()) + 0.7152 * channel(color.greenF()) + 0.0722 * channel(color.blueF());
}

double ToolTipContrast()
{
    const QPalette palette = QToolTip::palette();
    const double text = RelativeLuminance(palette.color(QPalette::ToolTipText));
    const double base = RelativeLuminance(palette.color(QPalette::ToolTipBase));
    return (std::max(text, base) + 0.05) / (std::min(text, base) + 0.05);
}

// At least 4.5:1, also after a theme whose tooltips are grey on white.
TEST(Application, ToolTipsAreReadable)
{
    EXPECT_GE(ToolTipContrast(), 4.5);
    const QPalette before = QApplication::palette();
    QPalette grey = before;
    grey.setColor(QPalette::ToolTipText, QColor(0xA6, 0xA6, 0xA6));
    grey.setColor(QPalette::ToolTipBase, Qt::white);
    QApplication::setPalette(grey);
    QToolTip::setPalette(grey);
    QEvent change(QEvent::ApplicationPaletteChange);
    QApplication::sendEvent(&App(), &change);
    EXPECT_GE(ToolTipContrast(), 4.5);
    QApplication::setPalette(before);
}

// Like the Windows style: each tip label gets a palette of its own that
// keeps only what the label's class has from the application, and a palette
// set for a class is polished before it is stored, so what is stored never
// equals what was set.
class TWindowsLikeStyle : public QProxyStyle {
public:
    TWindowsLikeStyle()
        : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion")))
    {
    }
    void polish(QWidget* widget) override
    {
        QProxyStyle::polish(widget);
        if (widget->inherits("QTipLabel")) {
            QPalette own;
            own.setColor(QPalette::All, QPalette::ToolTipText, QColor(0xA6, 0xA6, 0xA6));
            own.setResolveMask(0);
            widget->setPalette(own);
        }
    }
    void polish(QPalette& palette) override
    {
        QProxyStyle::polish(palette);
        palette.setColor(QPalette::AlternateBase, palette.color(QPalette::Base).darker(104));
    }
    using QProxyStyle::polish;
};

// The tip as shown is black on pale yellow under such a style, after a theme
// with grey tips on white; and the change ends: setting the tips' palette
// again on its own announcement once ran until the stack overflowed, and
// the Windows program never showed its window.
TEST(Application, ShownToolTipIsBlackOnPaleYellowUnderAStyleThatPolishesPalettes)
{
    const QString styleBefore = QApplication::style()->name();
    const QPalette before = QApplication::palette();
    QApplication::setStyle(new TWindowsLikeStyle);
    QPalette grey = before;
    grey.setColor(QPalette::ToolTipText, QColor(0xA6, 0xA6, 0xA6));
    grey.setColor(QPalette::ToolTipBase, Qt::white);
    QApplication::setPalette(grey);
    QEvent change(QEvent::ApplicationPaletteChange);
    QApplication::sendEvent(&App(), &change);
    QToolTip::showText(QPoint(20, 20), QStringLiteral("\",\" no. 1 of 3"));
    QWidget* tip = nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->inherits("QTipLabel") && widget->isVisible())
            tip = widget;
    }
    ASSERT_NE(tip, nullptr);
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        EXPECT_EQ(tip->palette().color(group, tip->foregroundRole()), QColor(Qt::black)) << group;
        EXPECT_EQ(tip->palette().color(group, tip->backgroundRole()), QColor(0xFF, 0xFF, 0xE1)) << group;
    }
    QToolTip::hideText();
    QApplication::setStyle(styleBefore);
    QApplication::setPalette(before);
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

#ifndef _WIN32
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
#endif

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

#ifdef _WIN32
// On Windows the user changes the regional settings and the system announces
// it to every top-level window with WM_SETTINGCHANGE "intl".
struct TUserRegionCase {
    const wchar_t* timeSeparator;
    const wchar_t* decimalSeparator;
    char clockSeparator;
    char fractionSeparator;
};

class UserSettingsChange : public ::testing::TestWithParam<TUserRegionCase> {
protected:
    void SetUp() override
    {
        GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_STIME, savedTime_, 16);
        GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, savedDecimal_, 16);
    }

    void TearDown() override
    {
        SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STIME, savedTime_);
        SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, savedDecimal_);
        morvane::LoadLocaleTimeSettings();
        App().SetUpdateFormatSettings(true);
    }

    void SetUserSeparators(const wchar_t* time, const wchar_t* decimal)
    {
        ASSERT_NE(SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STIME, time), 0);
        ASSERT_NE(SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, decimal), 0);
        morvane::LocaleTimeSettings().ClockSeparator = '#';
        morvane::LocaleTimeSettings().FractionSeparator = '#';
    }

    // The message as a window of ours receives it: the toolkit's windows hand
    // every message to the event dispatcher's native filters first.
    static void Announce(const wchar_t* area)
    {
        MSG message{};
        message.message = WM_SETTINGCHANGE;
        message.lParam = reinterpret_cast<LPARAM>(area);
        qintptr result = 0;
        QAbstractEventDispatcher::instance()->filterNativeEvent(QByteArrayLiteral("windows_generic_MSG"),
                                                                &message, &result);
        QCoreApplication::processEvents();
    }

    wchar_t savedTime_[16] = {};
    wchar_t savedDecimal_[16] = {};
};

TEST_P(UserSettingsChange, AnnouncementReloadsTheRegionalTimeSettings)
{
    SetUserSeparators(GetParam().timeSeparator, GetParam().decimalSeparator);
    Announce(L"intl");
    EXPECT_EQ(morvane::LocaleTimeSettings().ClockSeparator, GetParam().clockSeparator);
    EXPECT_EQ(morvane::LocaleTimeSettings().FractionSeparator, GetParam().fractionSeparator);
}

INSTANTIATE_TEST_SUITE_P(Separators, UserSettingsChange,
                         ::testing::Values(TUserRegionCase{L".", L",", '.', ','},
                                           TUserRegionCase{L":", L".", ':', '.'}));

TEST_F(UserSettingsChange, OtherSettingAreasLeaveTheSettingsAlone)
{
    SetUserSeparators(L".", L",");
    Announce(L"Policy");
    EXPECT_EQ(morvane::LocaleTimeSettings().ClockSeparator, '#');
}

TEST_F(UserSettingsChange, NothingIsReloadedWhenTheSwitchIsOff)
{
    SetUserSeparators(L".", L",");
    App().SetUpdateFormatSettings(false);
    Announce(L"intl");
    EXPECT_EQ(morvane::LocaleTimeSettings().FractionSeparator, '#');
}
#endif

} // namespace
