#include "ErrorReporting.h"
#include "FontSetup.h"
#include "TApplication.h"
#include "TGIFImage.h"
#include "TLocaleTimeSettings.h"
#include "TPictureFormats.h"
#include "uMain.h"
#include "Version.h"

#include <QByteArray>
#include <QGuiApplication>
#include <QStringList>
#include <QTimer>

#include <clocale>
#include <cstdio>
#include <cstring>

namespace {

// The program file's version record. ELF has no standard place for one, so it
// is kept as a plain string that `strings morvane | grep FileVersion` finds.
[[gnu::used]] const char versionRecord[] =
    "FileVersion=" MORVANE_FILE_VERSION ";ProductVersion=" MORVANE_PRODUCT_VERSION ";"
    "LegalCopyright=\u00a9 2026 Morvane Software;LegalTrademarks=MS";

// The picture formats the window's stored logo needs.
void RegisterPictureFormats()
{
    morvane::TGIFImage::Register(morvane::TPictureFormats::Global());
}

// Developer hook, for scripted start-up checks only: when the environment
// variable MORVANE_QUIT_AFTER_MS holds a number of milliseconds, the event
// loop ends that long after it starts, as if the window had been closed.
void StartQuitTimerFromEnvironment(TApplication& app)
{
    bool ok = false;
    const int ms = qEnvironmentVariableIntValue("MORVANE_QUIT_AFTER_MS", &ok);
    if (ok && ms >= 0)
        QTimer::singleShot(ms, &app, &QCoreApplication::quit);
}

const char kUsage[] =
    "Usage: morvane [FILE]\n"
    "Opens the Morvane window. With FILE, the window starts with that PE file\n"
    "named in its file box, as if the file had been dropped on the window.\n"
    "\n"
    "  -h, --help     show this help\n"
    "      --version  show the version\n";

// --help and --version answer without a display, so they are looked for
// before the toolkit starts; 0 when neither was asked for.
int AnswerInfoOptions(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 1;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::fputs("morvane " MORVANE_VERSION "\n", stdout);
            return 1;
        }
    }
    return 0;
}

// The file named on the command line reaches the window from inside the
// event loop, the same way a drop does, so its handlers run as they would.
void OpenFileFromArguments(TfMain& window, const QString& argument)
{
    QTimer::singleShot(0, &window, [&window, argument] {
        if (!window.OpenFromCommandLine(argument))
            std::fprintf(stderr, "morvane: %s: not an existing file; starting without it\n",
                         argument.toLocal8Bit().constData());
    });
}

} // namespace

int main(int argc, char* argv[])
{
    if (AnswerInfoOptions(argc, argv))
        return 0;
    std::setlocale(LC_ALL, "");
    morvane::LoadLocaleTimeSettings();
    return RunWithLastResort([&] {
        RegisterPictureFormats();
        TApplication app(argc, argv);
        // Lets a Wayland desktop match the window to its menu entry and icon.
        QGuiApplication::setDesktopFileName(QStringLiteral("org.example.morvane"));
        // What is left once the toolkit has taken its own options.
        const QStringList arguments = QCoreApplication::arguments().mid(1);
        if (arguments.size() > 1) {
            std::fputs("morvane: one FILE at most\n", stderr);
            std::fputs(kUsage, stderr);
            return 2;
        }
        // Nested so that the last-resort box of an error during the window's
        // construction still has the application to draw itself with.
        return RunWithLastResort([&] {
            FontSetup::SetUpFonts();
            TfMain fMain;
            fMain.show();
            if (!arguments.isEmpty())
                OpenFileFromArguments(fMain, arguments.front());
            StartQuitTimerFromEnvironment(app);
            // Nothing is saved on the way out.
            return app.exec();
        });
    });
}
