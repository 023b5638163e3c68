#include "FontSetup.h"
#include "TBevelButton.h"

#include <QDir>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

#include "Screenshot.h"

#include <gtest/gtest.h>

namespace {

struct Window {
    Window()
    {
        auto* layout = new QVBoxLayout(&window);
        edit = new QLineEdit(&window);
        dots = new TBevelButton(QStringLiteral(".."), &window);
        go = new TBevelButton(QStringLiteral("&Go"), &window);
        layout->addWidget(edit);
        layout->addWidget(dots);
        layout->addWidget(go);
        window.show();
        window.activateWindow();
        active = QTest::qWaitForWindowActive(&window);
    }
    QWidget window;
    QLineEdit* edit;
    TBevelButton* dots;
    TBevelButton* go;
    bool active = false;
};

TEST(BevelButton, AltGClicksTheGoButtonOnce)
{
    Window w;
    ASSERT_TRUE(w.active);
    QSignalSpy goSpy(w.go, &TBevelButton::OnClick);
    QSignalSpy dotsSpy(w.dots, &TBevelButton::OnClick);
    w.edit->setFocus();
    QTest::keyClick(w.edit, Qt::Key_G, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return goSpy.count() > 0; }, 2000));
    QTest::qWait(50);
    EXPECT_EQ(goSpy.count(), 1);
    EXPECT_EQ(dotsSpy.count(), 0);
    EXPECT_EQ(w.edit->text(), QString()) << "the accelerator is not typed into the edit";
}

TEST(BevelButton, MouseSpaceAndEnterClickOnceEach)
{
    Window w;
    ASSERT_TRUE(w.active);
    QSignalSpy spy(w.dots, &TBevelButton::OnClick);
    QTest::mouseClick(w.dots, Qt::LeftButton);
    EXPECT_EQ(spy.count(), 1);
    w.dots->setFocus();
    QTest::keyClick(w.dots, Qt::Key_Space);
    EXPECT_EQ(spy.count(), 2);
    QTest::keyClick(w.dots, Qt::Key_Return);
    EXPECT_EQ(spy.count(), 3);
    QTest::keyClick(w.dots, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(spy.count(), 4);
    // A press released outside the button is no click.
    QTest::mousePress(w.dots, Qt::LeftButton);
    QTest::mouseRelease(w.dots, Qt::LeftButton, {}, QPoint(-10, -10));
    EXPECT_EQ(spy.count(), 4);
    EXPECT_EQ(w.go->Caption(), QStringLiteral("&Go"));
}

TEST(BevelButton, Screenshots)
{
    FontSetup::SetUpFonts();
    TBevelButton go(QStringLiteral("&Go"), nullptr);
    go.resize(71, 24);
    saveScreenshot(go, QStringLiteral("bevel_button_go"));
    TBevelButton dots(QStringLiteral(".."), nullptr);
    dots.resize(31, 24);
    saveScreenshot(dots, QStringLiteral("bevel_button_dots"));
    EXPECT_EQ(go.size(), QSize(71, 24));
}

} // namespace
