#include "FontSetup.h"
#include "TFileOpenEdit.h"
#include "TQtFileOpenDialog.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QImage>
#include <QLineEdit>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>

#include "Screenshot.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace {

// A dialog that answers from a script and writes what happens to it into
// a log shared with the test.
struct Script {
    bool confirm = true;
    QString chosen;
    bool throwOnExecute = false;
    std::vector<std::string>* log = nullptr;
    TFileOpenEdit* edit = nullptr;
    // What the dialog was given.
    TOpenOptions options;
    QString title, initialDir, filter, defaultExt;
    bool editHadFocusOnExecute = false;
    bool browsingDuringExecute = false;
};

class ScriptedDialog : public IFileOpenDialog {
public:
    explicit ScriptedDialog(Script& script) : script_(script) { script_.log->push_back("create"); }
    ~ScriptedDialog() override { script_.log->push_back("destroy"); }
    void SetOptions(TOpenOptions options) override { script_.options = options; script_.log->push_back("options"); }
    void SetTitle(const QString& t) override { script_.title = t; script_.log->push_back("title"); }
    void SetInitialDir(const QString& d) override { script_.initialDir = d; script_.log->push_back("dir"); }
    void SetFilter(const QString& f) override { script_.filter = f; script_.log->push_back("filter"); }
    void SetDefaultExt(const QString& e) override { script_.defaultExt = e; script_.log->push_back("ext"); }
    bool Execute(QWidget*) override
    {
        script_.log->push_back("execute");
        script_.editHadFocusOnExecute = script_.edit->hasFocus();
        script_.browsingDuringExecute = script_.edit->Browsing();
        if (script_.throwOnExecute)
            throw std::runtime_error("dialog failed");
        return script_.confirm;
    }
    QString FileName() const override { return script_.chosen; }

private:
    Script& script_;
};

// A window with another box that holds the focus first, and the file box
// wired to the scripted dialog.
struct Fixture {
    Fixture()
    {
        auto* layout = new QVBoxLayout(&window);
        other = new QLineEdit(&window);
        edit = new TFileOpenEdit(&window);
        layout->addWidget(other);
        layout->addWidget(edit);
        script.log = &log;
        script.edit = edit;
        edit->SetDialogFactory([this] { return std::make_unique<ScriptedDialog>(script); });
        QObject::connect(edit, &TFileOpenEdit::OnBeforeBrowse, [this] { log.push_back("before"); });
        QObject::connect(edit, &TBevelEdit::OnChange, [this] {
            log.push_back(edit->Browsing() ? "change(browse)" : "change(typed)");
        });
        QObject::connect(edit, &TFileOpenEdit::OnBrowse, [this] { log.push_back("browse"); });
        window.show();
        window.activateWindow();
        activated = QTest::qWaitForWindowActive(&window);
        other->setFocus();
    }
    QWidget window;
    QLineEdit* other;
    TFileOpenEdit* edit;
    Script script;
    std::vector<std::string> log;
    bool activated = false;
};

using Log = std::vector<std::string>;

struct BrowseCase {
    const char* name;
    const char* before;
    bool confirm;
    const char* chosen;
    const char* after;
    Log log;
};

class FileOpenEditBrowse : public ::testing::TestWithParam<BrowseCase> {};

TEST_P(FileOpenEditBrowse, RunsInOrderWithAtMostOneChange)
{
    Fixture f;
    ASSERT_TRUE(f.activated);
    // The dialog answers with "/"; the box shows the system's separators.
    f.edit->SetFilename(QDir::toNativeSeparators(QString::fromUtf8(GetParam().before)));
    f.log.clear();
    f.script.confirm = GetParam().confirm;
    f.script.chosen = QString::fromUtf8(GetParam().chosen);
    QTest::mouseClick(f.edit->BrowseButton(), Qt::LeftButton);
    EXPECT_EQ(f.log, GetParam().log);
    EXPECT_EQ(f.edit->Filename(), QDir::toNativeSeparators(QString::fromUtf8(GetParam().after)));
    EXPECT_TRUE(f.script.editHadFocusOnExecute) << "the box takes the focus before the dialog";
    EXPECT_TRUE(f.script.browsingDuringExecute);
    EXPECT_FALSE(f.edit->Browsing());
}

const Log kConfigured = {"before", "create", "options", "title", "dir", "filter", "ext", "execute"};

Log with(Log head, std::initializer_list<std::string> tail)
{
    head.insert(head.end(), tail);
    return head;
}

INSTANTIATE_TEST_SUITE_P(
    Table, FileOpenEditBrowse,
    ::testing::Values(
        BrowseCase{"other", "/data/a.pe", true, "/data/b.pe", "/data/b.pe",
                   with(kConfigured, {"change(browse)", "destroy", "browse"})},
        BrowseCase{"fromEmpty", "", true, "/data/b.pe", "/data/b.pe",
                   with(kConfigured, {"change(browse)", "destroy", "browse"})},
        BrowseCase{"same", "/data/a.pe", true, "/data/a.pe", "/data/a.pe",
                   with(kConfigured, {"destroy", "browse"})},
        BrowseCase{"cancel", "/data/a.pe", false, "/data/b.pe", "/data/a.pe",
                   with(kConfigured, {"destroy", "browse"})},
        BrowseCase{"nonLatin", "x", true, "/data/\xce\xa9mega/\xe2\x82\xac.pe",
                   "/data/\xce\xa9mega/\xe2\x82\xac.pe",
                   with(kConfigured, {"change(browse)", "destroy", "browse"})}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FileOpenEdit, DialogGetsTheBoxSettings)
{
    Fixture f;
    EXPECT_EQ(f.edit->Options(), TOpenOptions(ofHideReadOnly));
    f.edit->SetOptions(ofHideReadOnly | ofPathMustExist | ofFileMustExist);
    f.edit->SetTitle(QStringLiteral("Pick"));
    f.edit->SetInitialDir(QStringLiteral("/tmp"));
    f.edit->SetFilter(QStringLiteral("PE|*.pe"));
    f.edit->SetDefaultExt(QStringLiteral("pe"));
    f.script.confirm = false;
    f.edit->Browse();
    EXPECT_EQ(f.script.options, ofHideReadOnly | ofPathMustExist | ofFileMustExist);
    EXPECT_EQ(f.script.title, QStringLiteral("Pick"));
    EXPECT_EQ(f.script.initialDir, QStringLiteral("/tmp"));
    EXPECT_EQ(f.script.filter, QStringLiteral("PE|*.pe"));
    EXPECT_EQ(f.script.defaultExt, QStringLiteral("pe"));
}

TEST(FileOpenEdit, DialogIsDestroyedWhenItFails)
{
    Fixture f;
    f.script.throwOnExecute = true;
    EXPECT_THROW(f.edit->Browse(), std::runtime_error);
    EXPECT_EQ(f.log.back(), "destroy");
    EXPECT_FALSE(f.edit->Browsing());
}

TEST(FileOpenEdit, TypedChangeIsNotABrowse)
{
    Fixture f;
    ASSERT_TRUE(f.activated);
    f.edit->setFocus();
    QTest::keyClicks(f.edit, "ab");
    QTest::keyClick(f.edit, Qt::Key_Backspace);
    EXPECT_EQ(f.log, (Log{"change(typed)", "change(typed)", "change(typed)"}));
    EXPECT_EQ(f.edit->Filename(), QStringLiteral("a"));
}

TEST(FileOpenEdit, PastedPathInDoubleQuotesIsTakenWithoutThem)
{
    const struct {
        const char* pasted;
        const char* taken;
    } cases[] = {
        {"\"C:\\data\\run 1.pe\"", "C:\\data\\run 1.pe"},
        {" \"/data/run 1.pe\" ", "/data/run 1.pe"},
        {"\"a\"b\"", "\"a\"b\""},
        {"\"", "\""},
    };
    for (const auto& c : cases) {
        Fixture f;
        ASSERT_TRUE(f.activated);
        f.edit->setFocus();
        QApplication::clipboard()->setText(QString::fromUtf8(c.pasted));
        QTest::keyClick(f.edit, Qt::Key_V, Qt::ControlModifier);
        EXPECT_EQ(f.edit->Filename(), QString::fromUtf8(c.taken)) << c.pasted;
        EXPECT_EQ(f.log, (Log{"change(typed)"})) << c.pasted;
    }
}

TEST(FileOpenEdit, FilenameWritesTheTextWithOneChange)
{
    Fixture f;
    f.edit->SetFilename(QStringLiteral("/a/b.pe"));
    f.edit->SetFilename(QStringLiteral("/a/b.pe"));
    EXPECT_EQ(f.log, (Log{"change(typed)"}));
    EXPECT_EQ(f.edit->text(), QStringLiteral("/a/b.pe"));
    EXPECT_EQ(f.edit->cursorPosition(), 0);
}

TEST(FileOpenEdit, LayoutLeavesTheButtonTheRightEighteenPixels)
{
    QWidget window;
    window.resize(427, 100);
    TFileOpenEdit edit(&window);
    edit.setGeometry(18, 32, 391, 21);
    window.show();
    EXPECT_EQ(edit.BrowseButton()->geometry(), QRect(371, 2, 18, 17));
    const QMargins m = edit.textMargins();
    EXPECT_EQ(391 - m.left() - m.right(), 368);
    edit.SetCustomButtonWidth(16);
    EXPECT_EQ(edit.BrowseButton()->geometry(), QRect(373, 2, 16, 17));
    edit.resize(200, 21);
    EXPECT_EQ(edit.BrowseButton()->geometry(), QRect(182, 2, 16, 17));
}

TEST(FileOpenEdit, CaretAndViewReturnToStartOnFocusLoss)
{
    Fixture f;
    ASSERT_TRUE(f.activated);
    f.edit->setGeometry(0, 0, 120, 21);
    f.edit->setFocus();
    QTest::keyClicks(f.edit, "/a/very/long/path/that/does/not/fit/into/the/box.pe");
    EXPECT_GT(f.edit->cursorPosition(), 0);
    const QImage scrolled = f.edit->grab().toImage();
    f.other->setFocus();
    EXPECT_EQ(f.edit->cursorPosition(), 0);
    EXPECT_FALSE(f.edit->hasSelectedText());
    // The view shows the start again: the picture is not the scrolled one.
    EXPECT_NE(f.edit->grab().toImage(), scrolled);
}

TEST(FileOpenEdit, MinimizeNameShowsShortenedPathButKeepsTheFullName)
{
    Fixture f;
    ASSERT_TRUE(f.activated);
    f.edit->setFixedWidth(160);
    const QString full = QStringLiteral("/home/user/measurements/2024/march/week-12/station-4.pe");
    f.edit->SetMinimizeName(true);
    f.edit->SetFilename(full);
    EXPECT_EQ(f.edit->Filename(), full);
    EXPECT_TRUE(f.edit->text().contains(QStringLiteral("...")));
    EXPECT_TRUE(f.edit->text().endsWith(QStringLiteral("/station-4.pe")));
    f.edit->setFocus();
    EXPECT_EQ(f.edit->text(), full);
    f.other->setFocus();
    EXPECT_NE(f.edit->text(), full);
    EXPECT_EQ(f.edit->Filename(), full);
    EXPECT_EQ(f.log, (Log{"change(typed)"}));
}

TEST(FileOpenEdit, FolderGlyphIsFourteenByThirteenWithTransparentBackground)
{
    const QImage glyph = TFileOpenEdit::FolderGlyph().toImage();
    EXPECT_EQ(glyph.size(), QSize(14, 13));
    EXPECT_EQ(glyph.pixelColor(0, 0).alpha(), 0);
    int black = 0, yellow = 0, white = 0, olive = 0;
    for (int y = 0; y < glyph.height(); ++y) {
        for (int x = 0; x < glyph.width(); ++x) {
            const QColor c = glyph.pixelColor(x, y);
            black += c == QColor(Qt::black);
            yellow += c == QColor(255, 255, 0);
            white += c == QColor(Qt::white);
            olive += c == QColor(128, 128, 0);
        }
    }
    EXPECT_GT(black, 20);
    EXPECT_GT(yellow, 5);
    EXPECT_GT(white, 5);
    EXPECT_GT(olive, 20);
}

TEST(FileOpenEdit, Screenshots)
{
    FontSetup::SetUpFonts();
    QWidget window;
    window.resize(427, 60);
    TFileOpenEdit edit(&window);
    edit.setGeometry(18, 20, 391, 21);
    window.show();
    saveScreenshot(edit, QStringLiteral("file_open_edit_empty"));
    edit.SetFilename(QStringLiteral("/home/user/measurements/2024/march/station-4 long name.pe"));
    saveScreenshot(edit, QStringLiteral("file_open_edit_path"));
    edit.setEnabled(false);
    saveScreenshot(edit, QStringLiteral("file_open_edit_disabled"));
}

struct FilterCase {
    const char* filter;
    QStringList expected;
};

class QtDialogFilters : public ::testing::TestWithParam<FilterCase> {};

TEST_P(QtDialogFilters, BecomeQtNameFilters)
{
    EXPECT_EQ(TQtFileOpenDialog::NameFilters(QString::fromUtf8(GetParam().filter)), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, QtDialogFilters,
    ::testing::Values(FilterCase{"", {}},
                      FilterCase{"PE files|*.pe", {"PE files (*.pe)"}},
                      FilterCase{"Text|*.txt;*.log|All files (*.*)|*.*",
                                 {"Text (*.txt *.log)", "All files (*.*)"}},
                      FilterCase{"Morvane settings (*.ini)|*.ini", {"Morvane settings (*.ini)"}},
                      FilterCase{"|*.csv", {"*.csv (*.csv)"}},
                      FilterCase{"Dangling", {}},
                      FilterCase{"Empty|", {}}));

struct ModeCase {
    TOpenOptions options;
    QFileDialog::FileMode mode;
};

class QtDialogOptions : public ::testing::TestWithParam<ModeCase> {};

TEST_P(QtDialogOptions, MustExistMeansAnExistingFile)
{
    TQtFileOpenDialog dialog;
    dialog.SetOptions(GetParam().options);
    QFileDialog qt;
    dialog.Configure(qt);
    EXPECT_EQ(qt.fileMode(), GetParam().mode);
    EXPECT_EQ(qt.acceptMode(), QFileDialog::AcceptOpen);
}

INSTANTIATE_TEST_SUITE_P(
    Table, QtDialogOptions,
    ::testing::Values(ModeCase{ofHideReadOnly, QFileDialog::AnyFile},
                      ModeCase{ofHideReadOnly | ofPathMustExist | ofFileMustExist, QFileDialog::ExistingFile},
                      ModeCase{ofPathMustExist, QFileDialog::ExistingFile},
                      ModeCase{ofFileMustExist, QFileDialog::ExistingFile},
                      ModeCase{ofAllowMultiSelect | ofFileMustExist, QFileDialog::ExistingFiles}));

TEST(QtDialog, TitleFolderFilterAndExtensionReachTheDialog)
{
    TQtFileOpenDialog dialog;
    dialog.SetTitle(QStringLiteral("Open PE file"));
    dialog.SetInitialDir(QDir::tempPath());
    dialog.SetFilter(QStringLiteral("PE|*.pe"));
    dialog.SetDefaultExt(QStringLiteral(".pe"));
    QFileDialog qt;
    dialog.Configure(qt);
    EXPECT_EQ(qt.windowTitle(), QStringLiteral("Open PE file"));
    EXPECT_EQ(QDir(qt.directory()).canonicalPath(), QDir(QDir::tempPath()).canonicalPath());
    EXPECT_EQ(qt.nameFilters(), QStringList{QStringLiteral("PE (*.pe)")});
    EXPECT_EQ(qt.defaultSuffix(), QStringLiteral("pe"));
}

} // namespace
