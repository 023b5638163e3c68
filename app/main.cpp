#include "ErrorReporting.h"
#include "FontSetup.h"
#include "TApplication.h"
#include "TGIFImage.h"
#include "TLocaleTimeSettings.h"
#include "TPictureFormats.h"
#include "uMain.h"
#include "Version.h"

#include <QByteArray>
#include <QTimer>

#include <clocale>

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

} // namespace

int main(int argc, char* argv[])
{
    std::setlocale(LC_ALL, "");
    morvane::LoadLocaleTimeSettings();
    return RunWithLastResort([&] {
        RegisterPictureFormats();
        TApplication app(argc, argv);
        // Nested so that the last-resort box of an error during the window's
        // construction still has the application to draw itself with.
        return RunWithLastResort([&] {
            FontSetup::SetUpFonts();
            TfMain fMain;
            fMain.show();
            StartQuitTimerFromEnvironment(app);
            // Nothing is saved on the way out.
            return app.exec();
        });
    });
}
