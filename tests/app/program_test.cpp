#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

namespace {

// The whole program starts, builds its window and ends cleanly when its
// event loop ends (the developer hook MORVANE_QUIT_AFTER_MS closes it).
TEST(Program, StartsAndEndsCleanly)
{
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("MORVANE_QUIT_AFTER_MS"), QStringLiteral("300"));
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(MORVANE_PROGRAM), {});
    ASSERT_TRUE(program.waitForStarted(30000)) << program.errorString().toStdString();
    const bool finished = program.waitForFinished(60000);
    if (!finished)
        program.kill();
    ASSERT_TRUE(finished);
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardError().toStdString();
}

// The program file carries its version record, findable with `strings`.
TEST(Program, CarriesItsVersionRecord)
{
    QFile program(QStringLiteral(MORVANE_PROGRAM));
    ASSERT_TRUE(program.open(QIODevice::ReadOnly));
    const QByteArray bytes = program.readAll();
    EXPECT_GE(bytes.indexOf("FileVersion=1.1.0.0;ProductVersion=1.0.0.0;"), 0);
}

} // namespace
