#include "ErrorReporting.h"
#include "FakePlatform.h"
#include "TApplication.h"

#include "EConvertError.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <stdexcept>

namespace {

struct THandlerCase {
    const char* name;
    std::function<void()> raise;
    QString shown;
};

class HandlerError : public ::testing::TestWithParam<THandlerCase> {};

// A click whose handler fails shows exactly one error box, and the window
// goes on working: the next click runs the handler again.
TEST_P(HandlerError, ReachesOneErrorBoxAndTheProgramCarriesOn)
{
    FakePlatform platform(true);
    QPushButton button(QStringLiteral("&Go"));
    int runs = 0;
    QObject::connect(&button, &QPushButton::clicked, [&] {
        ++runs;
        GetParam().raise();
    });
    button.show();

    QTest::mouseClick(&button, Qt::LeftButton);
    ASSERT_EQ(platform.MessageBoxes.size(), 1u);
    EXPECT_EQ(platform.MessageBoxes[0].Caption, QStringLiteral("Morvane (Halvik Control PE to Ostral)"));
    EXPECT_EQ(platform.MessageBoxes[0].Text, GetParam().shown);
    EXPECT_EQ(platform.MessageBoxes[0].Style, IPlatform::TMessageStyle::Error);
    EXPECT_TRUE(platform.LastResortBoxes.empty());
    EXPECT_FALSE(button.isDown());

    QTest::mouseClick(&button, Qt::LeftButton);
    EXPECT_EQ(runs, 2);
    EXPECT_EQ(platform.MessageBoxes.size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(
    Errors, HandlerError,
    ::testing::Values(
        THandlerCase{"ConvertError", [] { throw morvane::EConvertError("'12:3x:00' is not a valid time"); },
                     QStringLiteral("'12:3x:00' is not a valid time.")},
        THandlerCase{"MessageWithOwnFullStop", [] { throw morvane::Exception("Cannot write /tmp/x: disk full."); },
                     QStringLiteral("Cannot write /tmp/x: disk full.")},
        THandlerCase{"OutOfMemory", [] { throw std::bad_alloc(); }, QStringLiteral("Out of memory.")},
        THandlerCase{"LibraryError", [] { throw std::runtime_error("vector too long"); },
                     QStringLiteral("vector too long.")},
        THandlerCase{"Windows1252Bytes", [] { throw morvane::Exception("'\xB5s' is not a valid time"); },
                     QString::fromUtf8("'µs' is not a valid time.")}),
    [](const ::testing::TestParamInfo<THandlerCase>& info) { return std::string(info.param.name); });

// A guarded handler reports its error itself, so the click's delivery is not
// cut short: the slots connected after it still run.
TEST(GuardedHandler, ReportsAtTheHandlerAndLetsTheRestOfTheClickRun)
{
    FakePlatform platform(true);
    QPushButton button;
    int later = 0;
    QObject::connect(&button, &QPushButton::clicked, &button, GuardedHandler(&button, [] {
        throw morvane::EConvertError("'7:6x' is not a valid time");
    }));
    QObject::connect(&button, &QPushButton::clicked, [&] { ++later; });
    button.show();

    QTest::mouseClick(&button, Qt::LeftButton);
    QTest::mouseClick(&button, Qt::LeftButton);
    EXPECT_EQ(later, 2);
    ASSERT_EQ(platform.MessageBoxes.size(), 2u);
    EXPECT_EQ(platform.MessageBoxes[1].Text, QStringLiteral("'7:6x' is not a valid time."));
    EXPECT_EQ(platform.MessageBoxes[1].Caption, QStringLiteral("Morvane (Halvik Control PE to Ostral)"));
}

TEST(GuardedHandler, PassesAQuietRunThrough)
{
    FakePlatform platform(true);
    int runs = 0;
    auto handler = GuardedHandler(nullptr, [&] { ++runs; });
    handler();
    handler();
    EXPECT_EQ(runs, 2);
    EXPECT_TRUE(platform.MessageBoxes.empty());
}

TEST(HandlerError, ObjectThatIsNoErrorGetsTheLastResortBoxOnly)
{
    FakePlatform platform(true);
    QPushButton button;
    QObject::connect(&button, &QPushButton::clicked, [] { throw 42; });
    button.show();

    QTest::mouseClick(&button, Qt::LeftButton);
    EXPECT_TRUE(platform.MessageBoxes.empty());
    ASSERT_EQ(platform.LastResortBoxes.size(), 1u);
    EXPECT_EQ(platform.LastResortBoxes[0].Caption, QStringLiteral("Application Error"));
    EXPECT_TRUE(platform.LastResortBoxes[0].Text.startsWith(QStringLiteral("Exception int in module ")))
        << platform.LastResortBoxes[0].Text.toStdString();
    EXPECT_TRUE(platform.LastResortBoxes[0].Text.endsWith(QStringLiteral(".\r\n\r\n")));
}

TEST(HandlerError, ErrorInATimerDuringTheLoopIsReportedAndTheLoopGoesOn)
{
    FakePlatform platform(true);
    QEventLoop loop;
    bool later = false;
    QTimer::singleShot(0, [] { throw morvane::Exception("timer failed"); });
    QTimer::singleShot(20, [&] {
        later = true;
        loop.quit();
    });
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, &loop, &QEventLoop::quit);
    guard.start(10000);
    loop.exec();
    EXPECT_TRUE(later);
    ASSERT_EQ(platform.MessageBoxes.size(), 1u);
    EXPECT_EQ(platform.MessageBoxes[0].Text, QStringLiteral("timer failed."));
}

TEST(ReportError, CancelsTheMouseCaptureBeforeTheBox)
{
    FakePlatform platform(true);
    QWidget window;
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.grabMouse();
    ASSERT_EQ(QWidget::mouseGrabber(), &window);
    QWidget* grabberWhileOpen = &window;
    platform.OnMessageBox = [&](const FakePlatform::TMessageBoxCall&) {
        grabberWhileOpen = QWidget::mouseGrabber();
    };
    ReportError(&window, std::make_exception_ptr(morvane::Exception("x")));
    ASSERT_EQ(platform.MessageBoxes.size(), 1u);
    EXPECT_EQ(grabberWhileOpen, nullptr);
}

TEST(ReportError, BoxBelongsToTheActiveWindow)
{
    FakePlatform platform(true);
    QWidget window;
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    ReportError(nullptr, std::make_exception_ptr(morvane::Exception("x")));
    ASSERT_EQ(platform.MessageBoxes.size(), 1u);
    EXPECT_EQ(platform.MessageBoxes[0].Parent, &window);
    EXPECT_EQ(QApplication::activeWindow(), &window);
}

TEST(ReportError, EmptyMessageShowsAnEmptyBox)
{
    FakePlatform platform(true);
    ReportError(nullptr, std::make_exception_ptr(morvane::Exception("")));
    ASSERT_EQ(platform.MessageBoxes.size(), 1u);
    EXPECT_EQ(platform.MessageBoxes[0].Text, QString());
}

// A handler that fails again while its box is open (a paint handler, say)
// must not stack box upon box; a different error still gets its own box.
TEST(ReportError, SameErrorWhileItsBoxIsOpenOpensNoSecondBox)
{
    FakePlatform platform(true);
    int depth = 0;
    platform.OnMessageBox = [&](const FakePlatform::TMessageBoxCall&) {
        if (++depth > 5)
            return;
        ReportError(nullptr, std::make_exception_ptr(morvane::Exception("paint failed")));
        ReportError(nullptr, std::make_exception_ptr(morvane::Exception("other")));
    };
    ReportError(nullptr, std::make_exception_ptr(morvane::Exception("paint failed")));
    ASSERT_EQ(platform.MessageBoxes.size(), 2u);
    EXPECT_EQ(platform.MessageBoxes[0].Text, QStringLiteral("paint failed."));
    EXPECT_EQ(platform.MessageBoxes[1].Text, QStringLiteral("other."));

    // Once closed, the same error opens its box again.
    platform.OnMessageBox = nullptr;
    ReportError(nullptr, std::make_exception_ptr(morvane::Exception("paint failed")));
    EXPECT_EQ(platform.MessageBoxes.size(), 3u);
}

TEST(ReportError, SurvivesABoxThatFails)
{
    FakePlatform platform(true);
    platform.OnMessageBox = [](const FakePlatform::TMessageBoxCall&) { throw std::bad_alloc(); };
    ReportError(nullptr, std::make_exception_ptr(morvane::Exception("x")));
    EXPECT_EQ(platform.MessageBoxes.size(), 1u);
}

TEST(RunWithLastResort, ErrorEscapingGivesTheLastResortBoxAndExitCodeOne)
{
    FakePlatform platform(true);
    const int code = RunWithLastResort([]() -> int { throw morvane::EConvertError("start-up failed"); });
    EXPECT_EQ(code, 1);
    EXPECT_TRUE(platform.MessageBoxes.empty());
    ASSERT_EQ(platform.LastResortBoxes.size(), 1u);
    const QString text = platform.LastResortBoxes[0].Text;
    EXPECT_TRUE(text.startsWith(QStringLiteral("Exception EConvertError in module "))) << text.toStdString();
    EXPECT_TRUE(text.endsWith(QStringLiteral(".\r\nstart-up failed.\r\n"))) << text.toStdString();
    // The error arose in the program's own file, named without its folder.
    const QString module = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    EXPECT_EQ(text.section(QLatin1Char(' '), 4, 4), module) << text.toStdString();
}

TEST(RunWithLastResort, NormalEndPassesTheResultOn)
{
    FakePlatform platform(true);
    EXPECT_EQ(RunWithLastResort([] { return 7; }), 7);
    EXPECT_TRUE(platform.LastResortBoxes.empty());
}

TEST(FakePlatform, PutsThePreviousPlatformBackWhenDestroyed)
{
    IPlatform* before = &CurrentPlatform();
    {
        FakePlatform platform(true);
        EXPECT_EQ(&CurrentPlatform(), &platform);
        {
            FakePlatform inner(true);
            EXPECT_EQ(&CurrentPlatform(), &inner);
        }
        EXPECT_EQ(&CurrentPlatform(), &platform);
    }
    EXPECT_EQ(&CurrentPlatform(), before);
}

TEST(FakePlatform, AnswersTheSaveDialogFromItsScriptThenCancels)
{
    FakePlatform platform;
    platform.QueueSaveAnswer(QStringLiteral("/tmp/out.csv"));
    platform.QueueSaveAnswer(std::nullopt);
    IPlatform::TSaveDialogRequest request;
    request.FileName = QStringLiteral("run1 (XLS).csv");
    EXPECT_EQ(platform.SaveFileName(nullptr, request), std::optional<QString>(QStringLiteral("/tmp/out.csv")));
    EXPECT_EQ(platform.SaveFileName(nullptr, request), std::nullopt);
    EXPECT_EQ(platform.SaveFileName(nullptr, request), std::nullopt);
    ASSERT_EQ(platform.SaveRequests.size(), 3u);
    EXPECT_EQ(platform.SaveRequests[0].FileName, QStringLiteral("run1 (XLS).csv"));
}

} // namespace

namespace {

TEST(FakePlatform, FileOpenDialogRecordsItsSettingsAndAnswersFromTheScript)
{
    FakePlatform platform;
    platform.QueueOpenAnswer(QStringLiteral("/data/run1.pe"));
    auto first = platform.CreateFileOpenDialog();
    first->SetTitle(QStringLiteral("Open"));
    first->SetFilter(QStringLiteral("PE|*.pe"));
    first->SetOptions(ofFileMustExist);
    ASSERT_TRUE(first->Execute(nullptr));
    EXPECT_EQ(first->FileName(), QStringLiteral("/data/run1.pe"));
    auto second = platform.CreateFileOpenDialog();
    EXPECT_FALSE(second->Execute(nullptr));
    ASSERT_EQ(platform.OpenRequests.size(), 2u);
    EXPECT_EQ(platform.OpenRequests[0].Title, QStringLiteral("Open"));
    EXPECT_EQ(platform.OpenRequests[0].Filter, QStringLiteral("PE|*.pe"));
    EXPECT_EQ(platform.OpenRequests[0].Options, TOpenOptions(ofFileMustExist));
    EXPECT_EQ(platform.Log, (std::vector<QString>{QStringLiteral("OpenFileName"), QStringLiteral("OpenFileName")}));
}

} // namespace
