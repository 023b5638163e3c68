#include "WindowFixture.h"

#include "IFileOpenDialog.h"
#include "TFileOpenEdit.h"
#include "TStyledPageControl.h"
#include "TStyledTabBar.h"

#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QFile>
#include <QTabBar>
#include <QTest>
#include <QToolButton>

namespace {

class ScriptedOpenDialog : public IFileOpenDialog {
public:
    explicit ScriptedOpenDialog(QString answer) : answer_(std::move(answer)) {}
    void SetOptions(TOpenOptions) override {}
    void SetTitle(const QString&) override {}
    void SetInitialDir(const QString&) override {}
    void SetFilter(const QString&) override {}
    void SetDefaultExt(const QString&) override {}
    bool Execute(QWidget*) override { return true; }
    QString FileName() const override { return answer_; }

private:
    QString answer_;
};

} // namespace

void WindowFixture::SetUp()
{
    ASSERT_TRUE(dir_.isValid());
    // The proposed name must land beside the PE file whatever the current
    // folder is, so the tests run from somewhere else.
    oldCurrent_ = QDir::currentPath();
    QDir::setCurrent(QDir::tempPath());
    NewWindow();
}

void WindowFixture::TearDown()
{
    window_.reset();
    QDir::setCurrent(oldCurrent_);
}

void WindowFixture::NewWindow()
{
    window_.reset();
    platform_.Clear();
    window_ = std::make_unique<TfMain>();
    window_->show();
    window_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
}

QString WindowFixture::WritePe(const QString& name, const std::string& bytes)
{
    const QString path = dir_.filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes.data(), static_cast<qint64>(bytes.size()));
    return path;
}

std::string WindowFixture::ReadAll(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "<missing>";
    return file.readAll().toStdString();
}

void WindowFixture::ChooseThroughDialog(const QString& path)
{
    window_->FileOpenEdit1->SetDialogFactory(
        [path] { return std::make_unique<ScriptedOpenDialog>(path); });
    QTest::mouseClick(window_->FileOpenEdit1->BrowseButton(), Qt::LeftButton);
    Settle();
}

void WindowFixture::ClickTab(int index)
{
    QTabBar* bar = window_->PageControl1->StyledTabBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index).center());
    Settle();
}

void WindowFixture::ClickInto(QWidget* widget)
{
    QTest::mouseClick(widget, Qt::LeftButton, {}, QPoint(4, widget->height() / 2));
    Settle();
}

void WindowFixture::Type(const QString& text)
{
    for (const QChar c : text) {
        QWidget* target = Focus();
        ASSERT_NE(target, nullptr);
        if (c.unicode() < 128) {
            QTest::keyClicks(target, QString(c));
            continue;
        }
        // Beyond ASCII there is no key code; the character comes as text, as
        // from an input method.
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(target, &press);
        QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(target, &release);
    }
    Settle();
}

void WindowFixture::PressKey(Qt::Key key, Qt::KeyboardModifiers modifiers)
{
    QWidget* target = Focus();
    ASSERT_NE(target, nullptr);
    QTest::keyClick(target, key, modifiers);
    Settle();
}

void WindowFixture::Settle()
{
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
}

QWidget* WindowFixture::Focus() const
{
    return QApplication::focusWidget();
}

QString WindowFixture::FocusName() const
{
    const QWidget* focus = Focus();
    if (!focus)
        return QStringLiteral("<none>");
    if (!focus->objectName().isEmpty())
        return focus->objectName();
    const TfMain& w = *window_;
    for (std::size_t k = 0; k < w.HeaderEdits().size(); ++k)
        if (w.HeaderEdits()[k] == focus)
            return QStringLiteral("HeaderEdits[%1]").arg(k);
    for (std::size_t k = 0; k < w.LineEdits().size(); ++k)
        if (w.LineEdits()[k] == focus)
            return QStringLiteral("LineEdits[%1]").arg(k);
    return QString::fromLatin1(focus->metaObject()->className());
}

int WindowFixture::ActivePage() const
{
    return window_->PageControl1->ActivePageIndex();
}

void WindowFixture::Screenshot(const QString& name) const
{
    const QString folder = QStringLiteral(MORVANE_BINARY_DIR "/screenshots");
    QDir().mkpath(folder);
    window_->grab().save(folder + QStringLiteral("/ui_") + name + QStringLiteral(".png"));
}
