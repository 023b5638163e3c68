#include "WindowFixture.h"

#include "TBatchRun.h"
#include "TBevelButton.h"
#include "TBevelCheckBox.h"
#include "TBevelEdit.h"
#include "TBevelLabel.h"
#include "Exception.h"
#include "TConversionRun.h"
#include "TFileOpenEdit.h"
#include "TOutputFormatNote.h"
#include "TProgressBarSink.h"
#include "TReplacementRow.h"
#include "TSegmentProgress.h"
#include "TSettingsButtons.h"
#include "TStyledPageControl.h"
#include "TTabSheet.h"
#include "Windows1252.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QPushButton>
#include <QFileInfo>
#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QScrollArea>
#include <QScreen>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTest>
#include <QToolButton>
#include <QUrl>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <limits>
#include <thread>
#include <map>
#include <optional>

namespace {

const QString kNotFound = QStringLiteral("PE-File not found or damaged!");
const QString kTitle = QStringLiteral("Morvane (Halvik Control PE to Ostral)");

// Header with two separators, data line with three: boxes differ per row.
const std::string kSample = "Time,Value,Unit\r\n12:00:00,1.5,V;x\r\n12:00:05,2.5,V;y\r\n";

std::vector<std::string> BoxTexts(const std::vector<TBevelEdit*>& boxes)
{
    std::vector<std::string> texts;
    for (const TBevelEdit* box : boxes)
        texts.push_back(box->Text());
    return texts;
}

std::vector<int> BoxLefts(const std::vector<TBevelEdit*>& boxes)
{
    std::vector<int> lefts;
    for (const TBevelEdit* box : boxes)
        lefts.push_back(box->x());
    return lefts;
}

std::vector<int> ExpectedLefts(int count)
{
    std::vector<int> lefts;
    for (int k = 0; k < count; ++k)
        lefts.push_back(35 + 25 * k);
    return lefts;
}

using MainWindowTest = WindowFixture;

// ------------------------------------------------------------------ layout

TEST_F(MainWindowTest, StartsWithOnlyTheFileEditLogoAndBottomLabelsVisible)
{
    TfMain& w = *window_;
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Morvane (Halvik Control PE to Ostral)  [v1.01]"));
    EXPECT_EQ(w.size(), QSize(427, 398));
    EXPECT_EQ(w.minimumSize(), QSize(427, 398));
    // Maximizable: the window manager is told no largest size.
    EXPECT_EQ(w.maximumSize(), QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));

    const std::pair<QWidget*, bool> visibility[] = {
        {w.Label4, true},  {w.FileOpenEdit1, true}, {w.Image1, true},   {w.Label1, true},
        {w.Label9, true},  {w.Label10, true},       {w.PageControl1, false},
    };
    for (const auto& [widget, visible] : visibility)
        EXPECT_EQ(widget->isVisible(), visible) << widget->metaObject()->className();

    EXPECT_EQ(w.ed_Seperator->Text(), ",");
    EXPECT_EQ(w.ed_RelativeTimeSeperator->Text(), ";");
    EXPECT_EQ(w.SeparatorSet(), ",");
    EXPECT_FALSE(w.cb_RelativeTimeSeperator->Checked());
    EXPECT_FALSE(w.cb_AcrossMidnight->Checked());
    EXPECT_EQ(w.lb_FileNameExcel->Caption(), QStringLiteral("Filename"));
    EXPECT_EQ(w.lbl_Header->Caption(), QStringLiteral("header of PE file"));
    EXPECT_EQ(w.lbl_data->Caption(), QStringLiteral("line of PE file"));
    EXPECT_TRUE(w.progress_Excel->isHidden());
    EXPECT_EQ(w.PageControl1->ActivePage(), w.TabSheet4);
    EXPECT_TRUE(w.HeaderEdits().empty());
    EXPECT_TRUE(w.LineEdits().empty());
    Screenshot(QStringLiteral("01_start"));
}

TEST_F(MainWindowTest, LogoIsTheDecodedStoredPicture)
{
    const QImage logo = window_->LogoImage();
    ASSERT_FALSE(logo.isNull());
    EXPECT_EQ(logo.size(), QSize(130, 75));
    EXPECT_EQ(window_->Image1->geometry(), QRect(148, 161, 130, 75));
    // A logo is not one flat colour.
    const QRgb corner = logo.pixel(0, 0);
    bool varied = false;
    for (int y = 0; y < logo.height() && !varied; ++y)
        for (int x = 0; x < logo.width() && !varied; ++x)
            varied = logo.pixel(x, y) != corner;
    EXPECT_TRUE(varied);
}

struct PlaceCase {
    const char* name;
    QRect geometry;
};

TEST_F(MainWindowTest, FixedSizeControlsSitAtTheirPlacesAlsoWhenMaximized)
{
    const PlaceCase cases[] = {
        {"Label1", {15, 353, 162, 26}},
        {"Label9", {176, 335, 249, 26}},
        {"Label10", {176, 370, 249, 26}},
        {"FileOpenEdit1", {18, 32, 391, 21}},
        {"PageControl1", {15, 68, 394, 269}},
        {"Label8", {105, 132, 160, 34}},
        {"ed_Seperator", {56, 48, 265, 21}},
        {"ed_RelativeTimeSeperator", {56, 136, 41, 21}},
        {"cb_RelativeTimeSeperator", {56, 106, 249, 25}},
        {"lb_FileNameExcel", {48, 155, 329, 27}},
        {"progress_Excel", {48, 208, 241, 20}},
        {"btn_OpenExcelFile", {15, 157, 31, 24}},
        {"btn_SaveExcelFile", {307, 205, 71, 24}},
        {"btn_SaveSettings", {56, 205, 125, 24}},
        {"btn_OpenSettings", {196, 205, 125, 24}},
    };
    struct State {
        const char* name;
        std::function<void()> enter;
        bool larger;
    };
    const std::vector<State> states = {
        {"Normal", [] {}, false},
        // An edge drag as the window manager reports it: undone.
        {"EdgeDragged", [this] { window_->resize(600, 500); }, false},
        {"Maximized", [this] { window_->showMaximized(); }, true},
    };
    for (const State& state : states) {
        SCOPED_TRACE(state.name);
        state.enter();
        // A timeout is caught by the size check below, which names the size.
        (void)QTest::qWaitFor([&] { return (window_->width() > 427) == state.larger; }, 1000);
        Settle();
        EXPECT_EQ(window_->width() > 427 && window_->height() > 398, state.larger)
            << window_->width() << "x" << window_->height();
        if (!state.larger) {
            EXPECT_EQ(window_->size(), QSize(427, 398));
        }
        for (const PlaceCase& c : cases) {
            const QWidget* widget = window_->findChild<QWidget*>(QLatin1String(c.name));
            ASSERT_NE(widget, nullptr) << c.name;
            EXPECT_EQ(widget->geometry(), c.geometry) << c.name;
        }
    }
}

struct TextPlaceCase {
    const char* name;
    QPoint topLeft;
    int fontPixels;
    bool bold;
};

TEST_F(MainWindowTest, LabelsSizedToTheirTextStartAtTheirPlacesInTheirFonts)
{
    const TextPlaceCase cases[] = {
        {"Label4", {23, 15}, 13, true},        {"Label5", {57, 31}, 12, true},
        {"Label6", {33, 17}, 12, true},        {"lbl_Header", {33, 32}, 17, false},
        {"Label7", {33, 69}, 12, true},        {"Label3", {33, 17}, 12, true},
        {"lbl_data", {33, 32}, 17, false},     {"Label2", {33, 69}, 12, true},
        {"Label1", {15, 353}, 11, true},       {"Label9", {176, 335}, 11, true},
        {"lb_FileNameExcel", {48, 155}, 13, false},
        {"cb_RelativeTimeSeperator", {56, 106}, 13, true},
    };
    for (const TextPlaceCase& c : cases) {
        const QWidget* widget = window_->findChild<QWidget*>(QLatin1String(c.name));
        ASSERT_NE(widget, nullptr) << c.name;
        // Inside the unscrolled area of a page, positions are the page's.
        EXPECT_EQ(widget->pos(), c.topLeft) << c.name;
        EXPECT_EQ(widget->font().pixelSize(), c.fontPixels) << c.name;
        EXPECT_EQ(widget->font().family(), QStringLiteral("Tahoma")) << c.name;
        EXPECT_EQ(QFontInfo(widget->font()).bold(), c.bold) << c.name;
        EXPECT_GT(widget->width(), 0) << c.name;
    }
    EXPECT_EQ(window_->font().pixelSize(), 14);
    EXPECT_TRUE(window_->Label9->font().underline());
    EXPECT_TRUE(window_->Label10->font().underline());
    EXPECT_EQ(window_->Label9->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(window_->Label4->palette().color(QPalette::WindowText), QColor(0, 0, 128));
    EXPECT_EQ(window_->Label4->text(), QStringLiteral("Halvik PE file:"));
    EXPECT_EQ(window_->cb_RelativeTimeSeperator->Caption(),
              QStringLiteral("add relative time row to outputfile"));
}

TEST_F(MainWindowTest, PagesCarryTheirCaptionsInOrder)
{
    TStyledPageControl* pages = window_->PageControl1;
    ASSERT_EQ(pages->PageCount(), 3);
    EXPECT_EQ(pages->Page(0), window_->TabSheet4);
    EXPECT_EQ(pages->Page(1), window_->TabSheet3);
    EXPECT_EQ(pages->Page(2), window_->TabSheet1);
    EXPECT_EQ(pages->TabText(0), QStringLiteral("1. Settings"));
    EXPECT_EQ(pages->TabText(1), QStringLiteral("2. Header"));
    EXPECT_EQ(pages->TabText(2), QStringLiteral("3. Excel (csv)"));
}

// ---------------------------------------------------------- choosing a file

TEST_F(MainWindowTest, FileChosenThroughTheDialogShowsPage1WithFocusInTheSeparatorBox)
{
    const QString path = WritePe(QStringLiteral("run1.pe"), kSample);
    ChooseThroughDialog(path);
    EXPECT_EQ(window_->FileOpenEdit1->Filename(), QDir::toNativeSeparators(path));
    EXPECT_TRUE(window_->PageControl1->isVisible());
    EXPECT_EQ(ActivePage(), 0);
    EXPECT_EQ(FocusName(), QStringLiteral("ed_Seperator"));
    EXPECT_EQ(window_->ed_Seperator->Text(), ",");
    // Choosing reads nothing yet.
    EXPECT_EQ(window_->lbl_Header->Caption(), QStringLiteral("header of PE file"));
    Screenshot(QStringLiteral("02_page1"));
}

TEST_F(MainWindowTest, TypingAPathKeepsEveryKeystrokeInTheFileEdit)
{
    const QString path = WritePe(QStringLiteral("typed.pe"), kSample);
    ClickInto(window_->FileOpenEdit1);
    for (const QChar c : path) {
        Type(QString(c));
        ASSERT_EQ(FocusName(), QStringLiteral("FileOpenEdit1")) << "after " << QString(c).toStdString();
    }
    EXPECT_EQ(window_->FileOpenEdit1->Filename(), path);
    EXPECT_EQ(window_->ed_Seperator->Text(), ",");
    EXPECT_TRUE(window_->PageControl1->isVisible());
    EXPECT_EQ(ActivePage(), 0);
}

TEST_F(MainWindowTest, SecondFileChosenOnPage1IsWhatTab3Shows)
{
    const QString first = WritePe(QStringLiteral("first.pe"), "H1,a\r\n1,2\r\n");
    const QString second = WritePe(QStringLiteral("second.pe"), "H2;b;c\r\n3;4;5\r\n");
    window_->ed_Seperator->SetText(",;");
    ChooseThroughDialog(first);
    ClickTab(1);
    ASSERT_EQ(window_->lbl_Header->Caption(), QStringLiteral("H1,a"));
    ClickTab(0);
    ASSERT_EQ(FocusName(), QStringLiteral("ed_Seperator"));

    ChooseThroughDialog(second);
    EXPECT_EQ(ActivePage(), 0);
    ClickTab(2);
    EXPECT_EQ(ActivePage(), 2);
    EXPECT_EQ(window_->lbl_Header->Caption(), QStringLiteral("H2;b;c"));
    EXPECT_EQ(window_->lbl_data->Caption(), QStringLiteral("3;4;5"));
    EXPECT_EQ(window_->lb_FileNameExcel->Caption(), QStringLiteral("second (XLS).csv"));
    EXPECT_EQ(BoxTexts(window_->LineEdits()), (std::vector<std::string>{";", ";"}));
}

TEST_F(MainWindowTest, TypedNameThenTabClickReadsTheNewFile)
{
    const QString path = WritePe(QStringLiteral("typed2.pe"), kSample);
    ClickInto(window_->FileOpenEdit1);
    Type(path);
    EXPECT_TRUE(window_->TemplatesStale());
    ClickTab(1);
    EXPECT_FALSE(window_->TemplatesStale());
    EXPECT_EQ(window_->lbl_Header->Caption(), QStringLiteral("Time,Value,Unit"));
    EXPECT_EQ(window_->HeaderEdits().size(), 2u);
}

TEST_F(MainWindowTest, FileChosenWhileAnotherPageIsShownReturnsToPage1)
{
    const QString first = WritePe(QStringLiteral("a.pe"), kSample);
    const QString second = WritePe(QStringLiteral("b.pe"), "X;Y\r\n1;2\r\n");
    ChooseThroughDialog(first);
    ClickTab(2);
    ASSERT_EQ(ActivePage(), 2);

    // Chosen in the dialog: page 1 with the focus in the separator box, and
    // the old file's rows stay until page 1 is left.
    ChooseThroughDialog(second);
    EXPECT_EQ(ActivePage(), 0);
    EXPECT_EQ(FocusName(), QStringLiteral("ed_Seperator"));
    EXPECT_EQ(window_->lbl_Header->Caption(), QStringLiteral("Time,Value,Unit"));

    // Typed: page 1 as well, but the focus stays where the typing goes.
    ClickTab(2);
    ClickInto(window_->FileOpenEdit1);
    window_->FileOpenEdit1->selectAll();
    Type(first);
    EXPECT_EQ(ActivePage(), 0);
    EXPECT_EQ(FocusName(), QStringLiteral("FileOpenEdit1"));
}

TEST_F(MainWindowTest, StaleTemplatesWithAnEmptySeparatorBoxComplainOnceAndStayOnPage1)
{
    // A second file named while page 2 is shown: page 1 comes back with stale
    // templates, the focus in the separator box when chosen in the dialog, in
    // the file edit when typed. A tab click then shows a page while the
    // templates are stale, and the complaint about the empty separator box
    // brings page 1 back at once, shown afresh: one box, the new file read,
    // no exit after it, the focus in the box to fill.
    struct Case {
        const char* name;
        bool typed;
    };
    const Case cases[] = {{"ChosenInTheDialog", false}, {"Typed", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        NewWindow();
        const QString first = WritePe(QStringLiteral("one.pe"), kSample);
        const QString second = WritePe(QStringLiteral("two.pe"), "P,Q\r\n7,8\r\n");
        ChooseThroughDialog(first);
        ClickTab(1);
        ASSERT_EQ(window_->lbl_Header->Caption(), QStringLiteral("Time,Value,Unit"));

        if (c.typed) {
            ClickInto(window_->FileOpenEdit1);
            window_->FileOpenEdit1->selectAll();
            Type(second);
            ASSERT_EQ(FocusName(), QStringLiteral("FileOpenEdit1"));
        } else {
            ChooseThroughDialog(second);
            ASSERT_EQ(FocusName(), QStringLiteral("ed_Seperator"));
        }
        ASSERT_TRUE(window_->TemplatesStale());
        window_->ed_Seperator->SetText("");
        platform_.Clear();
        ClickTab(1);
        Settle();
        EXPECT_EQ(platform_.MessageBoxes.size(), 1u);
        EXPECT_EQ(ActivePage(), 0);
        EXPECT_EQ(FocusName(), QStringLiteral("ed_Seperator"));
        EXPECT_EQ(window_->lbl_Header->Caption(), QStringLiteral("P,Q"));
        EXPECT_FALSE(window_->TemplatesStale());
    }
}

TEST_F(MainWindowTest, HeaderAmpersandIsShownAsData)
{
    ChooseThroughDialog(WritePe(QStringLiteral("amp.pe"), "A&B,C\r\n1,2\r\n"));
    ClickTab(1);
    EXPECT_EQ(window_->lbl_Header->Caption(), QStringLiteral("A&B,C"));
    EXPECT_EQ(window_->lbl_Header->DisplayedText(), QStringLiteral("A&B,C"));
}

TEST_F(MainWindowTest, WindowIsCentredOnItsScreenWhenFirstShown)
{
    const QRect available = window_->screen()->availableGeometry();
    const QPoint centre = window_->geometry().center();
    EXPECT_LE(std::abs(centre.x() - available.center().x()), 2);
    EXPECT_LE(std::abs(centre.y() - available.center().y()), 2);
}

TEST_F(MainWindowTest, TabWalksEachPageInItsOrderWithTheDataRowAfterTheButtons)
{
    ChooseThroughDialog(WritePe(QStringLiteral("order.pe"), kSample));
    const std::vector<QString> page1 = {QStringLiteral("ed_Seperator"),
                                        QStringLiteral("ed_RelativeTimeSeperator"),
                                        QStringLiteral("cb_RelativeTimeSeperator"),
                                        QStringLiteral("cb_AcrossMidnight"),
                                        QStringLiteral("btn_SaveSettings"),
                                        QStringLiteral("btn_OpenSettings")};
    for (std::size_t i = 0; i < page1.size(); ++i) {
        EXPECT_EQ(FocusName(), page1[i]);
        if (i + 1 < page1.size())
            PressKey(Qt::Key_Tab);
    }
    ClickTab(2);
    window_->btn_OpenExcelFile->setFocus(Qt::TabFocusReason);
    const std::vector<QString> page3 = {QStringLiteral("btn_OpenExcelFile"), QStringLiteral("btn_SaveExcelFile"),
                                        QStringLiteral("btn_Look"), QStringLiteral("LineEdits[0]"),
                                        QStringLiteral("LineEdits[1]")};
    for (std::size_t i = 0; i < page3.size(); ++i) {
        EXPECT_EQ(FocusName(), page3[i]);
        if (i + 1 < page3.size())
            PressKey(Qt::Key_Tab);
    }
}

// ----------------------------------------------------------- leaving page 1

TEST_F(MainWindowTest, LeavingPage1ReadsTemplatesBuildsRowsAndProposesTheName)
{
    struct Case {
        const char* name;
        std::function<void()> leave;
    };
    const std::vector<Case> cases = {
        {"TabClickOn2", [this] { ClickTab(1); }},
        {"TabClickOn3", [this] { ClickTab(2); }},
        {"TabFromTheLastControl",
         [this] {
             window_->SettingsButtons->btn_OpenSettings->setFocus(Qt::TabFocusReason);
             PressKey(Qt::Key_Tab);
         }},
        {"ShiftTabFromTheFirstControl", [this] { PressKey(Qt::Key_Backtab, Qt::ShiftModifier); }},
        {"ClickIntoTheFileEdit", [this] { ClickInto(window_->FileOpenEdit1); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        NewWindow();
        const QString path = WritePe(QStringLiteral("leave.dat"), kSample);
        ChooseThroughDialog(path);
        ASSERT_EQ(FocusName(), QStringLiteral("ed_Seperator"));
        c.leave();
        EXPECT_FALSE(window_->TabSheet4->isAncestorOf(Focus()));
        const TfMain& w = *window_;
        EXPECT_EQ(w.HeaderTemplate().Text, "Time,Value,Unit");
        EXPECT_EQ(w.DataTemplate().Text, "12:00:00,1.5,V;x");
        EXPECT_EQ(BoxTexts(w.HeaderEdits()), (std::vector<std::string>{",", ","}));
        EXPECT_EQ(BoxTexts(w.LineEdits()), (std::vector<std::string>{",", ","}));
        EXPECT_EQ(BoxLefts(w.HeaderEdits()), ExpectedLefts(2));
        EXPECT_EQ(BoxLefts(w.LineEdits()), ExpectedLefts(2));
        for (const TBevelEdit* box : w.LineEdits()) {
            EXPECT_EQ(box->y(), 90);
            EXPECT_EQ(box->size(), QSize(25, 21));
        }
        EXPECT_EQ(w.lbl_Header->Caption(), QStringLiteral("Time,Value,Unit"));
        EXPECT_EQ(w.lbl_data->Caption(), QStringLiteral("12:00:00,1.5,V;x"));
        EXPECT_EQ(w.lb_FileNameExcel->Caption(), QStringLiteral("leave (XLS).csv"));
        EXPECT_TRUE(platform_.MessageBoxes.empty());
        if (std::string(c.name) == "TabClickOn2")
            Screenshot(QStringLiteral("03_page2"));
    }
}

TEST_F(MainWindowTest, PageSwitchPutsTheFocusOnTheChosenPageSoTypingNeverReachesTheFileName)
{
    struct Case {
        const char* name;
        std::string header;  // no separator: page 2 has no boxes
        bool byKey;
        QString focus;
    };
    const Case cases[] = {
        {"TabClick", "Time,Value,Unit", false, QStringLiteral("HeaderEdits[0]")},
        {"CtrlTab", "Time,Value,Unit", true, QStringLiteral("HeaderEdits[0]")},
        {"NoBoxesTabClick", "Time", false, QStringLiteral("TabSheet3")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        NewWindow();
        const QString path = WritePe(QStringLiteral("good.pe"), c.header + "\r\n12:00:00,1.5,V;x\r\n");
        ChooseThroughDialog(path);
        ClickTab(1);
        ClickInto(window_->HeaderEdits().empty() ? static_cast<QWidget*>(window_->TabSheet3)
                                                 : window_->HeaderEdits().back());
        ClickTab(0);
        ASSERT_EQ(FocusName(), QStringLiteral("ed_Seperator"));
        if (c.byKey)
            PressKey(Qt::Key_Tab, Qt::ControlModifier);
        else
            ClickTab(1);
        EXPECT_EQ(ActivePage(), 1);
        EXPECT_EQ(FocusName(), c.focus);
        Type(QStringLiteral("Q"));
        EXPECT_EQ(window_->FileOpenEdit1->Filename(), QDir::toNativeSeparators(path));
        EXPECT_EQ(ActivePage(), 1);
        EXPECT_FALSE(window_->TemplatesStale());
    }
}

TEST_F(MainWindowTest, ActivatingAnotherApplicationIsNoExit)
{
    const QString path = WritePe(QStringLiteral("stay.pe"), kSample);
    ChooseThroughDialog(path);
    ASSERT_EQ(FocusName(), QStringLiteral("ed_Seperator"));

    QWidget other;
    other.setWindowTitle(QStringLiteral("another application"));
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    Settle();
    other.close();
    window_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
    Settle();

    EXPECT_EQ(window_->lbl_Header->Caption(), QStringLiteral("header of PE file"));
    EXPECT_TRUE(window_->HeaderEdits().empty());
    EXPECT_EQ(window_->lb_FileNameExcel->Caption(), QStringLiteral("Filename"));
}

// ---------------------------------------------------------------- the boxes

class BoxTest : public WindowFixture {
protected:
    void SetUp() override
    {
        WindowFixture::SetUp();
        ChooseThroughDialog(WritePe(QStringLiteral("boxes.pe"), "a,b,c\r\n1,2\r\n"));
        ClickTab(1);
        ASSERT_EQ(window_->HeaderEdits().size(), 2u);
    }
    TBevelEdit* Box(int k) const { return window_->HeaderEdits().at(static_cast<std::size_t>(k)); }
};

// Every printable Windows-1252 character looks different in a box: a line
// cut at both ends made ';' and ':' (and ',' and '.') alike. The same for
// the characters a file name label may hold.
TEST_F(BoxTest, EveryPrintableCharacterIsDrawnDistinctly)
{
    const auto pixels = [](QWidget* widget) {
        const QImage image = widget->grab().toImage();
        return QByteArray(reinterpret_cast<const char*>(image.constBits()), image.sizeInBytes());
    };
    Box(0)->setFocus();
    std::map<QByteArray, int> drawn;
    std::vector<std::string> alike;
    for (int byte = 0x21; byte <= 0xFF; ++byte) {
        // No glyph of their own: delete, the undefined bytes, no-break space, soft hyphen.
        if (byte == 0x7F || byte == 0x81 || byte == 0x8D || byte == 0x8F || byte == 0x90 || byte == 0x9D ||
            byte == 0xA0 || byte == 0xAD)
            continue;
        Box(1)->SetText(std::string(1, static_cast<char>(byte)));
        const auto [first, isNew] = drawn.emplace(pixels(Box(1)), byte);
        if (!isNew)
            alike.push_back(std::to_string(first->second) + " and " + std::to_string(byte));
    }
    EXPECT_EQ(alike, std::vector<std::string>{});
    // Nothing covers the box's lower part, where the tails are.
    EXPECT_EQ(Box(1)->visibleRegion().boundingRect(), Box(1)->rect());

    std::map<QByteArray, char> labelled;
    for (const char c : std::string(" -_.,;:'`")) {
        window_->lb_FileNameExcel->SetCaption(QStringLiteral("hy") + QChar(c) + QStringLiteral("phen (XLS).csv"));
        EXPECT_EQ(labelled.emplace(pixels(window_->lb_FileNameExcel), c).second, true) << c;
    }
}

struct BoxEditCase {
    const char* name;
    int caret;          // -1: select all first
    const char* typed;  // UTF-8 typed characters; "<del>" deletes, "<paste>…" pastes the rest
    std::string kept;
    int beeps;
    QString preview;
    bool undo;          // the box's menu offers Undo afterwards
};

TEST_F(BoxTest, EachBoxKeepsOneCharacterAndThePreviewFollows)
{
    const BoxEditCase cases[] = {
        {"TypeOver", -1, ";", ";", 0, QStringLiteral("a;b,c"), true},
        {"TypeAfter", 1, "x", ",", 1, QStringLiteral("a,b,c"), true},
        {"TypeBefore", 0, "x", "x", 1, QStringLiteral("axb,c"), true},
        {"Delete", -1, "<del>", "", 0, QStringLiteral("a,b,c"), true},
        {"PasteThree", -1, "<paste>xyz", "x", 1, QStringLiteral("axb,c"), true},
        {"Space", -1, " ", " ", 0, QStringLiteral("a b,c"), true},
        // No byte of Windows-1252: refused, where it once became "?".
        {"TypeArrow", -1, "\u2192", ",", 1, QStringLiteral("a,b,c"), false},
        {"PasteCheckMark", -1, "<paste>\u2713", ",", 1, QStringLiteral("a,b,c"), false},
    };
    for (const BoxEditCase& c : cases) {
        SCOPED_TRACE(c.name);
        Box(0)->SetText(",");
        platform_.Clear();
        ClickInto(Box(0));
        if (c.caret < 0)
            Box(0)->selectAll();
        else
            Box(0)->setCursorPosition(c.caret);
        const QString typed = QString::fromUtf8(c.typed);
        if (typed == QStringLiteral("<del>")) {
            PressKey(Qt::Key_Delete);
        } else if (typed.startsWith(QStringLiteral("<paste>"))) {
            QApplication::clipboard()->setText(typed.mid(7));
            PressKey(Qt::Key_V, Qt::ControlModifier);
        } else {
            Type(typed);
        }
        EXPECT_EQ(Box(0)->Text(), c.kept);
        EXPECT_EQ(platform_.BeepCount, c.beeps);
        EXPECT_EQ(window_->lbl_Header->Caption(), c.preview);
        EXPECT_EQ(Box(1)->Text(), ",");
        EXPECT_EQ(Box(0)->isUndoAvailable(), c.undo);
    }
}

TEST_F(MainWindowTest, BoxesAndTheChosenOutputStayUnlessWhatTheRowsAreMadeOfChanged)
{
    struct Case {
        const char* name;
        std::function<void()> change;  // made on page 1
        bool rebuilt;
        QString output;  // the output name after page 1 is left again
    };
    const QString chosen = dir_.filePath(QStringLiteral("chosen.csv"));
    const std::vector<Case> cases = {
        {"NothingChanged", [] {}, false, chosen},
        {"LaterLinesChanged", [this] { WritePe(QStringLiteral("kept.pe"), kSample + "9,9\r\n"); },
         false, chosen},
        {"SeparatorSetChanged", [this] { window_->ed_Seperator->SetText(",;"); }, true,
         QStringLiteral("kept (XLS).csv")},
        {"SecondLineChanged",
         [this] { WritePe(QStringLiteral("kept.pe"), "Time,Value,Unit\r\n1,2,3\r\n"); }, true,
         QStringLiteral("kept (XLS).csv")},
        {"OtherFileName", [this] { ChooseThroughDialog(WritePe(QStringLiteral("other.pe"), kSample)); },
         true, QStringLiteral("other (XLS).csv")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        NewWindow();
        const QString pe = WritePe(QStringLiteral("kept.pe"), kSample);
        ChooseThroughDialog(pe);
        ClickTab(2);
        ClickInto(window_->LineEdits().at(1));
        window_->LineEdits()[1]->selectAll();
        Type(QStringLiteral("|"));
        platform_.QueueSaveAnswer(chosen);
        QTest::mouseClick(window_->btn_OpenExcelFile, Qt::LeftButton);
        ClickTab(0);
        c.change();
        ClickTab(2);
        EXPECT_EQ(BoxTexts(window_->LineEdits())[1], c.rebuilt ? "," : "|");
        EXPECT_EQ(window_->lb_FileNameExcel->Caption(), c.output);
    }
}

// ---------------------------------------------------- separator set, files

TEST_F(MainWindowTest, EmptySeparatorSetShowsOneInformationBoxThenRowsWithoutBoxes)
{
    ChooseThroughDialog(WritePe(QStringLiteral("nosep.pe"), kSample));
    window_->ed_Seperator->SetText("");
    ClickInto(window_->ed_RelativeTimeSeperator);
    ClickTab(1);
    Settle();
    // Page 1 is shown afresh: its show handler puts the focus in the box to fill.
    EXPECT_EQ(FocusName(), QStringLiteral("ed_Seperator"));
    ASSERT_EQ(platform_.MessageBoxes.size(), 1u);
    EXPECT_EQ(platform_.MessageBoxes[0].Text, QStringLiteral("please choose a seperator char first!"));
    EXPECT_EQ(platform_.MessageBoxes[0].Caption, QStringLiteral("Information"));
    EXPECT_EQ(platform_.MessageBoxes[0].Style, IPlatform::TMessageStyle::Information);
    EXPECT_EQ(ActivePage(), 0);
    EXPECT_TRUE(window_->HeaderEdits().empty());
    EXPECT_TRUE(window_->LineEdits().empty());
    EXPECT_EQ(window_->lbl_Header->Caption(), QStringLiteral("Time,Value,Unit"));
    EXPECT_EQ(window_->lbl_data->Caption(), QStringLiteral("12:00:00,1.5,V;x"));
    EXPECT_EQ(window_->lb_FileNameExcel->Caption(), QStringLiteral("nosep (XLS).csv"));
}

struct BadFileCase {
    const char* name;
    bool create;
    std::string bytes;
    QString header;
};

TEST_F(MainWindowTest, OneLineMissingAndEmptyFilesShowTheDamagedTextAndProposeTheirOwnName)
{
    const BadFileCase cases[] = {
        {"OneLine", true, "only,header\r\n", QStringLiteral("only,header")},
        {"Missing", false, "", kNotFound},
        {"Empty", true, "", kNotFound},
    };
    for (const BadFileCase& c : cases) {
        SCOPED_TRACE(c.name);
        NewWindow();
        const QString path = c.create ? WritePe(QStringLiteral("bad.pe"), c.bytes)
                                      : dir_.filePath(QStringLiteral("absent.pe"));
        ClickInto(window_->FileOpenEdit1);
        Type(path);
        ClickTab(1);
        EXPECT_EQ(window_->lbl_Header->Caption(), c.header);
        EXPECT_EQ(window_->lbl_data->Caption(), kNotFound);
        EXPECT_EQ(window_->lb_FileNameExcel->Caption(),
                  QFileInfo(path).completeBaseName() + QStringLiteral(" (XLS).csv"));
        EXPECT_TRUE(platform_.MessageBoxes.empty());
        if (std::string(c.name) == "Missing") {
            ClickTab(2);
            Screenshot(QStringLiteral("09_missing_file"));
        }
    }
}

// ------------------------------------------------------------------- "&Go"

class GoTest : public WindowFixture {
protected:
    void Prepare(const std::string& bytes, bool relativeTime = false)
    {
        input_ = WritePe(QStringLiteral("go.pe"), bytes);
        ChooseThroughDialog(input_);
        if (relativeTime) {
            ClickInto(window_->cb_RelativeTimeSeperator);
            ASSERT_TRUE(window_->cb_RelativeTimeSeperator->Checked());
        }
        ClickTab(2);
        ASSERT_EQ(ActivePage(), 2);
    }
    void SetBox(const std::vector<TBevelEdit*>& row, std::size_t k, const QString& text)
    {
        ClickInto(row.at(k));
        row.at(k)->selectAll();
        Type(text);
    }
    void ClickGo()
    {
        QTest::mouseClick(window_->btn_SaveExcelFile, Qt::LeftButton);
        Settle();
    }
    QString Output() const { return dir_.filePath(QStringLiteral("go (XLS).csv")); }

    QString input_;
};

TEST_F(GoTest, ClickAndAltGWriteTheMappedFileBesideTheInput)
{
    const std::string expected = "Time;Value,Unit\r\n12:00:00;1.5,V;x\r\n12:00:05;2.5,V;y\r\n";
    for (int way = 0; way < 2; ++way) {
        SCOPED_TRACE(way == 0 ? "click" : "Alt+G");
        NewWindow();
        Prepare(kSample);
        ClickTab(1);
        SetBox(window_->HeaderEdits(), 0, QStringLiteral(";"));
        ClickTab(2);
        SetBox(window_->LineEdits(), 0, QStringLiteral(";"));
        QFile::remove(Output());
        if (way == 0)
            ClickGo();
        else {
            PressKey(Qt::Key_G, Qt::AltModifier);
            // An accelerator clicks the button the way a press looks: shortly.
            EXPECT_TRUE(QTest::qWaitFor(
                [&] { return window_->progress_Excel->Caption() == QStringLiteral("finished"); }, 3000));
        }
        EXPECT_EQ(ReadAll(Output()), expected);
        EXPECT_FALSE(QFileInfo::exists(QDir::current().filePath(QStringLiteral("go (XLS).csv"))));
        EXPECT_TRUE(window_->progress_Excel->isVisible());
        EXPECT_EQ(window_->progress_Excel->Caption(), QStringLiteral("finished"));
        EXPECT_EQ(window_->progress_Excel->Position(), 100);
        EXPECT_TRUE(platform_.MessageBoxes.empty());
    }
    Screenshot(QStringLiteral("05_after_go"));
}

TEST_F(GoTest, RelativeTimeSeparatorAndBarVisibilityFollowThePages)
{
    Prepare("T,V\r\n10:00:00,1\r\n10:01:00,2\r\n", true);
    Screenshot(QStringLiteral("04_page3"));
    ClickTab(0);
    ClickInto(window_->ed_RelativeTimeSeperator);
    window_->ed_RelativeTimeSeperator->selectAll();
    Type(QStringLiteral("|"));
    EXPECT_EQ(window_->RelativeTimeSeparator(), "|");
    ClickTab(2);
    ClickGo();
    EXPECT_EQ(ReadAll(Output()), "relTime| T,V\r\n0|10:00:00,1\r\n60|10:01:00,2\r\n");
    // A second run without leaving the page: the bar stays up between runs.
    ClickGo();
    EXPECT_TRUE(window_->progress_Excel->isVisible());
    EXPECT_EQ(ReadAll(Output()), "relTime| T,V\r\n0|10:00:00,1\r\n60|10:01:00,2\r\n");
    // Showing the page again hides it.
    ClickTab(1);
    ClickTab(2);
    EXPECT_FALSE(window_->progress_Excel->isVisible());
}

TEST_F(GoTest, CountOnPastMidnightTickedCarriesTheRelativeTimeIntoTheNextDay)
{
    const struct {
        bool ticked;
        std::string expected;
    } cases[] = {
        {false, "relTime; T,V\r\n0;23:59:50,1\r\n86380;00:00:10,2\r\n"},
        {true, "relTime; T,V\r\n0;23:59:50,1\r\n20;00:00:10,2\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ticked);
        NewWindow();
        input_ = WritePe(QStringLiteral("go.pe"), "T,V\r\n23:59:50,1\r\n00:00:10,2\r\n");
        ChooseThroughDialog(input_);
        ClickInto(window_->cb_RelativeTimeSeperator);
        if (c.ticked)
            ClickInto(window_->cb_AcrossMidnight);
        ClickTab(2);
        ClickGo();
        EXPECT_EQ(ReadAll(Output()), c.expected);
    }
}

TEST_F(GoTest, SaveDialogPathIsUsedUntilTheNextProposal)
{
    Prepare(kSample);
    const QString chosen = dir_.filePath(QStringLiteral("chosen.csv"));
    platform_.QueueSaveAnswer(chosen);
    QTest::mouseClick(window_->btn_OpenExcelFile, Qt::LeftButton);
    EXPECT_EQ(window_->lb_FileNameExcel->Caption(), chosen);
    ClickGo();
    EXPECT_EQ(ReadAll(chosen), "Time,Value,Unit\r\n12:00:00,1.5,V;x\r\n12:00:05,2.5,V;y\r\n");

    // The dialog proposes what page 3 shows; a cancel changes nothing.
    platform_.QueueSaveAnswer(std::nullopt);
    QTest::mouseClick(window_->btn_OpenExcelFile, Qt::LeftButton);
    ASSERT_EQ(platform_.SaveRequests.size(), 2u);
    EXPECT_EQ(platform_.SaveRequests[0].FileName, QStringLiteral("go (XLS).csv"));
    EXPECT_EQ(platform_.SaveRequests[1].FileName, QDir::toNativeSeparators(chosen));
    EXPECT_EQ(window_->lb_FileNameExcel->Caption(), chosen);

    // A settings file saved meanwhile is never what the output's dialog
    // proposes: its Enter would put CSV data into the settings file.
    const QString settings = dir_.filePath(QStringLiteral("lab.ini"));
    platform_.QueueSaveAnswer(settings);
    QTest::mouseClick(window_->SettingsButtons->btn_SaveSettings, Qt::LeftButton);
    platform_.QueueSaveAnswer(std::nullopt);
    QTest::mouseClick(window_->btn_OpenExcelFile, Qt::LeftButton);
    ASSERT_EQ(platform_.SaveRequests.size(), 4u);
    EXPECT_EQ(platform_.SaveRequests[3].FileName, QDir::toNativeSeparators(chosen));
    EXPECT_EQ(platform_.SaveRequests[3].DefaultExt, QStringLiteral("csv"));
    // And the settings dialog comes back with its own.
    platform_.QueueSaveAnswer(std::nullopt);
    QTest::mouseClick(window_->SettingsButtons->btn_SaveSettings, Qt::LeftButton);
    ASSERT_EQ(platform_.SaveRequests.size(), 5u);
    EXPECT_EQ(platform_.SaveRequests[4].FileName, QStringLiteral("lab.ini"));
    EXPECT_EQ(platform_.SaveRequests[4].InitialDir, dir_.path());

    // Only a change that rebuilds the rows proposes a name again.
    ClickTab(0);
    window_->ed_Seperator->SetText(",;");
    ClickTab(2);
    EXPECT_EQ(window_->lb_FileNameExcel->Caption(), QStringLiteral("go (XLS).csv"));
}

TEST_F(GoTest, AnXlsxNameWritesAWorkbookAndPage3SaysSoWithTheFirstLinesCells)
{
    Prepare(kSample);
    const QLabel* note = window_->OutputFormat().Label();
    EXPECT_EQ(note->text(), QStringLiteral("Go writes a CSV file."));
    const QString chosen = dir_.filePath(QStringLiteral("book.xlsx"));
    platform_.QueueSaveAnswer(chosen);
    QTest::mouseClick(window_->btn_OpenExcelFile, Qt::LeftButton);
    ASSERT_EQ(platform_.SaveRequests.size(), 1u);
    EXPECT_EQ(platform_.SaveRequests[0].Filter, QStringLiteral("CSV file (*.csv);;Excel workbook (*.xlsx)"));
    EXPECT_EQ(platform_.SaveRequests[0].DefaultExt, QStringLiteral("csv"));
    EXPECT_EQ(note->text(), QStringLiteral("Go writes an Excel workbook: the first data line gives 2 cells."));
    SetBox(window_->LineEdits(), 0, QStringLiteral(";"));
    EXPECT_EQ(note->text(), QStringLiteral("Go writes an Excel workbook: the first data line gives 3 cells."));
    ClickGo();
    EXPECT_EQ(ReadAll(chosen).substr(0, 2), "PK");
    EXPECT_EQ(window_->progress_Excel->Caption(), QStringLiteral("finished"));
    EXPECT_TRUE(platform_.MessageBoxes.empty());
    EXPECT_TRUE(platform_.Questions.empty());
    // The dialog comes back proposing the workbook, under its own filter.
    platform_.QueueSaveAnswer(std::nullopt);
    QTest::mouseClick(window_->btn_OpenExcelFile, Qt::LeftButton);
    ASSERT_EQ(platform_.SaveRequests.size(), 2u);
    EXPECT_EQ(platform_.SaveRequests[1].DefaultExt, QStringLiteral("xlsx"));
}

// Lines without the cell separator land in one cell each: Go asks before
// such a workbook replaces a good one, and the note says why in full.
TEST_F(GoTest, AWorkbookOfOneCellLinesIsWrittenOnlyWhenTheUserSaysSo)
{
    Prepare("Time,Value\r\n12:00:00,1.5\r\n");
    const QString book = dir_.filePath(QStringLiteral("book.xlsx"));
    platform_.QueueSaveAnswer(book);
    QTest::mouseClick(window_->btn_OpenExcelFile, Qt::LeftButton);
    const QLabel* note = window_->OutputFormat().Label();
    EXPECT_EQ(note->text(),
              QStringLiteral("Go writes an Excel workbook: the first data line gives 1 cell (no \";\")."));
    EXPECT_LE(note->heightForWidth(note->width()), note->height());
    EXPECT_EQ(note->geometry().intersects(window_->progress_Excel->geometry()), false);
    EXPECT_EQ(note->geometry().intersects(window_->btn_SaveExcelFile->geometry()), false);
    Screenshot(QStringLiteral("12_one_cell_note"));

    struct Case {
        const char* name;
        std::optional<int> answer;  // nullopt: the box closed
        std::string written;
    };
    const Case cases[] = {
        {"Closed", std::nullopt, "earlier"},
        {"Cancel", 1, "earlier"},
        {"WriteIt", 0, "PK"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::ofstream(book.toStdString(), std::ios::binary) << "earlier";
        platform_.Clear();
        if (c.answer)
            platform_.QueueAskAnswer(*c.answer);
        ClickGo();
        ASSERT_EQ(platform_.Questions.size(), 1u);
        EXPECT_EQ(platform_.Questions[0].Buttons, (QStringList{QStringLiteral("&Write it"), QStringLiteral("Cancel")}));
        EXPECT_EQ(ReadAll(book).substr(0, c.written.size()), c.written);
    }
    // A cell separator in a box ends the question.
    SetBox(window_->LineEdits(), 0, QStringLiteral(";"));
    platform_.Clear();
    ClickGo();
    EXPECT_EQ(platform_.Questions.size(), 0u);
}

// The dialog answers as the system writes paths; on Windows its backslashes
// were once taken for a name without a folder and joined to one again.
TEST_F(GoTest, ADialogAnswerInTheSystemsSeparatorsIsWrittenWhereItNames)
{
    Prepare(kSample);
    const QString folder = dir_.filePath(QStringLiteral("M\u00fcller Daten"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const struct {
        const char* name;
        std::string start;
    } cases[] = {{"run 1.csv", "Time,Value,Unit\r\n"}, {"run 1.xlsx", "PK"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        platform_.Clear();
        const QString chosen = folder + QLatin1Char('/') + QString::fromUtf8(c.name);
        platform_.QueueSaveAnswer(QDir::toNativeSeparators(chosen));
        QTest::mouseClick(window_->btn_OpenExcelFile, Qt::LeftButton);
        ClickGo();
        EXPECT_EQ(platform_.MessageBoxes.size(), 0u);
        EXPECT_EQ(ReadAll(chosen).substr(0, c.start.size()), c.start);
    }
}

TEST(OutputPathTest, ANameWithoutAFolderGoesBesideThePeFileAnyOtherWhereItNames)
{
    const QString input = QStringLiteral("/data/runs/night.pe");
    const struct {
        QString shown;
        QString expected;
    } cases[] = {
        {QStringLiteral("night (XLS).csv"), QStringLiteral("/data/runs/night (XLS).csv")},
        {QStringLiteral("/data/csv/x.csv"), QStringLiteral("/data/csv/x.csv")},
#ifdef _WIN32
        {QStringLiteral("C:\\Users\\J\u00fcrgen\\run 1.xlsx"), QStringLiteral("C:/Users/J\u00fcrgen/run 1.xlsx")},
        {QStringLiteral("\\\\server\\share\\x.csv"), QStringLiteral("//server/share/x.csv")},
        {QStringLiteral("D:\\x.csv"), QStringLiteral("D:/x.csv")},
#endif
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shown.toStdString());
        EXPECT_EQ(TfMain::OutputPathFor(c.shown, input), c.expected);
    }
}

TEST_F(GoTest, LongOutputPathIsShortenedInItsMiddleOnlyOnScreen)
{
    Prepare(kSample);
    const QString folder = dir_.filePath(QStringLiteral("a folder with a rather long name for results & notes/"
                                                        "and one more level below it"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString chosen = folder + QStringLiteral("/final results.csv");
    platform_.QueueSaveAnswer(chosen);
    QTest::mouseClick(window_->btn_OpenExcelFile, Qt::LeftButton);
    const QString shown = window_->lb_FileNameExcel->DisplayedText();
    EXPECT_EQ(window_->lb_FileNameExcel->Caption(), chosen);
    EXPECT_LT(shown.size(), chosen.size());
    EXPECT_TRUE(shown.contains(QStringLiteral("..."))) << shown.toStdString();
    EXPECT_TRUE(shown.endsWith(QStringLiteral("/final results.csv"))) << shown.toStdString();
    EXPECT_TRUE(shown.startsWith(chosen.left(4))) << shown.toStdString();
    Screenshot(QStringLiteral("10_long_output_path"));
    ClickGo();
    EXPECT_EQ(ReadAll(chosen), "Time,Value,Unit\r\n12:00:00,1.5,V;x\r\n12:00:05,2.5,V;y\r\n");
}

TEST_F(GoTest, BadTimeOfDayEndsTheRunCleanlyThenOneErrorBoxAndTheWindowStaysUsable)
{
    Prepare("Time,V\r\n12:00:00,1\r\n12:00:05,2\r\n12:3x:00,3\r\n12:00:09,4\r\n", true);
    QString captionAtBox;
    bool visibleAtBox = false;
    platform_.OnMessageBox = [&](const FakePlatform::TMessageBoxCall&) {
        captionAtBox = window_->progress_Excel->Caption();
        visibleAtBox = window_->progress_Excel->isVisible();
    };
    // A CSV file twice, then a workbook.
    const QString outputs[] = {Output(), Output(), dir_.filePath(QStringLiteral("go.xlsx"))};
    for (int run = 1; run <= 3; ++run) {
        SCOPED_TRACE(run);
        const QString output = outputs[run - 1];
        if (output != Output()) {
            platform_.QueueSaveAnswer(output);
            QTest::mouseClick(window_->btn_OpenExcelFile, Qt::LeftButton);
        }
        ClickGo();
        // A failed run puts no half output in the output's place.
        EXPECT_EQ(ReadAll(output), "<missing>");
        ASSERT_EQ(platform_.MessageBoxes.size(), static_cast<std::size_t>(run));
        const auto& box = platform_.MessageBoxes.back();
        EXPECT_EQ(box.Caption, kTitle);
        EXPECT_EQ(box.Style, IPlatform::TMessageStyle::Error);
        EXPECT_EQ(box.Text, QStringLiteral("'12:3x:00' is not a valid time.\n(line 4 of go.pe)"));
        EXPECT_EQ(captionAtBox, QStringLiteral("finished"));
        EXPECT_TRUE(visibleAtBox);
        // Once the box is closed the bar no longer says the run went well.
        EXPECT_EQ(window_->progress_Excel->Caption(), QStringLiteral("failed"));
        EXPECT_TRUE(window_->isEnabled());
    }
    Screenshot(QStringLiteral("08_after_failed_run"));
}

TEST_F(GoTest, EngineFileErrorsReachTheErrorBox)
{
    Prepare(kSample);
    struct Case {
        const char* name;
        QString output;
        QString start;
    };
    // The dialog refuses the PE file itself; another name for it reaches the run.
    const QString hardLink = dir_.filePath(QStringLiteral("go-link.csv"));
    std::error_code linkError;
    std::filesystem::create_hard_link(std::filesystem::path(input_.toStdU16String()),
                                      std::filesystem::path(hardLink.toStdU16String()), linkError);
    ASSERT_EQ(linkError.value(), 0) << linkError.message();
    const Case cases[] = {
        {"OutputIsInput", hardLink, QStringLiteral("The output file \"")},
#ifndef _WIN32
        // Windows has no device that is always full; there the name is one
        // of the current drive, whose messages show it with backslashes.
        {"DiskFull", QStringLiteral("/dev/full"), QStringLiteral("Cannot write the output file \"/dev/full\"")},
#endif
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        platform_.Clear();
        platform_.QueueSaveAnswer(c.output);
        QTest::mouseClick(window_->btn_OpenExcelFile, Qt::LeftButton);
        ClickGo();
        ASSERT_EQ(platform_.MessageBoxes.size(), 1u);
        EXPECT_TRUE(platform_.MessageBoxes[0].Text.startsWith(c.start))
            << platform_.MessageBoxes[0].Text.toStdString();
        EXPECT_EQ(platform_.MessageBoxes[0].Caption, kTitle);
        EXPECT_EQ(ReadAll(input_), kSample);
    }
}

TEST_F(MainWindowTest, GoWithAMissingFileReportsItAndCreatesNothing)
{
    const QString missing = dir_.filePath(QStringLiteral("gone.pe"));
    ClickInto(window_->FileOpenEdit1);
    Type(missing);
    ClickTab(2);
    QTest::mouseClick(window_->btn_SaveExcelFile, Qt::LeftButton);
    ASSERT_EQ(platform_.MessageBoxes.size(), 1u);
    const QString start = QStringLiteral("Cannot open the PE file \"") + QDir::toNativeSeparators(missing);
    EXPECT_TRUE(platform_.MessageBoxes[0].Text.startsWith(start))
        << platform_.MessageBoxes[0].Text.toStdString();
    EXPECT_FALSE(QFileInfo::exists(dir_.filePath(QStringLiteral("Filename"))));
    EXPECT_FALSE(window_->progress_Excel->isVisible());
}

TEST_F(MainWindowTest, GoAfterAnotherFileNeverWritesIntoThePreviousFilesOutput)
{
    struct Case {
        const char* name;
        std::optional<std::string> bytes;  // nullopt: no such file
        bool chooseOutput;
        std::string written;
        QString box;  // the start of the one box's text, or empty for none
        std::size_t headerBoxes, dataBoxes;
    };
    const QString next = dir_.filePath(QStringLiteral("next.pe"));
    const Case cases[] = {
        {"Missing", std::nullopt, false, "<missing>",
         QStringLiteral("Cannot open the PE file \"") + QDir::toNativeSeparators(next), 0, 0},
        {"OneLine", "only,header\r\n", false, "only,header\r\n", QString(), 1, 0},
        {"Binary", std::string("\x01\xfe,\xff", 4), false, std::string("\x01\xfe,\xff\r\n", 6), QString(), 1, 0},
        {"OneLineIntoAChosenPath", "only,header\r\n", true, "only,header\r\n", QString(), 1, 0},
        // Nothing to convert: a run once wrote a file of one stray cell.
        {"Empty", "", false, "<missing>", QStringLiteral("next.pe has no header line"), 0, 0},
        {"CtrlZFirst", "\x1a" "A,B\r\n", false, "<missing>", QStringLiteral("next.pe has no header line"), 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        NewWindow();
        ChooseThroughDialog(WritePe(QStringLiteral("good.pe"), kSample));
        ClickTab(2);
        QTest::mouseClick(window_->btn_SaveExcelFile, Qt::LeftButton);
        const QString previous = dir_.filePath(QStringLiteral("good (XLS).csv"));
        ASSERT_EQ(ReadAll(previous), "Time,Value,Unit\r\n12:00:00,1.5,V;x\r\n12:00:05,2.5,V;y\r\n");

        QFile::remove(next);
        QFile::remove(dir_.filePath(QStringLiteral("next (XLS).csv")));
        if (c.bytes)
            WritePe(QStringLiteral("next.pe"), *c.bytes);
        ClickInto(window_->FileOpenEdit1);
        window_->FileOpenEdit1->selectAll();
        Type(next);
        ClickTab(2);
        // The previous file's boxes would stand for nothing here.
        EXPECT_EQ(window_->HeaderEdits().size(), c.headerBoxes);
        EXPECT_EQ(window_->LineEdits().size(), c.dataBoxes);
        EXPECT_EQ(window_->lb_FileNameExcel->Caption(), QStringLiteral("next (XLS).csv"));
        QString output = dir_.filePath(QStringLiteral("next (XLS).csv"));
        if (c.chooseOutput) {
            output = dir_.filePath(QStringLiteral("chosen.csv"));
            platform_.QueueSaveAnswer(output);
            QTest::mouseClick(window_->btn_OpenExcelFile, Qt::LeftButton);
        }
        platform_.Clear();
        QTest::mouseClick(window_->btn_SaveExcelFile, Qt::LeftButton);

        EXPECT_EQ(ReadAll(previous), "Time,Value,Unit\r\n12:00:00,1.5,V;x\r\n12:00:05,2.5,V;y\r\n");
        EXPECT_EQ(ReadAll(output), c.written);
        ASSERT_EQ(platform_.MessageBoxes.size(), c.box.isEmpty() ? 0u : 1u);
        if (!c.box.isEmpty()) {
            EXPECT_EQ(platform_.MessageBoxes[0].Text.left(c.box.size()), c.box);
        }
    }
}

// ------------------------------------------------------------------ links

TEST_F(MainWindowTest, LinkLabelsAskTheShellToOpenTheirAddresses)
{
    QTest::mouseClick(window_->Label9, Qt::LeftButton, {}, QPoint(20, 20));
    QTest::mouseClick(window_->Label10, Qt::LeftButton, {}, QPoint(20, 5));
    QTest::mouseClick(window_->Label1, Qt::LeftButton, {}, QPoint(20, 5));
    const std::vector<QString> expected = {
        QStringLiteral("https://morvane.example.org"),
        QStringLiteral("mailto:morvane@example.org?subject=Morvane (Halvik Control PE to Ostral)"
                       "&body=Hello Morvane team, a word about Morvane:"),
    };
    EXPECT_EQ(platform_.OpenedUrls, expected);
}

// ------------------------------------------------------ long rows, drops

TEST_F(MainWindowTest, SixtySeparatorHeaderScrollsAndEveryBoxIsReachedByTab)
{
    std::string header = "H";
    for (int i = 0; i < 60; ++i)
        header += "," + std::to_string(i);
    ChooseThroughDialog(WritePe(QStringLiteral("wide.pe"), header + "\r\n1,2\r\n"));
    ClickTab(1);
    const auto& boxes = window_->HeaderEdits();
    ASSERT_EQ(boxes.size(), 60u);
    EXPECT_EQ(BoxLefts(boxes), ExpectedLefts(60));
    QScrollArea* area = window_->HeaderRow().Area();
    EXPECT_TRUE(area->horizontalScrollBar()->isVisible());
    EXPECT_GT(area->horizontalScrollBar()->maximum(), 0);
    Screenshot(QStringLiteral("06_wide_header_start"));

    ClickInto(boxes.front());
    for (std::size_t k = 0; k < boxes.size(); ++k) {
        SCOPED_TRACE(k);
        ASSERT_EQ(Focus(), boxes[k]);
        const QRect inViewport(boxes[k]->mapTo(area->viewport(), QPoint(0, 0)), boxes[k]->size());
        EXPECT_TRUE(area->viewport()->rect().contains(inViewport))
            << "viewport " << area->viewport()->width() << " box at " << inViewport.x()
            << " scrolled " << area->horizontalScrollBar()->value() << " of "
            << area->horizontalScrollBar()->maximum();
        if (k + 1 < boxes.size())
            PressKey(Qt::Key_Tab);
    }
    EXPECT_GT(area->horizontalScrollBar()->value(), 0);
    Screenshot(QStringLiteral("07_wide_header_end"));

    // Rebuilt, the row starts at its left end again with "PE header:" in view.
    ClickTab(0);
    window_->ed_Seperator->SetText(",;");
    ClickTab(1);
    ASSERT_EQ(window_->HeaderEdits().size(), 60u);
    EXPECT_EQ(area->horizontalScrollBar()->value(), 0);
}

TEST_F(MainWindowTest, RowsStopAtAThousandBoxesAndThePreviewAtTenThousandCharacters)
{
    std::string data = "12:00:00";
    for (int i = 0; i < 1500; ++i)
        data += ",v" + std::to_string(i % 10);
    data += std::string(12000, 'z');
    const QString path = WritePe(QStringLiteral("big.pe"), "h\r\n" + data + "\r\n" + data + "\r\n");
    ChooseThroughDialog(path);
    ClickTab(2);
    ASSERT_EQ(window_->LineEdits().size(), TTemplateExcerpt::kMaxBoxes);
    const QString preview = window_->lbl_data->Caption();
    EXPECT_EQ(preview.size(), 10001);
    EXPECT_EQ(preview.back(), QChar(0x2026));
    EXPECT_EQ(preview.left(12), QStringLiteral("12:00:00,v0,"));

    // Box 0 changes the first separator only; separators past box 999 stay.
    window_->LineEdits()[0]->SetText(";");
    QTest::mouseClick(window_->btn_SaveExcelFile, Qt::LeftButton);
    const std::string out = ReadAll(dir_.filePath(QStringLiteral("big (XLS).csv")));
    std::string expectedLine = data;
    expectedLine[8] = ';';
    EXPECT_EQ(out, "h\r\n" + expectedLine + "\r\n" + expectedLine + "\r\n");
}

TEST_F(MainWindowTest, BytesShowAsWindows1252AndBoxCharactersGoBackAsTheSameBytes)
{
    const std::string bytes = "Gr\xf6\xdf" "e,\x80\r\n1,\xe4\r\n";
    const QString path = WritePe(QStringLiteral("bytes.pe"), bytes);
    ChooseThroughDialog(path);
    ClickTab(2);
    EXPECT_EQ(window_->lbl_Header->Caption(), QString::fromUtf8("Größe,€"));
    EXPECT_EQ(window_->lbl_data->Caption(), QString::fromUtf8("1,ä"));
    ClickInto(window_->LineEdits()[0]);
    window_->LineEdits()[0]->selectAll();
    Type(QString::fromUtf8("¤"));
    EXPECT_EQ(window_->lbl_data->Caption(), QString::fromUtf8("1¤ä"));
    QTest::mouseClick(window_->btn_SaveExcelFile, Qt::LeftButton);
    EXPECT_EQ(ReadAll(dir_.filePath(QStringLiteral("bytes (XLS).csv"))),
              "Gr\xf6\xdf" "e,\x80\r\n1\xa4\xe4\r\n");
}

TEST_F(MainWindowTest, PathsAreFileSystemNamesNotCodePageText)
{
    const QString path = WritePe(QString::fromUtf8("Mess\u00fcng \u0416 & co.pe"), kSample);
    ClickInto(window_->FileOpenEdit1);
    Type(path);
    ClickTab(2);
    EXPECT_EQ(window_->lbl_Header->Caption(), QStringLiteral("Time,Value,Unit"));
    const QString proposal = QString::fromUtf8("Mess\u00fcng \u0416 & co (XLS).csv");
    EXPECT_EQ(window_->lb_FileNameExcel->Caption(), proposal);
    EXPECT_TRUE(window_->lb_FileNameExcel->DisplayedText().contains(QLatin1Char('&')));
    QTest::mouseClick(window_->btn_SaveExcelFile, Qt::LeftButton);
    EXPECT_EQ(ReadAll(dir_.filePath(proposal)), "Time,Value,Unit\r\n12:00:00,1.5,V;x\r\n12:00:05,2.5,V;y\r\n");
}

TEST_F(MainWindowTest, DroppedFileIsTakenAsIfChosenAndAnythingElseIsRefused)
{
    const QString path = WritePe(QStringLiteral("dropped.pe"), kSample);
    const QString other = WritePe(QStringLiteral("other.pe"), kSample);
    struct Case {
        const char* name;
        std::function<void(QMimeData&)> fill;
        bool accepted;
        qsizetype batch = 0;  // files "&Go" converts at once, 0 for one
    };
    const std::vector<Case> cases = {
        {"PlainText", [](QMimeData& m) { m.setText(QStringLiteral("hello")); }, false},
        {"Folder", [this](QMimeData& m) { m.setUrls({QUrl::fromLocalFile(dir_.path())}); }, false},
        {"FileAndFolder",
         [this, path](QMimeData& m) { m.setUrls({QUrl::fromLocalFile(path), QUrl::fromLocalFile(dir_.path())}); },
         false},
        {"WebAddress", [](QMimeData& m) { m.setUrls({QUrl(QStringLiteral("https://example.org/a.pe"))}); },
         false},
        {"OneFile", [path](QMimeData& m) { m.setUrls({QUrl::fromLocalFile(path)}); }, true},
        // Several files are a batch, whose first the file box shows.
        {"TwoFiles",
         [path, other](QMimeData& m) { m.setUrls({QUrl::fromLocalFile(other), QUrl::fromLocalFile(path)}); }, true,
         2},
        {"SameFileTwice",
         [path](QMimeData& m) { m.setUrls({QUrl::fromLocalFile(path), QUrl::fromLocalFile(path)}); }, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QMimeData data;
        c.fill(data);
        const QPoint at(200, 100);
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window_.get(), &enter);
        EXPECT_EQ(enter.isAccepted(), c.accepted);
        QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window_.get(), &drop);
        Settle();
        EXPECT_EQ(drop.isAccepted(), c.accepted);
        const QString first = c.accepted ? data.urls().front().toLocalFile() : QString();
        EXPECT_EQ(window_->FileOpenEdit1->Filename(), QDir::toNativeSeparators(first));
        EXPECT_EQ(window_->PageControl1->isVisible(), c.accepted);
        EXPECT_EQ(window_->Batch().Files().size(), c.batch);
        if (std::string(c.name) == "OneFile") {
            EXPECT_EQ(ActivePage(), 0);
            EXPECT_EQ(FocusName(), QStringLiteral("ed_Seperator"));
        }
    }

    // Drops anywhere reach the window: no control takes them for itself
    // (an edit would paste the file's address as text).
    ClickTab(2);
    ASSERT_FALSE(window_->LineEdits().empty());
    for (const QWidget* child : window_->findChildren<QWidget*>())
        EXPECT_FALSE(child->acceptDrops()) << child->metaObject()->className() << " "
                                          << child->objectName().toStdString();
}

// "Open with" from a file manager: the name arrives as an argument and is
// taken exactly as a drop of that file, relative to the current folder.
TEST_F(MainWindowTest, FileNamedOnTheCommandLineIsTakenLikeADrop)
{
    const QString path = WritePe(QStringLiteral("named.pe"), kSample);
    struct Case {
        const char* name;
        QString argument;
        bool taken;
    };
    const std::vector<Case> cases = {
        {"Missing", QStringLiteral("absent.pe"), false},
        {"Folder", QStringLiteral("."), false},
        {"Empty", QString(), false},
        {"RelativeName", QStringLiteral("named.pe"), true},
        {"DottedRelativeName", QStringLiteral("./sub/../named.pe"), true},
        {"FullPath", path, true},
    };
    QDir(dir_.path()).mkdir(QStringLiteral("sub"));
    QDir::setCurrent(dir_.path());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        NewWindow();
        EXPECT_EQ(window_->OpenFromCommandLine(c.argument), c.taken);
        Settle();
        // Shown as the system writes paths: with backslashes on Windows.
        EXPECT_EQ(window_->FileOpenEdit1->Filename(), c.taken ? QDir::toNativeSeparators(path) : QString());
        EXPECT_EQ(window_->PageControl1->isVisible(), c.taken);
        if (c.taken) {
            EXPECT_EQ(ActivePage(), 0);
            EXPECT_EQ(FocusName(), QStringLiteral("ed_Seperator"));
        }
    }
}

// ------------------------------------------------ hints, row menu, folders

TEST_F(MainWindowTest, HintNamesTheOccurrencePointedAtAndTheFieldsEitherSide)
{
    const QString resting =
        QStringLiteral("Type each separator's replacement; the line above shows the result.");
    struct Case {
        const char* name;
        std::string header;
        int page;  // 1: header row, 2: data row
        QString expected;  // box 1's hint
    };
    const std::string data = "12:00:00,46.1,31";
    const Case cases[] = {
        {"Header", "Time,Humidity [%],Valve 1 [%]", 1,
         QStringLiteral("\",\" no. 2 of 2, between \"Humidity [%]\" and \"Valve 1 [%]\"")},
        {"DataNamedByAHeaderOfTheSameCount", "Time,Humidity [%],Valve 1 [%]", 2,
         QStringLiteral("\",\" no. 2 of 2, between \"46.1\" and \"31\" (Humidity [%] | Valve 1 [%])")},
        {"DataUnderAHeaderOfAnotherCount", "Time,Humidity [%]", 2,
         QStringLiteral("\",\" no. 2 of 2, between \"46.1\" and \"31\"")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        NewWindow();
        ChooseThroughDialog(WritePe(QStringLiteral("hint.pe"), c.header + "\r\n" + data + "\r\n"));
        ClickTab(c.page);
        const std::vector<TBevelEdit*>& boxes = c.page == 1 ? window_->HeaderEdits() : window_->LineEdits();
        const TBevelLabel* hint = c.page == 1 ? window_->lbl_HeaderHint : window_->lbl_DataHint;
        ASSERT_EQ(boxes.size(), 2u);
        EXPECT_EQ(boxes[1]->toolTip(), c.expected);

        ClickInto(window_->FileOpenEdit1);
        EXPECT_EQ(hint->Caption(), resting);
        // Whole, where it once ended in "…shows t…".
        EXPECT_EQ(hint->DisplayedText(), resting);
        ClickInto(boxes[1]);
        EXPECT_EQ(hint->Caption(), c.expected);
        if (c.page == 1)
            Screenshot(QStringLiteral("11_page2_hint"));
        // The box under the mouse goes before the focused one, until the
        // mouse leaves it.
        QTest::mouseMove(boxes[0], boxes[0]->rect().center());
        Settle();
        EXPECT_EQ(hint->Caption(), boxes[0]->toolTip());
        EXPECT_NE(boxes[0]->toolTip(), c.expected);
        QTest::mouseMove(window_->PageControl1, QPoint(5, window_->PageControl1->height() - 5));
        Settle();
        EXPECT_EQ(hint->Caption(), c.expected);
    }
}

TEST_F(MainWindowTest, RowMenuFillsBoxesOfOneSeparatorKindAndRestoresThemAll)
{
    ChooseThroughDialog(WritePe(QStringLiteral("kinds.pe"), "h\r\n1;2,3,4;5\r\n"));
    window_->ed_Seperator->SetText(",;");
    ClickTab(2);
    ASSERT_EQ(BoxTexts(window_->LineEdits()), (std::vector<std::string>{";", ",", ",", ";"}));

    struct Step {
        std::size_t box;
        QString typed;  // typed into the box before its menu opens; empty: nothing
        QString fillEntry;
        bool fill;      // else restore
        std::vector<std::string> boxes;
        QString preview;
    };
    const Step steps[] = {
        {1, QStringLiteral("|"), QStringLiteral("Use \u00ab|\u00bb for every \u00ab,\u00bb in this row"), true,
         {";", "|", "|", ";"}, QStringLiteral("1;2|3|4;5")},
        {3, QStringLiteral("&"), QStringLiteral("Use \u00ab&&\u00bb for every \u00ab;\u00bb in this row"), true,
         {"&", "|", "|", "&"}, QStringLiteral("1&2|3|4&5")},
        {2, QString(), QStringLiteral("Use \u00ab|\u00bb for every \u00ab,\u00bb in this row"), false,
         {";", ",", ",", ";"}, QStringLiteral("1;2,3,4;5")},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.fillEntry.toStdString());
        TBevelEdit* box = window_->LineEdits().at(step.box);
        ClickInto(box);
        if (!step.typed.isEmpty()) {
            box->selectAll();
            Type(step.typed);
        }
        QContextMenuEvent request(QContextMenuEvent::Mouse, box->rect().center(),
                                  box->mapToGlobal(box->rect().center()));
        QApplication::sendEvent(box, &request);
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr);
        QStringList entries;
        for (const QAction* action : menu->actions())
            if (!action->isSeparator())
                entries.append(action->text().section(QLatin1Char('\t'), 0, 0));
        // The edit's own entries stay; the row's two come last.
        const QStringList expected = {
            QStringLiteral("&Undo"),  QStringLiteral("&Redo"),  QStringLiteral("Cu&t"),
            QStringLiteral("&Copy"),  QStringLiteral("&Paste"), QStringLiteral("Delete"),
            QStringLiteral("Select All"), step.fillEntry, QStringLiteral("Restore this row's separators")};
        EXPECT_EQ(entries, expected);
        const int beeps = platform_.BeepCount;
        menu->actions().at(menu->actions().size() - (step.fill ? 2 : 1))->trigger();
        menu->close();
        // The offscreen platform hands the activation back to no one.
        window_->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
        Settle();
        EXPECT_EQ(BoxTexts(window_->LineEdits()), step.boxes);
        EXPECT_EQ(window_->lbl_data->Caption(), step.preview);
        EXPECT_EQ(platform_.BeepCount, beeps);
    }
}

TEST_F(MainWindowTest, DialogsStartInTheFoldersRememberedFromEarlierSessionsWhileTheyExist)
{
    const QString runs = dir_.filePath(QStringLiteral("runs"));
    const QString results = dir_.filePath(QStringLiteral("results"));
    ASSERT_TRUE(QDir().mkpath(runs));
    ASSERT_TRUE(QDir().mkpath(results));
    const QString pe = WritePe(QStringLiteral("runs/night.pe"), kSample);
    const QString output = results + QStringLiteral("/night.csv");

    // One session chooses both files; the folders are remembered.
    platform_.QueueOpenAnswer(pe);
    QTest::mouseClick(window_->FileOpenEdit1->BrowseButton(), Qt::LeftButton);
    Settle();
    ClickTab(2);
    platform_.QueueSaveAnswer(output);
    QTest::mouseClick(window_->btn_OpenExcelFile, Qt::LeftButton);
    const std::map<IPlatform::TFolder, QString> remembered = {{IPlatform::TFolder::PeFile, runs},
                                                              {IPlatform::TFolder::Output, results}};
    EXPECT_EQ(platform_.RememberedFolders, remembered);

    struct Case {
        const char* name;
        bool removeFolders;
        QString openFolder;
        QString saveFolder;
    };
    // Without a folder of their own the dialogs start in the user's
    // documents, the output's beside the PE file: never in the folder the
    // program runs in (on Windows its installation folder).
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const Case cases[] = {
        {"FoldersThere", false, runs, results},
        {"FoldersGone", true, QFileInfo(documents).isDir() ? documents : QString(), dir_.path()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.removeFolders) {
            ASSERT_TRUE(QDir(runs).removeRecursively());
            ASSERT_TRUE(QDir(results).removeRecursively());
        }
        // The next session starts with what the last one remembered.
        platform_.RememberedFolders = remembered;
        NewWindow();
        platform_.QueueOpenAnswer(std::nullopt);
        QTest::mouseClick(window_->FileOpenEdit1->BrowseButton(), Qt::LeftButton);
        Settle();
        ASSERT_EQ(platform_.OpenRequests.size(), 1u);
        EXPECT_EQ(platform_.OpenRequests[0].InitialDir, c.openFolder);

        ChooseThroughDialog(WritePe(QStringLiteral("other.pe"), kSample));
        ClickTab(2);
        platform_.QueueSaveAnswer(std::nullopt);
        QTest::mouseClick(window_->btn_OpenExcelFile, Qt::LeftButton);
        ASSERT_EQ(platform_.SaveRequests.size(), 1u);
        EXPECT_EQ(platform_.SaveRequests[0].InitialDir, c.saveFolder);
    }
}

// ------------------------------------------------ input during a run, keys

TEST_F(GoTest, InputDuringARunIsDroppedEscStopsItAndCloseEndsItThenTheWindow)
{
    // Enough lines that the run is still going when the first event arrives,
    // however busy the machine: tens of milliseconds at full speed, against
    // the microseconds the event takes.
    std::string big = "Time,Value,Unit\r\n";
    for (int i = 0; i < 2'000'000; ++i)
        big += "12:00:00,1.5,V;x\r\n";
    struct Case {
        const char* name;
        std::function<void()> during;
        QString caption;  // the bar's after the run
        bool visible;     // the window's
    };
    const std::vector<Case> cases = {
        {"ClicksOnGoAndATabAndAltG",
         [this] {
             QTest::mouseClick(window_->btn_SaveExcelFile, Qt::LeftButton);
             ClickTab(0);
             PressKey(Qt::Key_G, Qt::AltModifier);
         },
         QStringLiteral("finished"), true},
        {"Esc", [this] { QTest::keyClick(window_.get(), Qt::Key_Escape); }, QStringLiteral("stopped"), true},
        {"CloseButton", [this] { window_->close(); }, QStringLiteral("stopped"), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        NewWindow();
        Prepare(big);
        int runs = 0;
        QObject::connect(&window_->ConversionRun(), &TConversionRun::started, window_.get(), [&] {
            if (++runs == 1)
                c.during();
        });
        const std::string earlier = "an earlier run's output\r\n";
        WritePe(QStringLiteral("go (XLS).csv"), earlier);
        ClickGo();
        Settle();
        EXPECT_EQ(runs, 1);
        EXPECT_EQ(ActivePage(), 2);
        EXPECT_EQ(window_->progress_Excel->Caption(), c.caption);
        EXPECT_EQ(window_->isVisible(), c.visible);
        EXPECT_TRUE(platform_.MessageBoxes.empty());
        // A stopped run leaves the earlier output byte for byte.
        const std::string& expected = c.caption == QStringLiteral("finished") ? big : earlier;
        const std::string written = ReadAll(Output());
        EXPECT_EQ(written.size(), expected.size());
        EXPECT_EQ(written.substr(0, 64), expected.substr(0, 64));
    }
}

TEST_F(MainWindowTest, KeysHeldWithAltCtrlOrMetaNeverTypeIntoABox)
{
    ChooseThroughDialog(WritePe(QStringLiteral("chord.pe"), kSample));
    struct Case {
        const char* name;
        std::function<TBevelEdit*()> box;
        Qt::KeyboardModifiers modifiers;
    };
    const std::vector<Case> cases = {
        {"AltGInTheFileName", [this] { return window_->FileOpenEdit1; }, Qt::AltModifier},
        {"AltGInTheSeparatorSet", [this] { return window_->ed_Seperator; }, Qt::AltModifier},
        {"MetaGInTheRelativeTimeSeparator", [this] { return window_->ed_RelativeTimeSeperator; }, Qt::MetaModifier},
        {"AltGInAHeaderBox",
         [this] {
             ClickTab(1);
             return window_->HeaderEdits().at(0);
         },
         Qt::AltModifier},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TBevelEdit* box = c.box();
        ClickInto(box);
        box->end(false);
        const std::string before = box->Text();
        PressKey(Qt::Key_G, c.modifiers);
        EXPECT_EQ(box->Text(), before);
    }
}

TEST_F(MainWindowTest, CtrlTabSwitchesPagesFromTheFileNameAndF4OrAltDownBrowses)
{
    const QString path = WritePe(QStringLiteral("keys.pe"), kSample);
    ChooseThroughDialog(path);
    struct Case {
        const char* name;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        int page;      // after the key
        bool browses;
    };
    const Case cases[] = {
        {"CtrlTab", Qt::Key_Tab, Qt::ControlModifier, 1, false},
        {"CtrlShiftTab", Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier, 2, false},
        {"F4", Qt::Key_F4, Qt::NoModifier, 0, true},
        {"AltDown", Qt::Key_Down, Qt::AltModifier, 0, true},
    };
    window_->FileOpenEdit1->SetDialogFactory([this] { return platform_.CreateFileOpenDialog(); });
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ClickTab(0);
        platform_.Clear();
        platform_.QueueOpenAnswer(std::nullopt);
        ClickInto(window_->FileOpenEdit1);
        PressKey(c.key, c.modifiers);
        EXPECT_EQ(ActivePage(), c.page);
        EXPECT_EQ(platform_.OpenRequests.size(), c.browses ? 1u : 0u);
        EXPECT_EQ(window_->FileOpenEdit1->Filename(), QDir::toNativeSeparators(path));
    }
}

TEST_F(MainWindowTest, CancelledOrRepeatedBrowseLeavesPageBoxesAndFocus)
{
    struct Case {
        const char* name;
        int page;
        std::function<QWidget*()> focus;
        bool samePathAgain;  // else cancelled
    };
    const std::vector<Case> cases = {
        {"CancelledOnPage1", 0, [this] { return window_->ed_RelativeTimeSeperator; }, false},
        {"CancelledOnPage3", 2, [this] { return window_->LineEdits().at(1); }, false},
        {"SameFileOnPage2", 1, [this] { return window_->HeaderEdits().at(1); }, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        NewWindow();
        const QString path = WritePe(QStringLiteral("stay.pe"), kSample);
        ChooseThroughDialog(path);
        ClickTab(2);
        ClickInto(window_->LineEdits().at(1));
        window_->LineEdits()[1]->selectAll();
        Type(QStringLiteral("|"));
        ClickTab(c.page);
        QWidget* focus = c.focus();
        ClickInto(focus);
        const QString focusName = FocusName();

        window_->FileOpenEdit1->SetDialogFactory([this] { return platform_.CreateFileOpenDialog(); });
        platform_.QueueOpenAnswer(c.samePathAgain ? std::optional<QString>(path) : std::nullopt);
        QTest::mouseClick(window_->FileOpenEdit1->BrowseButton(), Qt::LeftButton);
        Settle();
        EXPECT_EQ(platform_.OpenRequests.size(), 1u);
        EXPECT_EQ(ActivePage(), c.page);
        EXPECT_EQ(FocusName(), focusName);
        EXPECT_EQ(BoxTexts(window_->LineEdits()), (std::vector<std::string>{",", "|"}));
    }
}

TEST_F(GoTest, ThePeFileCannotBeChosenAsTheOutput)
{
    Prepare(kSample);
#ifdef _WIN32
    // The same name in other letters: Windows ignores the case.
    const QString alias = dir_.filePath(QStringLiteral("GO.PE"));
#else
    const QString alias = dir_.filePath(QStringLiteral("go-alias.csv"));
    ASSERT_TRUE(QFile::link(input_, alias));
#endif
    const QString chosen = dir_.filePath(QStringLiteral("chosen.csv"));
    struct Case {
        const char* name;
        QString refused;
        std::optional<QString> then;
        QString caption;
    };
    const Case cases[] = {
        {"ThePeFileThenAnother", input_, chosen, chosen},
        {"AnotherNameForItThenCancel", alias, std::nullopt, chosen},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        platform_.Clear();
        platform_.QueueSaveAnswer(c.refused);
        platform_.QueueSaveAnswer(c.then);
        QTest::mouseClick(window_->btn_OpenExcelFile, Qt::LeftButton);
        ASSERT_EQ(platform_.MessageBoxes.size(), 1u);
        EXPECT_EQ(platform_.MessageBoxes[0].Text,
                  QStringLiteral("The PE file cannot be its own output. Please choose another name."));
        ASSERT_EQ(platform_.SaveRequests.size(), 2u);
        EXPECT_EQ(platform_.SaveRequests[1].FileName, c.refused);
        EXPECT_EQ(window_->lb_FileNameExcel->Caption(), c.caption);
    }
    ClickGo();
    EXPECT_EQ(ReadAll(input_), kSample);
}

TEST_F(MainWindowTest, TabSeparatorShowsAsAVisibleMarkInItsBoxAndHint)
{
    window_->ed_Seperator->SetText("\t");
    ChooseThroughDialog(WritePe(QStringLiteral("tabs.pe"), "a\tb\r\n1\t2\r\n"));
    ClickTab(1);
    ASSERT_EQ(window_->HeaderEdits().size(), 1u);
    TBevelEdit* box = window_->HeaderEdits()[0];
    EXPECT_EQ(box->Text(), "\t");
    EXPECT_EQ(box->toolTip(), QString::fromUtf8("\"\u2192\" no. 1 of 1, between \"a\" and \"b\""));
    const QImage withTab = box->grab().toImage();
    box->SetText(" ");
    EXPECT_NE(box->grab().toImage(), withTab);
}

// --------------------------------------------------------- progress sink

TEST(ProgressBarSinkTest, MapsEachOperationOntoTheBar)
{
    TSegmentProgress bar;
    bar.setVisible(false);
    TProgressBarSink sink(bar);
    sink.SetText("");
    sink.Show();
    EXPECT_FALSE(bar.isHidden());
    sink.SetMaximum(40);
    EXPECT_EQ(bar.MaxValue(), 40);
    sink.SetValue(10);
    EXPECT_EQ(bar.UserValue(), 10);
    EXPECT_EQ(bar.Position(), 25);
    sink.SetText("finished");
    EXPECT_EQ(bar.Caption(), QStringLiteral("finished"));
    sink.SetPercent(100);
    EXPECT_EQ(bar.Position(), 100);
}

TEST(ProgressBarSinkTest, ScalesCountsBeyondTheBarsRangeKeepingThePercentage)
{
    struct Case {
        std::int64_t maximum;
        std::int64_t value;
        int percent;
    };
    const std::int64_t big = std::int64_t{1} << 40;
    const Case cases[] = {
        {big, big / 4, 25},
        {big, big, 100},
        {std::int64_t{std::numeric_limits<int>::max()} + 1, std::int64_t{1} << 30, 50},
        {1000, 500, 50},
    };
    for (const Case& c : cases) {
        TSegmentProgress bar;
        TProgressBarSink sink(bar);
        sink.SetMaximum(c.maximum);
        EXPECT_GT(bar.MaxValue(), 0);
        sink.SetValue(c.value);
        EXPECT_EQ(bar.Position(), c.percent) << c.maximum;
    }
}

// What the run does with a work that reports until it is stopped, or ends
// by itself, and with what the user does meanwhile.
TEST(ConversionRunTest, ProgressReachesTheBarDuringTheRunAndOnlyEscOrCloseStopIt)
{
    struct Case {
        const char* name;
        std::function<void(QWidget& window, QPushButton& button)> during;
        bool endsByItself;
        bool finished;     // Run's result
        QString caption;
        bool visible;      // the window's, once the events after the run are through
    };
    const std::vector<Case> cases = {
        {"Esc", [](QWidget& w, QPushButton&) { QTest::keyClick(&w, Qt::Key_Escape); }, false, false,
         QStringLiteral("stopped"), true},
        {"Close", [](QWidget& w, QPushButton&) { w.close(); }, false, false, QStringLiteral("stopped"), false},
        {"ClicksAndKeysAreDropped",
         [](QWidget&, QPushButton& b) {
             QTest::mouseClick(&b, Qt::LeftButton);
             QTest::keyClick(&b, Qt::Key_Space);
         },
         true, true, QStringLiteral("finished"), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QWidget window;
        auto* bar = new TSegmentProgress(&window);
        auto* button = new QPushButton(QStringLiteral("Go"), &window);
        button->move(0, 40);
        int clicks = 0;
        QObject::connect(button, &QPushButton::clicked, [&] { ++clicks; });
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        button->setFocus();

        TConversionRun run(window, *bar);
        std::atomic<bool> release{false};
        QObject::connect(&run, &TConversionRun::started, [&] {
            // The window's thread takes the work's report while it runs.
            EXPECT_TRUE(QTest::qWaitFor([&] { return bar->UserValue() == 50; }, 5000));
            EXPECT_TRUE(run.Running());
            c.during(window, *button);
            release = true;
        });
        const bool finished = run.Run([&](morvane::IProgressSink& sink) {
            sink.SetText("");
            sink.Show();
            sink.SetMaximum(100);
            // A run that is never stopped fails the case instead of hanging.
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            for (;;) {
                sink.SetValue(50);
                if ((c.endsByItself && release) || std::chrono::steady_clock::now() > deadline)
                    break;
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            sink.SetValue(100);
            sink.SetText("finished");
        });
        for (int i = 0; i < 3; ++i)
            QCoreApplication::processEvents();
        EXPECT_EQ(finished, c.finished);
        EXPECT_FALSE(run.Running());
        EXPECT_EQ(bar->Caption(), c.caption);
        EXPECT_EQ(bar->UserValue(), c.finished ? 100 : 50);
        EXPECT_EQ(window.isVisible(), c.visible);
        EXPECT_EQ(clicks, 0);
    }
}

TEST(ConversionRunTest, AnErrorOfTheWorkIsRaisedOnceTheBarShowsItsLastReport)
{
    QWidget window;
    auto* bar = new TSegmentProgress(&window);
    TConversionRun run(window, *bar);
    std::string message;
    try {
        run.Run([](morvane::IProgressSink& sink) {
            sink.SetMaximum(10);
            sink.SetValue(7);
            sink.SetText("finished");
            throw morvane::Exception("'12:3x:00' is not a valid time");
        });
    } catch (const morvane::Exception& error) {
        message = error.Message();
    }
    EXPECT_EQ(message, "'12:3x:00' is not a valid time");
    EXPECT_EQ(bar->Caption(), QStringLiteral("finished"));
    EXPECT_EQ(bar->UserValue(), 7);
    EXPECT_FALSE(run.Running());
}

// The application reloads the regional time settings on this event; during
// a run the worker reads them, so the reload waits until the run is over.
TEST(ConversionRunTest, ARegionalSettingsChangeDuringARunReachesTheApplicationAfterIt)
{
    struct TCounter : QObject {
        int seen = 0;
        bool eventFilter(QObject* watched, QEvent* event) override
        {
            if (watched == QCoreApplication::instance() && event->type() == QEvent::LocaleChange)
                ++seen;
            return false;
        }
    } counter;
    qApp->installEventFilter(&counter);
    QWidget window;
    auto* bar = new TSegmentProgress(&window);
    TConversionRun run(window, *bar);
    std::atomic<bool> posted{false};
    QObject::connect(&run, &TConversionRun::started, &run, [&] {
        QCoreApplication::postEvent(QCoreApplication::instance(), new QEvent(QEvent::LocaleChange));
        QCoreApplication::sendPostedEvents(QCoreApplication::instance(), QEvent::LocaleChange);
        posted = true;
    });
    int seenDuringRun = -1;
    run.Run([&](morvane::IProgressSink&) {
        while (!posted)
            std::this_thread::yield();
    });
    seenDuringRun = counter.seen;
    QCoreApplication::sendPostedEvents(QCoreApplication::instance(), QEvent::LocaleChange);
    qApp->removeEventFilter(&counter);
    EXPECT_EQ(seenDuringRun, 0);
    EXPECT_EQ(counter.seen, 1);
}

} // namespace
