#include "TApplication.h"

#include "ErrorReporting.h"
#include "TLocaleTimeSettings.h"
#include "Version.h"

#include <QEvent>
#include <QIcon>
#include <QPalette>
#include <QScopedValueRollback>
#include <QToolTip>

#include <clocale>
#include <exception>

namespace {

// Tooltips in black on the classic pale yellow (about 20:1), whatever the
// desktop's theme offers: some give grey text on white, which few can read.
// The Windows style gives each tip label a palette of its own that keeps
// nothing but what the label's class has from the application, so the
// colours are the class's too; else tips came out grey (166, 166, 166) on
// white where the system's tooltip text is black.
void UseReadableToolTips()
{
    QPalette palette = QToolTip::palette();
    palette.setColor(QPalette::ToolTipBase, QColor(0xFF, 0xFF, 0xE1));
    palette.setColor(QPalette::ToolTipText, Qt::black);
    palette.setColor(QPalette::Window, QColor(0xFF, 0xFF, 0xE1));
    palette.setColor(QPalette::WindowText, Qt::black);
    QToolTip::setPalette(palette);
    // Setting the class's palette announces a palette change, which lands
    // here again. The style polishes what is stored (the Windows style
    // darkens AlternateBase), so the stored palette never equals ours and
    // the comparison alone would not end that: the announcement of our own
    // setting is skipped.
    static bool setting = false;
    if (setting)
        return;
    // Only when it differs: setting it tells every widget of the class.
    if (QApplication::palette("QTipLabel") != palette) {
        const QScopedValueRollback<bool> inside(setting, true);
        QApplication::setPalette(palette, "QTipLabel");
    }
}

} // namespace

TApplication::TApplication(int& argc, char** argv)
    : QApplication(argc, argv)
{
    // The name matches the desktop entry so the window manager groups the
    // window with it; the display name stays unset because the toolkit would
    // append it to every window caption.
    setApplicationName(QStringLiteral("morvane"));
    setDesktopFileName(QStringLiteral("morvane"));
    setApplicationVersion(QStringLiteral(MORVANE_FILE_VERSION));
    SetTitle(DefaultTitle());
    // Resources of a static library are not registered on their own.
    Q_INIT_RESOURCE(morvane);
    setWindowIcon(QIcon(QStringLiteral(":/morvane/morvane.png")));
    previousPlatform_ = SetCurrentPlatform(&platform_);
    installNativeEventFilter(&settingChange_);
    UseReadableToolTips();
}

TApplication::~TApplication()
{
    removeNativeEventFilter(&settingChange_);
    // Leave nothing pointing at the dying platform; a test may have put its
    // own in place meanwhile and is responsible for that one.
    if (&CurrentPlatform() == &platform_)
        SetCurrentPlatform(previousPlatform_);
}

QString TApplication::DefaultTitle()
{
    return QStringLiteral("Morvane (Halvik Control PE to Ostral)");
}

QString TApplication::Title() const
{
    return ApplicationTitle();
}

void TApplication::SetTitle(const QString& title)
{
    SetApplicationTitle(title);
}

void TApplication::ReloadRegionalSettings()
{
    // The user's defaults, not whatever the process switched to meanwhile.
    std::setlocale(LC_ALL, "");
    morvane::LoadLocaleTimeSettings();
}

bool TApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        // The failed step is over and has been dealt with; the loop goes on
        // with the next event.
        ReportError(receiver, std::current_exception());
    }
    return true;
}

bool TApplication::event(QEvent* event)
{
    if (event->type() == QEvent::LocaleChange && updateFormatSettings_)
        ReloadRegionalSettings();
    // A new theme brings its own tooltip colours.
    if (event->type() == QEvent::ApplicationPaletteChange)
        UseReadableToolTips();
    return QApplication::event(event);
}
