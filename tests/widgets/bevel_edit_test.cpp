#include "FontSetup.h"
#include "TBevelEdit.h"
#include "TBevelSettings.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QImage>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

#include "Screenshot.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Records every change event with the text and caret seen at that moment.
struct ChangeLog {
    explicit ChangeLog(TBevelEdit& edit)
    {
        QObject::connect(&edit, &TBevelEdit::OnChange, [this](TBevelEdit* sender) {
            texts.push_back(sender->Text());
            carets.push_back(sender->cursorPosition());
        });
    }
    int count() const { return static_cast<int>(texts.size()); }
    std::vector<std::string> texts;
    std::vector<int> carets;
};

struct SetCase {
    const char* initial;
    const char* set;
    int events;
};

class BevelEditSetText : public ::testing::TestWithParam<SetCase> {};

TEST_P(BevelEditSetText, RaisesOneEventPerRealChange)
{
    TBevelEdit edit(nullptr);
    edit.SetText(GetParam().initial);
    ChangeLog log(edit);
    edit.SetText(GetParam().set);
    EXPECT_EQ(log.count(), GetParam().events);
    EXPECT_EQ(edit.Text(), std::string(GetParam().set));
    if (log.count() == 1) {
        EXPECT_EQ(log.texts[0], std::string(GetParam().set)) << "event came before the text";
    }
}

INSTANTIATE_TEST_SUITE_P(Table, BevelEditSetText,
                         ::testing::Values(SetCase{";", ";", 0}, SetCase{";", ",", 1},
                                           SetCase{"", "", 0}, SetCase{"", "abc", 1},
                                           SetCase{"abc", "", 1}, SetCase{"abc", "abcd", 1},
                                           SetCase{"\xe9", "\xe9", 0}, SetCase{"\xe9", "e", 1}));

TEST(BevelEdit, SetTextLeavesCaretAtStartWithoutSelection)
{
    TBevelEdit edit(nullptr);
    ChangeLog log(edit);
    edit.SetText("hello world");
    EXPECT_EQ(edit.cursorPosition(), 0);
    EXPECT_FALSE(edit.hasSelectedText());
    ASSERT_EQ(log.count(), 1);
    EXPECT_EQ(log.carets[0], 0) << "the handler must see the caret already at the start";
    edit.selectAll();
    edit.SetText("other");
    EXPECT_EQ(edit.SelStart(), 0);
    EXPECT_EQ(edit.SelLength(), 0);
}

TEST(BevelEdit, TypingOneCharacterIntoEmptyEditRaisesOneEvent)
{
    TBevelEdit edit(nullptr);
    ChangeLog log(edit);
    QTest::keyClick(&edit, Qt::Key_X);
    EXPECT_EQ(log.count(), 1);
    EXPECT_EQ(edit.Text(), "x");
    ASSERT_EQ(log.count(), 1);
    EXPECT_EQ(log.texts[0], "x");
}

TEST(BevelEdit, EachTypedCharacterAndDeletionIsOneEvent)
{
    TBevelEdit edit(nullptr);
    ChangeLog log(edit);
    QTest::keyClicks(&edit, "abc");
    EXPECT_EQ(log.count(), 3);
    QTest::keyClick(&edit, Qt::Key_Backspace);
    EXPECT_EQ(log.count(), 4);
    EXPECT_EQ(edit.Text(), "ab");
    // Delete at the end and Backspace at the start change nothing.
    QTest::keyClick(&edit, Qt::Key_Delete);
    EXPECT_EQ(log.count(), 4);
    edit.setCursorPosition(0);
    QTest::keyClick(&edit, Qt::Key_Backspace);
    EXPECT_EQ(log.count(), 4);
    QTest::keyClick(&edit, Qt::Key_Delete);
    EXPECT_EQ(log.count(), 5);
    EXPECT_EQ(edit.Text(), "b");
    EXPECT_EQ((std::vector<std::string>{"a", "ab", "abc", "ab", "b"}), log.texts);
}

TEST(BevelEdit, CutAndPasteAreOneEventEach)
{
    TBevelEdit edit(nullptr);
    edit.SetText("abcdef");
    ChangeLog log(edit);
    edit.setSelection(1, 3);
    QTest::keySequence(&edit, QKeySequence::Cut);
    EXPECT_EQ(edit.Text(), "aef");
    EXPECT_EQ(log.count(), 1);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("bcd"));
    edit.setCursorPosition(3);
    QTest::keySequence(&edit, QKeySequence::Paste);
    EXPECT_EQ(edit.Text(), "aefbcd");
    EXPECT_EQ(log.count(), 2);
    // Pasting the same text over a selection of itself is no change.
    QApplication::clipboard()->setText(QStringLiteral("ef"));
    edit.setSelection(1, 2);
    QTest::keySequence(&edit, QKeySequence::Paste);
    EXPECT_EQ(edit.Text(), "aefbcd");
    EXPECT_EQ(log.count(), 2);
}

TEST(BevelEdit, NoEventsWhileUpdateLockIsHeld)
{
    TBevelEdit edit(nullptr);
    ChangeLog log(edit);
    edit.BeginUpdate();
    edit.BeginUpdate();
    edit.SetText("abc");
    edit.end(false);
    QTest::keyClicks(&edit, "de");
    edit.EndUpdate();
    QTest::keyClick(&edit, Qt::Key_Backspace);
    edit.EndUpdate();
    EXPECT_EQ(log.count(), 0);
    EXPECT_EQ(edit.Text(), "abcd");
    EXPECT_FALSE(edit.UpdateLocked());
    QTest::keyClick(&edit, Qt::Key_Z);
    EXPECT_EQ(log.count(), 1);
    // An unbalanced release does not leave the count below zero.
    edit.EndUpdate();
    edit.BeginUpdate();
    edit.SetText("q");
    EXPECT_EQ(log.count(), 1);
}

TEST(BevelEdit, MaxLengthZeroMeansUnlimited)
{
    TBevelEdit edit(nullptr);
    EXPECT_EQ(edit.MaxLength(), 0);
    const std::string longText(100000, 'x');
    edit.SetText(longText);
    EXPECT_EQ(edit.Text().size(), longText.size());
    edit.setCursorPosition(static_cast<int>(longText.size()));
    QTest::keyClick(&edit, Qt::Key_Y);
    EXPECT_EQ(edit.Text().size(), longText.size() + 1);
}

TEST(BevelEdit, PositiveMaxLengthCutsAndRefuses)
{
    TBevelEdit edit(nullptr);
    edit.SetText("abcdef");
    ChangeLog log(edit);
    edit.SetMaxLength(3);
    EXPECT_EQ(edit.Text(), "abc");
    EXPECT_EQ(log.count(), 1);
    edit.setCursorPosition(3);
    QTest::keyClick(&edit, Qt::Key_D);
    EXPECT_EQ(edit.Text(), "abc");
    EXPECT_EQ(log.count(), 1);
    edit.SetText("wxyz");
    EXPECT_EQ(edit.Text(), "wxy");
    edit.SetMaxLength(0);
    edit.setCursorPosition(3);
    QTest::keyClicks(&edit, "zz");
    EXPECT_EQ(edit.Text(), "wxyzz");
}

TEST(BevelEdit, TextIsWindows1252BytesBothWays)
{
    TBevelEdit edit(nullptr);
    std::string all;
    for (int b = 1; b < 256; ++b)
        all.push_back(static_cast<char>(b));
    edit.SetText(all);
    EXPECT_EQ(edit.Text(), all);
    edit.SetText("\x80\xe9");
    EXPECT_EQ(edit.text(), QString::fromUtf16(u"\u20AC\u00E9"));
}

// A "?" in place of the character typed changed the user's text silently.
TEST(BevelEdit, TypedOrPastedCharacterOutsideCodePageIsRefusedAndReported)
{
    TBevelEdit edit(nullptr);
    ChangeLog log(edit);
    int refused = 0;
    QObject::connect(&edit, &TBevelEdit::OnRefused, &edit, [&] { ++refused; });
    for (const QString& typed : {QStringLiteral("a"), QString::fromUtf16(u"\u2192"), QString::fromUtf16(u"\u20AC")})
        QTest::sendKeyEvent(QTest::Click, &edit, Qt::Key_unknown, typed, Qt::NoModifier);
    EXPECT_EQ(edit.Text(), "a\x80");
    EXPECT_EQ(edit.text(), QString::fromUtf16(u"a\u20AC"));
    EXPECT_EQ(log.count(), 2);
    EXPECT_EQ(refused, 1);
    QApplication::clipboard()->setText(QString::fromUtf16(u"\u03A9\U0001F600z"));
    QTest::keySequence(&edit, QKeySequence::Paste);
    EXPECT_EQ(edit.Text(), "a\x80");
    EXPECT_EQ(edit.cursorPosition(), 2);
    EXPECT_EQ(log.count(), 2);
    EXPECT_EQ(refused, 2);
}

// A replacement box keeps one character: its change handler cuts the text
// back and beeps. The edit has to cope with a text set from inside its own
// change event while a key press is being handled.
struct OneCharacterBox {
    explicit OneCharacterBox(TBevelEdit& edit)
    {
        QObject::connect(&edit, &TBevelEdit::OnChange, [this](TBevelEdit* sender) {
            ++events;
            if (sender->Text().size() > 1) {
                sender->SetText(sender->Text().substr(0, 1));
                ++beeps;
            }
        });
    }
    int events = 0;
    int beeps = 0;
};

struct BoxCase {
    const char* name;
    int caret;      // -1: select all
    const char* typed;
    const char* expected;
};

class BevelEditOneCharacterBox : public ::testing::TestWithParam<BoxCase> {};

TEST_P(BevelEditOneCharacterBox, KeepsFirstCharacterAndBeepsOnce)
{
    TBevelEdit edit(nullptr);
    edit.SetText(",");
    OneCharacterBox box(edit);
    if (GetParam().caret < 0)
        edit.selectAll();
    else
        edit.setCursorPosition(GetParam().caret);
    const QString typed = QString::fromLatin1(GetParam().typed);
    if (typed.size() > 1) {
        QApplication::clipboard()->setText(typed);
        QTest::keySequence(&edit, QKeySequence::Paste);
    } else {
        QTest::keyClicks(&edit, typed);
    }
    EXPECT_EQ(edit.Text(), std::string(GetParam().expected));
    const bool tooLong = GetParam().caret >= 0 || typed.size() > 1;
    EXPECT_EQ(box.beeps, tooLong ? 1 : 0);
    EXPECT_EQ(box.events, tooLong ? 2 : 1);
}

INSTANTIATE_TEST_SUITE_P(Table, BevelEditOneCharacterBox,
                         ::testing::Values(BoxCase{"after", 1, ";", ","}, BoxCase{"before", 0, ";", ";"},
                                           BoxCase{"over", -1, ";", ";"}, BoxCase{"paste", -1, "xyz", "x"},
                                           BoxCase{"space", -1, " ", " "}),
                         [](const auto& info) { return std::string(info.param.name); });

struct OverwriteCase {
    const char* name;
    bool overwrite;
    int caret;
    const char* typed;
    const char* expected;
    int events;
};

class BevelEditOverwrite : public ::testing::TestWithParam<OverwriteCase> {};

TEST_P(BevelEditOverwrite, ReplacesCharacterAfterCaretWithOneEventPerKey)
{
    TBevelEdit edit(nullptr);
    edit.SetText("abc");
    edit.SetOverwriteMode(GetParam().overwrite);
    edit.setCursorPosition(GetParam().caret);
    ChangeLog log(edit);
    QTest::keyClicks(&edit, GetParam().typed);
    EXPECT_EQ(edit.Text(), std::string(GetParam().expected));
    EXPECT_EQ(log.count(), GetParam().events);
}

INSTANTIATE_TEST_SUITE_P(Table, BevelEditOverwrite,
                         ::testing::Values(OverwriteCase{"insert", false, 1, "X", "aXbc", 1},
                                           OverwriteCase{"overwrite", true, 1, "X", "aXc", 1},
                                           OverwriteCase{"overwriteTwo", true, 0, "XY", "XYc", 2},
                                           OverwriteCase{"overwritePastEnd", true, 2, "XYZ", "abXYZ", 3},
                                           OverwriteCase{"sameCharacter", true, 0, "a", "abc", 0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(BevelEdit, SelectionAccessorsCountCharacters)
{
    TBevelEdit edit(nullptr);
    edit.SetText("abcdef");
    edit.SetSelStart(2);
    EXPECT_EQ(edit.cursorPosition(), 2);
    edit.SetSelLength(3);
    EXPECT_EQ(edit.SelStart(), 2);
    EXPECT_EQ(edit.SelLength(), 3);
    EXPECT_EQ(edit.selectedText(), QStringLiteral("cde"));
    edit.SetSelLength(100);
    EXPECT_EQ(edit.SelLength(), 4);
    edit.SetSelStart(99);
    EXPECT_EQ(edit.SelStart(), 6);
    EXPECT_EQ(edit.SelLength(), 0);
}

TEST(BevelEdit, TabbingInDoesNotSelectUnlessAutoSelect)
{
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* first = new TBevelEdit(&window);
    auto* second = new TBevelEdit(&window);
    layout->addWidget(first);
    layout->addWidget(second);
    second->SetText("abc");
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    first->setFocus();
    QTest::keyClick(first, Qt::Key_Tab);
    ASSERT_TRUE(second->hasFocus());
    EXPECT_FALSE(second->hasSelectedText());
    second->SetAutoSelect(true);
    QTest::keyClick(second, Qt::Key_Backtab);
    QTest::keyClick(first, Qt::Key_Tab);
    ASSERT_TRUE(second->hasFocus());
    EXPECT_EQ(second->selectedText(), QStringLiteral("abc"));
}

int highlightedPixels(TBevelEdit& edit, const QColor& highlight)
{
    const QImage image = edit.grab().toImage();
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += image.pixel(x, y) == highlight.rgb();
    return count;
}

TEST(BevelEdit, SelectionIsHiddenWithoutFocusUnlessAsked)
{
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* other = new QLineEdit(&window);
    auto* edit = new TBevelEdit(&window);
    layout->addWidget(other);
    layout->addWidget(edit);
    edit->SetText("selected text");
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    const QColor highlight = other->palette().color(QPalette::Active, QPalette::Highlight);
    other->setFocus();
    edit->selectAll();
    EXPECT_TRUE(edit->HideSelection());
    EXPECT_EQ(highlightedPixels(*edit, highlight), 0);
    edit->setFocus();
    EXPECT_GT(highlightedPixels(*edit, highlight), 20);
    other->setFocus();
    EXPECT_EQ(highlightedPixels(*edit, highlight), 0);
    EXPECT_EQ(edit->SelLength(), 13) << "hiding keeps the selection itself";
    edit->SetHideSelection(false);
    EXPECT_GT(highlightedPixels(*edit, highlight), 20);
}

TEST(BevelEdit, DrawsSunkenFrameAroundWhiteBox)
{
    FontSetup::SetUpFonts();
    QWidget window;
    window.resize(300, 60);
    auto* edit = new TBevelEdit(&window);
    edit->setGeometry(10, 10, 265, 21);
    edit->SetText("a, b; c");
    EXPECT_EQ(edit->height(), 21);
    EXPECT_EQ(edit->Bevel()->Mode(), bmWindows);
    window.show();
    const QImage image = edit->grab().toImage();
    const QPalette pal = edit->palette();
    EXPECT_EQ(image.pixel(0, 10), pal.color(QPalette::Dark).rgb());
    EXPECT_EQ(image.pixel(1, 10), pal.color(QPalette::Shadow).rgb());
    EXPECT_EQ(image.pixel(264, 10), pal.color(QPalette::Light).rgb());
    EXPECT_EQ(image.pixel(250, 10), QColor(Qt::white).rgb());
    saveScreenshot(*edit, QStringLiteral("bevel_edit"));
    edit->selectAll();
    edit->setFocus();
    saveScreenshot(*edit, QStringLiteral("bevel_edit_selected"));
    // A replacement box of the separator rows: 25 x 21, one character.
    auto* box = new TBevelEdit(&window);
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(14);
    box->setFont(font);
    box->setGeometry(10, 35, 25, 21);
    box->SetText(",");
    box->show();
    saveScreenshot(*box, QStringLiteral("bevel_edit_replacement_box"));
}

} // namespace
