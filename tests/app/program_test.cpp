#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>

#include <string>
#include <vector>
#endif

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

// The first line a stream holds, without its line end (CR LF on Windows).
std::string FirstLine(const QByteArray& bytes)
{
    QByteArray line = bytes.left(bytes.indexOf('\n'));
    if (line.endsWith('\r'))
        line.chop(1);
    return line.toStdString();
}

// The program's own first message among whatever the toolkit tells stderr.
std::string FirstOwnMessage(const QByteArray& err)
{
    for (QByteArray line : err.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.startsWith("morvane: "))
            return line.toStdString();
    }
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
    EXPECT_GE(bytes.indexOf("FileVersion=1.0.1.0;ProductVersion=1.01;"), 0);
}

#ifdef _WIN32
// On Windows both programs carry the record as their version resource,
// beside the icon that Explorer and the window classes show and the manifest
// that lifts the path length limit.
TEST(Program, CarriesItsVersionResourceIconAndManifest)
{
    struct Case {
        QString program;
        QString description;
    };
    const Case cases[] = {
        {QStringLiteral(MORVANE_PROGRAM), QStringLiteral("Morvane: PE files to CSV")},
        {QStringLiteral(MORVANE_CONVERT_PROGRAM),
         QStringLiteral("Morvane converter: PE files to CSV from the command line")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.program.toStdString());
        const std::wstring path = c.program.toStdWString();
        DWORD ignored = 0;
        const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
        ASSERT_GT(size, 0u);
        std::vector<char> record(size);
        ASSERT_NE(GetFileVersionInfoW(path.c_str(), 0, size, record.data()), 0);
        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT length = 0;
        ASSERT_NE(VerQueryValueW(record.data(), L"\\", reinterpret_cast<void**>(&fixed), &length), 0);
        // 1.01 is 1.0.1.0, which sorts before a 1.10 (1.1.0.0).
        EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
        EXPECT_EQ(fixed->dwFileVersionLS, 0x00010000u);
        EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
        EXPECT_EQ(fixed->dwProductVersionLS, 0x00010000u);
        const auto text = [&](const wchar_t* name) {
            wchar_t* value = nullptr;
            UINT chars = 0;
            const std::wstring key = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
            if (!VerQueryValueW(record.data(), key.c_str(), reinterpret_cast<void**>(&value), &chars) ||
                value == nullptr)
                return QStringLiteral("<none>");
            return QString::fromWCharArray(value);
        };
        EXPECT_EQ(text(L"FileVersion"), QStringLiteral("1.0.1.0"));
        EXPECT_EQ(text(L"ProductVersion"), QStringLiteral("1.01"));
        EXPECT_EQ(text(L"ProductName"), QStringLiteral("Morvane"));
        EXPECT_EQ(text(L"FileDescription"), c.description);
        EXPECT_EQ(text(L"LegalCopyright"), QStringLiteral("\u00a9 2026 Morvane Software"));
        EXPECT_EQ(text(L"LegalTrademarks"), QStringLiteral("<none>"));

        HMODULE program = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(program, nullptr);
        HICON icon = static_cast<HICON>(LoadImageW(program, L"IDI_ICON1", IMAGE_ICON, 32, 32, 0));
        EXPECT_NE(icon, nullptr);
        if (icon != nullptr) {
            ICONINFO info{};
            ASSERT_NE(GetIconInfo(icon, &info), 0);
            BITMAP bitmap{};
            GetObjectW(info.hbmColor, sizeof bitmap, &bitmap);
            EXPECT_EQ(bitmap.bmWidth, 32);
            EXPECT_EQ(bitmap.bmHeight, 32);
            DeleteObject(info.hbmColor);
            DeleteObject(info.hbmMask);
            DestroyIcon(icon);
        }
        QByteArray manifest;
        if (HRSRC found = FindResourceW(program, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24))) {
            const auto* data = static_cast<const char*>(LockResource(LoadResource(program, found)));
            manifest = QByteArray(data, static_cast<qsizetype>(SizeofResource(program, found)));
        }
        EXPECT_GE(manifest.indexOf("<longPathAware xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">true<"), 0);
        EXPECT_GE(manifest.indexOf("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""), 0);
        EXPECT_EQ(manifest.indexOf("activeCodePage"), -1);
        FreeLibrary(program);
    }
}
#endif

} // namespace
