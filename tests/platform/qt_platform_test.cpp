#include "TQtPlatform.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace {

// Runs `look` on the modal widget once it is open, then lets `close` end it;
// the platform call under test blocks meanwhile in its own loop.
void WhenModalOpens(std::function<void(QWidget*)> look)
{
    auto* timer = new QTimer(QCoreApplication::instance());
    timer->setInterval(10);
    int attempts = 0;
    QObject::connect(timer, &QTimer::timeout, timer, [timer, look, attempts]() mutable {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr && ++attempts < 500)
            return;
        timer->stop();
        timer->deleteLater();
        look(modal);
    });
    timer->start();
}

struct TBoxCase {
    const char* name;
    IPlatform::TMessageStyle style;
    QMessageBox::Icon icon;
};

class QtMessageBox : public ::testing::TestWithParam<TBoxCase> {};

TEST_P(QtMessageBox, ShowsCaptionIconTextAndOneOkButton)
{
    TQtPlatform platform;
    QString title;
    QString text;
    Qt::TextFormat format = Qt::AutoText;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    int buttons = 0;
    bool found = false;
    QString okText;
    WhenModalOpens([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        found = true;
        title = box->windowTitle();
        text = box->text();
        format = box->textFormat();
        icon = box->icon();
        buttons = static_cast<int>(box->buttons().size());
        if (QAbstractButton* ok = box->button(QMessageBox::Ok)) {
            okText = ok->text();
            ok->click();
        } else {
            box->close();
        }
    });
    const IPlatform::TButton pressed =
        platform.MessageBox(nullptr, QStringLiteral("<b>12:3x</b> is not a valid time."),
                            QStringLiteral("Morvane (Halvik Control PE to Ostral)"), GetParam().style);
    ASSERT_TRUE(found);
    EXPECT_EQ(pressed, IPlatform::TButton::Ok);
    EXPECT_EQ(title, QStringLiteral("Morvane (Halvik Control PE to Ostral)"));
    EXPECT_EQ(text, QStringLiteral("<b>12:3x</b> is not a valid time."));
    EXPECT_EQ(format, Qt::PlainText);
    EXPECT_EQ(icon, GetParam().icon);
    EXPECT_EQ(buttons, 1);
    EXPECT_EQ(okText.remove(QLatin1Char('&')), QStringLiteral("OK"));
}

INSTANTIATE_TEST_SUITE_P(
    Styles, QtMessageBox,
    ::testing::Values(TBoxCase{"Error", IPlatform::TMessageStyle::Error, QMessageBox::Critical},
                      TBoxCase{"Information", IPlatform::TMessageStyle::Information, QMessageBox::Information}),
    [](const ::testing::TestParamInfo<TBoxCase>& info) { return std::string(info.param.name); });

TEST(QtMessageBox, EscapeClosesTheBox)
{
    TQtPlatform platform;
    bool found = false;
    WhenModalOpens([&](QWidget* modal) {
        found = modal != nullptr;
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            EXPECT_EQ(box->escapeButton(), box->button(QMessageBox::Ok));
        }
        if (modal != nullptr)
            modal->close();
    });
    platform.MessageBox(nullptr, QStringLiteral("x"), QStringLiteral("Information"),
                        IPlatform::TMessageStyle::Information);
    EXPECT_TRUE(found);
}

// The answer is the button pressed; Enter takes the first, and whatever
// merely closes the box takes the last, the one that changes nothing.
TEST(QtQuestionBox, AnswersWithTheButtonPressedEnterTheFirstAndEscOrCloseTheLast)
{
    struct Case {
        const char* name;
        std::function<void(QMessageBox*)> answer;
        int expected;
    };
    const Case cases[] = {
        {"Second",
         [](QMessageBox* box) {
             for (QAbstractButton* button : box->buttons()) {
                 if (button->text() == QStringLiteral("&Skip those"))
                     button->click();
             }
         },
         1},
        {"Enter", [](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Return); }, 0},
        {"Esc", [](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Escape); }, 2},
        {"Close", [](QMessageBox* box) { box->close(); }, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TQtPlatform platform;
        QStringList shown;
        WhenModalOpens([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            ASSERT_NE(box, nullptr);
            for (const QAbstractButton* button : box->buttons())
                shown.append(button->text());
            c.answer(box);
        });
        const QStringList buttons = {QStringLiteral("&Replace"), QStringLiteral("&Skip those"),
                                     QStringLiteral("Cancel")};
        EXPECT_EQ(platform.Ask(nullptr, QStringLiteral("5 of the 12 outputs exist. Replace them?"),
                               QStringLiteral("Morvane"), buttons),
                  c.expected);
        shown.sort();
        QStringList sorted = buttons;
        sorted.sort();
        EXPECT_EQ(shown, sorted);
    }
}

TEST(QtMessageBox, InformationBoxIsCentredOnTheScreenNotOnItsWindow)
{
    TQtPlatform platform;
    QWidget window;
    window.setGeometry(0, 0, 427, 398);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const QPoint screenCentre = window.screen()->availableGeometry().center();
    ASSERT_GT((screenCentre - window.geometry().center()).manhattanLength(), 100);
    QPoint boxCentre;
    WhenModalOpens([&](QWidget* modal) {
        ASSERT_NE(modal, nullptr);
        boxCentre = modal->geometry().center();
        modal->close();
    });
    platform.MessageBox(&window, QStringLiteral("please choose a seperator char first!"),
                        QStringLiteral("Information"), IPlatform::TMessageStyle::Information);
    EXPECT_LE((boxCentre - screenCentre).manhattanLength(), 4)
        << boxCentre.x() << "," << boxCentre.y() << " screen centre " << screenCentre.x() << ","
        << screenCentre.y();
}

TEST(QtLastResortBox, HasNoOwnerAndTheErrorIcon)
{
    TQtPlatform platform;
    QString title;
    QWidget* owner = reinterpret_cast<QWidget*>(1);
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    WhenModalOpens([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        title = box->windowTitle();
        owner = box->parentWidget();
        icon = box->icon();
        box->button(QMessageBox::Ok)->click();
    });
    platform.LastResortBox(QStringLiteral("Exception E in module m at 00000000.\r\n\r\n"),
                           QStringLiteral("Application Error"));
    EXPECT_EQ(title, QStringLiteral("Application Error"));
    EXPECT_EQ(owner, nullptr);
    EXPECT_EQ(icon, QMessageBox::Critical);
}

// Types a name into the dialog as a user would (the dialog's own selection
// follows its folder listing, which is loaded in the background).
void TypeFileName(QFileDialog* dialog, const QString& path)
{
    if (auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
        edit->setText(path);
    else
        dialog->selectFile(path);
}

// Confirms the dialog; should it refuse, it is cancelled so the test fails
// instead of waiting forever.
void AcceptOrGiveUp(QFileDialog* dialog)
{
    static_cast<QDialog*>(dialog)->accept();
    if (dialog->isVisible())
        dialog->reject();
}

class QtSaveDialog : public ::testing::Test {
protected:
    TQtPlatform platform;
    QTemporaryDir dir;
};

TEST_F(QtSaveDialog, IsASaveDialogWithoutFilterThatAsksBeforeAnExistingFileAndReturnsTheChosenPath)
{
    ASSERT_TRUE(dir.isValid());
    const QString start = dir.filePath(QStringLiteral("run1 (XLS).csv"));
    const QString chosen = dir.filePath(QStringLiteral("chosen.csv"));
    bool found = false;
    WhenModalOpens([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        found = true;
        EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);
        // Choosing a file that is there asks before the run replaces it.
        EXPECT_FALSE(dialog->testOption(QFileDialog::DontConfirmOverwrite));
        EXPECT_FALSE(dialog->testOption(QFileDialog::ReadOnly));
        EXPECT_FALSE(dialog->windowTitle().isEmpty());
        EXPECT_EQ(dialog->defaultSuffix(), QString());
        EXPECT_LE(dialog->nameFilters().size(), 1);
        EXPECT_TRUE(dialog->isSizeGripEnabled());
        EXPECT_EQ(dialog->selectedFiles().value(0), start);
        TypeFileName(dialog, chosen);
        AcceptOrGiveUp(dialog);
    });
    IPlatform::TSaveDialogRequest request;
    request.FileName = start;
    // The chosen path comes back with the system's separators.
    EXPECT_EQ(platform.SaveFileName(nullptr, request), std::optional<QString>(QDir::toNativeSeparators(chosen)));
    EXPECT_TRUE(found);
}

// A settings file chosen in one dialog was once proposed by the output's,
// whose Enter then put CSV data into it.
TEST_F(QtSaveDialog, StartsWithOnlyTheNameItIsGivenNeverTheLastChosenAndCancelReturnsNothing)
{
    ASSERT_TRUE(dir.isValid());
    const QString chosen = dir.filePath(QStringLiteral("first.csv"));
    WhenModalOpens([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        AcceptOrGiveUp(dialog);
    });
    IPlatform::TSaveDialogRequest first;
    first.FileName = chosen;
    ASSERT_EQ(platform.SaveFileName(nullptr, first), std::optional<QString>(QDir::toNativeSeparators(chosen)));

    QString startedWith;
    WhenModalOpens([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        const auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        startedWith = name ? name->text() : dialog->selectedFiles().value(0);
        dialog->reject();
    });
    EXPECT_EQ(platform.SaveFileName(nullptr, {}), std::nullopt);
    EXPECT_EQ(startedWith, QString());
}

TEST(QtRememberedFolders, OutliveThePlatformObjectEachFolderApart)
{
    QTemporaryDir config;
    ASSERT_TRUE(config.isValid());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, config.path());
    {
        TQtPlatform session;
        EXPECT_EQ(session.RememberedFolder(IPlatform::TFolder::PeFile), QString());
        session.RememberFolder(IPlatform::TFolder::PeFile, QStringLiteral("/data/runs"));
        session.RememberFolder(IPlatform::TFolder::Output, QStringLiteral("/data/csv"));
    }
    EXPECT_TRUE(QFileInfo::exists(config.filePath(QStringLiteral("morvane/morvane.ini"))));
    TQtPlatform next;
    EXPECT_EQ(next.RememberedFolder(IPlatform::TFolder::PeFile), QStringLiteral("/data/runs"));
    EXPECT_EQ(next.RememberedFolder(IPlatform::TFolder::Output), QStringLiteral("/data/csv"));
    // The remembered settings go beside them.
    EXPECT_EQ(next.ConfigurationFolder(), QFileInfo(config.filePath(QStringLiteral("morvane"))).absoluteFilePath());
}

} // namespace
