#include "TStyledPageControl.h"
#include "TStyledTabBar.h"
#include "TTabSheet.h"
#include "TTabStyle.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>

#include "Screenshot.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace {

const QColor kFace(240, 240, 240);
const QColor kShadow(160, 160, 160);
const QColor kHighlight(255, 255, 255);
const QColor kText(0, 0, 0);

QPalette testPalette()
{
    QPalette pal = QApplication::palette();
    pal.setColor(QPalette::Window, kFace);
    pal.setColor(QPalette::Button, kFace);
    pal.setColor(QPalette::Dark, kShadow);
    pal.setColor(QPalette::Light, kHighlight);
    pal.setColor(QPalette::ButtonText, kText);
    pal.setColor(QPalette::WindowText, kText);
    return pal;
}

// The window's arrangement: a file box above a hidden page control with
// three pages; page 1 holds two boxes, pages 2 and 3 one each.
struct Window {
    QWidget top;
    QLineEdit* fileEdit = new QLineEdit(&top);
    TStyledPageControl* pages = nullptr;
    TTabSheet* settings = new TTabSheet(QStringLiteral("1. Settings"));
    TTabSheet* header = new TTabSheet(QStringLiteral("2. Header"));
    TTabSheet* excel = new TTabSheet(QStringLiteral("3. Excel (csv)"));
    QLineEdit* separators = nullptr;
    QLineEdit* timeSeparator = nullptr;
    QLineEdit* headerBox = nullptr;
    QLineEdit* dataBox = nullptr;

    Window()
    {
        top.setPalette(testPalette());
        top.resize(427, 398);
        fileEdit->setGeometry(18, 32, 391, 21);
        pages = new TStyledPageControl(&top);
        pages->setGeometry(15, 68, 394, 269);
        QFont font(QStringLiteral("Tahoma"));
        font.setPixelSize(14);
        pages->setFont(font);
        pages->AddPage(settings);
        pages->AddPage(header);
        pages->AddPage(excel);
        separators = new QLineEdit(settings);
        separators->setGeometry(56, 48, 265, 21);
        timeSeparator = new QLineEdit(settings);
        timeSeparator->setGeometry(56, 136, 41, 21);
        headerBox = new QLineEdit(header);
        headerBox->setGeometry(33, 90, 20, 21);
        dataBox = new QLineEdit(excel);
        dataBox->setGeometry(33, 90, 20, 21);
        pages->hide();
        pages->SetActivePage(settings);
        top.show();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&top));
    }

    void showPages()
    {
        pages->show();
        QCoreApplication::processEvents();
    }

    QPoint tabCentre(int index) const { return pages->StyledTabBar()->tabRect(index).center(); }
};

int colourDistance(const QColor& a, const QColor& b)
{
    return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue());
}

// Bounding box of the pixels in `area` that differ from `background`.
QRect inkBox(const QImage& img, const QRect& area, const QColor& background)
{
    QRect box;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (img.pixelColor(x, y) != background)
                box |= QRect(x, y, 1, 1);
    return box;
}

} // namespace

TEST(StyledPageControlGeometry, PagesLeaveRoomForTheWindowsControls)
{
    Window w;
    w.showPages();
    saveScreenshot(w.top, "styled_page_control_window");
    // The furthest control of the window's pages ends at 378 x 229.
    for (TTabSheet* page : {w.settings, w.header, w.excel}) {
        EXPECT_GE(page->width(), 378);
        EXPECT_GE(page->height(), 229);
        EXPECT_LE(page->width(), 394);
        EXPECT_LE(page->height(), 269 - w.pages->StyledTabBar()->height());
    }
    EXPECT_EQ(w.settings->PageControl(), w.pages);
    EXPECT_EQ(w.excel->PageIndex(), 2);
    EXPECT_EQ(w.pages->PageCount(), 3);
}

TEST(StyledPageControlTabs, SelectedTabAndOthersSwapColoursWithTheSelection)
{
    Window w;
    w.pages->TabStyle()->SetBackgrColor(kShadow);
    w.pages->TabStyle()->SetFontColor(kHighlight);
    w.pages->TabSelectedStyle()->SetBackgrColor(kFace);
    w.pages->TabSelectedStyle()->SetFontColor(kText);
    w.showPages();
    const char* names[] = {"styled_page_control_tab1", "styled_page_control_tab2", "styled_page_control_tab3"};
    for (int active = 0; active < 3; ++active) {
        w.pages->SetActivePageIndex(active);
        QCoreApplication::processEvents();
        saveScreenshot(*w.pages, names[active]);
        TStyledTabBar* bar = w.pages->StyledTabBar();
        const QImage img = bar->grab().toImage();
        for (int i = 0; i < 3; ++i) {
            const bool selected = i == active;
            const QRect in = bar->InteriorRect(i);
            const QRect r = selected ? in.adjusted(3, 2, -4, -2) : in.adjusted(1, 2, -2, 0);
            const QColor back = selected ? kFace : kShadow;
            const QColor ink = selected ? kText : kHighlight;
            EXPECT_EQ(img.pixelColor(r.left() + 1, r.top() + 1), back) << "tab " << i << " active " << active;
            EXPECT_EQ(img.pixelColor(r.right() - 1, r.bottom() - 1), back) << "tab " << i << " active " << active;
            const QRect text = inkBox(img, r.adjusted(1, 1, -1, -1), back);
            ASSERT_FALSE(text.isEmpty()) << "tab " << i;
            // Centred both ways in its rectangle.
            EXPECT_LE(std::abs((text.left() - r.left()) - (r.right() - text.right())), 2) << "tab " << i;
            EXPECT_LE(std::abs((text.top() - r.top()) - (r.bottom() - text.bottom())), 3) << "tab " << i;
            // Anti-aliased glyphs: count the pixels close to the caption colour.
            int inkPixels = 0;
            for (int y = text.top(); y <= text.bottom(); ++y)
                for (int x = text.left(); x <= text.right(); ++x)
                    inkPixels += colourDistance(img.pixelColor(x, y), ink) < 60 ? 1 : 0;
            EXPECT_GT(inkPixels, 5) << "tab " << i << " active " << active;
        }
    }
}

TEST(StyledPageControlTabs, DisabledSelectedTabUsesTheNormalStyle)
{
    Window w;
    w.pages->TabStyle()->SetBackgrColor(kShadow);
    w.pages->TabSelectedStyle()->SetBackgrColor(kFace);
    w.showPages();
    w.pages->setEnabled(false);
    QCoreApplication::processEvents();
    TStyledTabBar* bar = w.pages->StyledTabBar();
    saveScreenshot(*w.pages, "styled_page_control_disabled");
    const QImage img = bar->grab().toImage();
    const QRect r = bar->InteriorRect(0).adjusted(3, 2, -4, -2);
    EXPECT_EQ(w.pages->ActivePageIndex(), 0);
    EXPECT_EQ(img.pixelColor(r.left() + 1, r.top() + 1), kShadow);
}

TEST(StyledPageControlTabs, TabFontsAreArialTwelvePixelsBuiltOnlyWhenAStyleFontChanges)
{
    Window w;
    w.showPages();
    for (bool selected : {false, true}) {
        EXPECT_EQ(w.pages->TabFont(selected).family(), QStringLiteral("Arial"));
        EXPECT_EQ(w.pages->TabFont(selected).pixelSize(), 12);
        EXPECT_FALSE(w.pages->TabFont(selected).bold());
    }
    const int builds = w.pages->TabFontBuilds();
    for (int i = 0; i < 3; ++i)
        w.pages->StyledTabBar()->repaint();
    EXPECT_EQ(w.pages->TabFontBuilds(), builds);

    QFont bold(QStringLiteral("Arial"));
    bold.setPixelSize(12);
    bold.setBold(true);
    w.pages->TabSelectedStyle()->SetFont(bold);
    EXPECT_EQ(w.pages->TabFontBuilds(), builds + 1);
    EXPECT_TRUE(w.pages->TabFont(true).bold());
    EXPECT_FALSE(w.pages->TabFont(false).bold());
    w.pages->TabSelectedStyle()->SetFont(bold);
    EXPECT_EQ(w.pages->TabFontBuilds(), builds + 1);
    EXPECT_EQ(w.pages->font().pixelSize(), 14);

    // A caption font taller than the control's makes the tabs grow with it.
    QFont large(QStringLiteral("Arial"));
    large.setPixelSize(24);
    w.pages->TabStyle()->SetFont(large);
    EXPECT_EQ(w.pages->TabFont(false).pixelSize(), 24);
    EXPECT_EQ(w.pages->font().pixelSize(), 24);
}

TEST(StyledPageControlTabs, CaptionFollowsThePage)
{
    Window w;
    w.header->SetCaption(QStringLiteral("2. Kopf"));
    EXPECT_EQ(w.pages->TabText(1), QStringLiteral("2. Kopf"));
}

TEST(StyledPageControlFocus, ControlIsNoTabStop)
{
    Window w;
    w.showPages();
    EXPECT_EQ(w.pages->focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(w.pages->StyledTabBar()->focusPolicy(), Qt::NoFocus);
    w.fileEdit->setFocus();
    QTest::keyClick(w.fileEdit, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), w.separators);
}

TEST(StyledPageControlEvents, ShownWhenAPageBecomesVisible)
{
    Window w;
    QSignalSpy settings(w.settings, &TTabSheet::shown);
    QSignalSpy header(w.header, &TTabSheet::shown);
    QSignalSpy excel(w.excel, &TTabSheet::shown);
    struct Step { const char* name; std::function<void()> action; int settings, header, excel; };
    const std::vector<Step> steps = {
        {"page control shown", [&] { w.showPages(); }, 1, 0, 0},
        {"page 3 selected by program", [&] { w.pages->SetActivePageIndex(2); }, 1, 0, 1},
        {"tab 2 clicked", [&] { QTest::mouseClick(w.pages->StyledTabBar(), Qt::LeftButton, {}, w.tabCentre(1)); },
         1, 1, 1},
        {"same page selected again", [&] { w.pages->SetActivePage(w.header); }, 1, 1, 1},
        {"page control hidden and shown", [&] { w.pages->hide(); w.showPages(); }, 1, 2, 1},
        {"page 1 selected", [&] { w.pages->SetActivePage(w.settings); }, 2, 2, 1},
    };
    for (const Step& s : steps) {
        s.action();
        EXPECT_EQ(settings.count(), s.settings) << s.name;
        EXPECT_EQ(header.count(), s.header) << s.name;
        EXPECT_EQ(excel.count(), s.excel) << s.name;
    }
}

TEST(StyledPageControlEvents, ExitWhenTheFocusLeavesThePage)
{
    struct Case { const char* name; std::function<void(Window&)> action; int exits; };
    const std::vector<Case> cases = {
        {"tab 2 clicked",
         [](Window& w) { QTest::mouseClick(w.pages->StyledTabBar(), Qt::LeftButton, {}, w.tabCentre(1)); }, 1},
        {"page 3 selected by program", [](Window& w) { w.pages->SetActivePageIndex(2); }, 1},
        {"Tab on the last box", [](Window& w) {
             w.timeSeparator->setFocus();
             QTest::keyClick(w.timeSeparator, Qt::Key_Tab);
         }, 1},
        {"Shift+Tab on the first box",
         [](Window& w) { QTest::keyClick(w.separators, Qt::Key_Tab, Qt::ShiftModifier); }, 1},
        {"Ctrl+Tab to the next page",
         [](Window& w) {
             QTest::keyClick(w.separators, Qt::Key_Tab, Qt::ControlModifier);
             EXPECT_EQ(w.pages->ActivePage(), w.header);
         }, 1},
        {"Ctrl+Shift+Tab to the previous page, wrapping round",
         [](Window& w) {
             QTest::keyClick(w.separators, Qt::Key_Tab, Qt::ControlModifier | Qt::ShiftModifier);
             EXPECT_EQ(w.pages->ActivePage(), w.excel);
         }, 1},
        {"Tab inside the page", [](Window& w) { QTest::keyClick(w.separators, Qt::Key_Tab); }, 0},
        {"click into the file box",
         [](Window& w) { QTest::mouseClick(w.fileEdit, Qt::LeftButton, {}, QPoint(5, 5)); }, 1},
        {"another page chosen after the focus already left",
         [](Window& w) {
             QTest::mouseClick(w.fileEdit, Qt::LeftButton, {}, QPoint(5, 5));
             QTest::mouseClick(w.pages->StyledTabBar(), Qt::LeftButton, {}, w.tabCentre(2));
         }, 1},
        {"application deactivated and activated again",
         [](Window& w) {
             QApplication::setActiveWindow(nullptr);
             QCoreApplication::processEvents();
             EXPECT_EQ(QApplication::focusWidget(), nullptr);
             QApplication::setActiveWindow(&w.top);
             QCoreApplication::processEvents();
             EXPECT_EQ(QApplication::focusWidget(), w.separators);
         }, 0},
        {"another window of the application takes the focus and gives it back",
         [](Window& w) {
             QWidget box;
             auto* ok = new QLineEdit(&box);
             box.show();
             box.activateWindow();
             ASSERT_TRUE(QTest::qWaitForWindowActive(&box));
             ok->setFocus();
             EXPECT_EQ(QApplication::focusWidget(), ok);
             box.close();
             w.top.activateWindow();
             ASSERT_TRUE(QTest::qWaitForWindowActive(&w.top));
         }, 0},
    };
    for (const Case& c : cases) {
        Window w;
        w.showPages();
        w.separators->setFocus();
        ASSERT_EQ(QApplication::focusWidget(), w.separators) << c.name;
        QSignalSpy exits(w.settings, &TTabSheet::exited);
        QSignalSpy otherExits(w.header, &TTabSheet::exited);
        c.action(w);
        EXPECT_EQ(exits.count(), c.exits) << c.name;
        EXPECT_EQ(otherExits.count(), 0) << c.name;
    }
}

TEST(StyledPageControlEvents, ExitHandlerMayMoveTheFocusBackIntoThePage)
{
    Window w;
    w.showPages();
    w.separators->setFocus();
    QSignalSpy exits(w.settings, &TTabSheet::exited);
    QObject::connect(w.settings, &TTabSheet::exited, &w.top, [&] {
        w.pages->SetActivePage(w.settings);
        w.separators->setFocus();
    });
    QTest::mouseClick(w.pages->StyledTabBar(), Qt::LeftButton, {}, w.tabCentre(1));
    EXPECT_EQ(exits.count(), 1);
    EXPECT_EQ(w.pages->ActivePage(), w.settings);
    EXPECT_EQ(QApplication::focusWidget(), w.separators);
    // Leaving again later is reported again.
    QTest::mouseClick(w.fileEdit, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(exits.count(), 2);
}
