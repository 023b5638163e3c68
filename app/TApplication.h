#pragma once

#include "TQtPlatform.h"
#include "TSettingChangeFilter.h"

#include <QApplication>
#include <QString>

// The application object: holds the title the error box is captioned with,
// routes every error that escapes an event handler to ReportError so the
// program carries on, and reloads the regional settings when they change.
class TApplication : public QApplication {
public:
    TApplication(int& argc, char** argv);
    ~TApplication() override;

    // "Morvane (Halvik Control PE to Ostral)": the taskbar's and the error box's text.
    static QString DefaultTitle();

    QString Title() const;
    void SetTitle(const QString& title);

    // Whether a settings change reloads the regional time settings; on from
    // the start.
    bool UpdateFormatSettings() const { return updateFormatSettings_; }
    void SetUpdateFormatSettings(bool on) { updateFormatSettings_ = on; }

    // Takes the user's current regional settings, as after a settings change.
    static void ReloadRegionalSettings();

    bool notify(QObject* receiver, QEvent* event) override;

protected:
    bool event(QEvent* event) override;

private:
    // The real desktop, put in place for the application's lifetime: every
    // box and dialog of the program, the window's and the error boxes, goes
    // through it (see CurrentPlatform).
    TQtPlatform platform_;
    TSettingChangeFilter settingChange_{this};
    IPlatform* previousPlatform_ = nullptr;
    bool updateFormatSettings_ = true;
};
