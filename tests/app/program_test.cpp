#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

#include <string>
#include <vector>

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

// The first line a stream holds, without its line end.
std::string FirstLine(const QByteArray& bytes)
{
    return bytes.left(bytes.indexOf('\n')).toStdString();
}

// The program's own first message among whatever the toolkit tells stderr.
std::string FirstOwnMessage(const QByteArray& err)
{
    for (const QByteArray& line : err.split('\n'))
        if (line.startsWith("morvane: "))
            return line.toStdString();
    return {};
}

// What the program is started with: a file from a file manager's "Open
// with", or a question that must be answered without any display at all.
TEST(Program, AnswersItsArguments)
{
    struct Case {
        const char* name;
        QStringList arguments;
        const char* platform;
        int exitCode;
        std::string out;
        std::string err;
    };
    const QString sample = QStringLiteral(MORVANE_TEST_DATA "/sample.pe");
    const std::vector<Case> cases = {
        {"ExistingFile", {sample}, "offscreen", 0, "", ""},
        {"MissingFile", {QStringLiteral("absent.pe")}, "offscreen", 0, "",
         "morvane: absent.pe: not an existing file; starting without it"},
        {"TwoFiles", {sample, sample}, "offscreen", 2, "", "morvane: one FILE at most"},
        {"VersionWithoutDisplay", {QStringLiteral("--version")}, "xcb", 0, "morvane 1.01", ""},
        {"HelpWithoutDisplay", {QStringLiteral("-h")}, "xcb", 0, "Usage: morvane [FILE]", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QString::fromLatin1(c.platform));
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.insert(QStringLiteral("MORVANE_QUIT_AFTER_MS"), QStringLiteral("300"));
        program.setProcessEnvironment(env);
        program.start(QStringLiteral(MORVANE_PROGRAM), c.arguments);
        ASSERT_TRUE(program.waitForStarted(30000)) << program.errorString().toStdString();
        const bool finished = program.waitForFinished(60000);
        if (!finished)
            program.kill();
        ASSERT_TRUE(finished);
        const QByteArray err = program.readAllStandardError();
        EXPECT_EQ(program.exitCode(), c.exitCode) << err.toStdString();
        EXPECT_EQ(FirstLine(program.readAllStandardOutput()), c.out);
        EXPECT_EQ(FirstOwnMessage(err), c.err);
    }
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
