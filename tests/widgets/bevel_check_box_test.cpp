#include "FontSetup.h"
#include "TBevelCheckBox.h"

#include <QDir>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

#include "Screenshot.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct ToggleCase {
    const char* name;
    bool allowGrayed;
    Qt::CheckState start;
    std::vector<Qt::CheckState> afterEachClick;
};

class BevelCheckBoxToggle : public ::testing::TestWithParam<ToggleCase> {};

TEST_P(BevelCheckBoxToggle, ClicksCycleThroughStatesWithOneEventEach)
{
    TBevelCheckBox box(QStringLiteral("add relative time row to outputfile"), nullptr);
    box.SetAllowGrayed(GetParam().allowGrayed);
    box.SetState(GetParam().start);
    QSignalSpy spy(&box, &TBevelCheckBox::OnChange);
    int expectedEvents = 0;
    for (Qt::CheckState expected : GetParam().afterEachClick) {
        QTest::mouseClick(&box, Qt::LeftButton, {}, QPoint(6, box.height() / 2));
        EXPECT_EQ(box.State(), expected);
        EXPECT_EQ(box.Checked(), expected == Qt::Checked);
        EXPECT_EQ(spy.count(), ++expectedEvents);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, BevelCheckBoxToggle,
    ::testing::Values(
        ToggleCase{"twiceBackToUnchecked", false, Qt::Unchecked, {Qt::Checked, Qt::Unchecked}},
        ToggleCase{"grayedCycle", true, Qt::Unchecked,
                   {Qt::PartiallyChecked, Qt::Checked, Qt::Unchecked, Qt::PartiallyChecked}},
        ToggleCase{"grayedWithoutAllowGoesChecked", false, Qt::PartiallyChecked,
                   {Qt::Checked, Qt::Unchecked, Qt::Checked}},
        ToggleCase{"checkedFirst", true, Qt::Checked, {Qt::Unchecked, Qt::PartiallyChecked}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BevelCheckBox, SettingTheCurrentValueRaisesNothing)
{
    TBevelCheckBox box(nullptr);
    EXPECT_EQ(box.State(), Qt::Unchecked);
    EXPECT_FALSE(box.AllowGrayed());
    QSignalSpy spy(&box, &TBevelCheckBox::OnChange);
    box.SetChecked(false);
    EXPECT_EQ(spy.count(), 0);
    box.SetChecked(true);
    box.SetChecked(true);
    EXPECT_EQ(spy.count(), 1);
    box.SetState(Qt::PartiallyChecked);
    EXPECT_FALSE(box.Checked());
    EXPECT_EQ(spy.count(), 2);
    box.SetState(Qt::PartiallyChecked);
    EXPECT_EQ(spy.count(), 2);
}

TEST(BevelCheckBox, SpaceAndAcceleratorToggle)
{
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* box = new TBevelCheckBox(QStringLiteral("add &relative time row"), &window);
    auto* other = new TBevelCheckBox(QStringLiteral("other"), &window);
    layout->addWidget(box);
    layout->addWidget(other);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QSignalSpy spy(box, &TBevelCheckBox::OnChange);
    box->setFocus();
    QTest::keyClick(box, Qt::Key_Space);
    EXPECT_TRUE(box->Checked());
    EXPECT_EQ(spy.count(), 1);
    other->setFocus();
    QTest::keyClick(&window, Qt::Key_R, Qt::AltModifier);
    // The accelerator clicks through QAbstractButton's animated click.
    EXPECT_TRUE(QTest::qWaitFor([&] { return !box->Checked(); }, 2000));
    EXPECT_EQ(spy.count(), 2);
}

TEST(BevelCheckBox, Screenshots)
{
    FontSetup::SetUpFonts();
    TBevelCheckBox box(QStringLiteral("add relative time row to outputfile"), nullptr);
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(13);
    font.setBold(true);
    box.setFont(font);
    QPalette pal = box.palette();
    pal.setColor(QPalette::WindowText, QColor(0, 0, 128));
    box.setPalette(pal);
    box.resize(249, 25);
    saveScreenshot(box, QStringLiteral("bevel_check_box_unchecked"));
    box.SetChecked(true);
    saveScreenshot(box, QStringLiteral("bevel_check_box_checked"));
    box.SetState(Qt::PartiallyChecked);
    saveScreenshot(box, QStringLiteral("bevel_check_box_grayed"));
    EXPECT_EQ(box.State(), Qt::PartiallyChecked);
}

} // namespace
