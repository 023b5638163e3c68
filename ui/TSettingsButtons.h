#pragma once

#include <QObject>
#include <QString>

#include <functional>

#include "IPlatform.h"
#include "TSavedSettings.h"
#include "TWindowChoice.h"

class TBevelButton;
class QWidget;

// "Save settings…" and "Open settings…" on page 1: the window's settings to
// and from a settings file, the one morvane-convert --settings reads.
class TSettingsButtons : public QObject {
    Q_OBJECT
public:
    // What the buttons ask of the window.
    struct THost {
        // What the window shows, its rows first built for the present file
        // and separator set.
        std::function<TWindowChoice()> CurrentChoice;
        // Puts an opened file's settings into the window, or refuses them
        // with a box; `name` is the file's as the user knows it.
        std::function<void(const morvane::TSavedSettings& file, const QString& name)> Open;
        // Where a dialog for `which` starts.
        std::function<QString(IPlatform::TFolder which)> StartFolder;
    };

    // The buttons go onto `page`; their dialogs and boxes belong to `window`.
    TSettingsButtons(QWidget* page, QWidget* window, THost host);

    TBevelButton* btn_SaveSettings = nullptr;
    TBevelButton* btn_OpenSettings = nullptr;

    void btn_SaveSettingsClick();
    void btn_OpenSettingsClick();

private:
    QWidget* window_;
    THost host_;
    // The name the save dialog proposes: the one chosen in it last.
    QString lastName_ = QStringLiteral("settings.ini");
};
