#pragma once

#include <QObject>
#include <QString>

#include <functional>

class TBevelButton;
class TRememberedBoxes;
class TfMain;

// "Save settings…" and "Open settings…" on page 1: the window's settings to
// and from a settings file, the one morvane-convert --settings reads.
class TSettingsButtons : public QObject {
    Q_OBJECT
public:
    // `rebuildRows` builds the rows from the file's lines as leaving page 1
    // does; it is called when the rows do not stand for the present file
    // and separator set.
    TSettingsButtons(TfMain* window, TRememberedBoxes& memory, std::function<void()> rebuildRows);

    TBevelButton* btn_SaveSettings = nullptr;
    TBevelButton* btn_OpenSettings = nullptr;

    void btn_SaveSettingsClick();
    void btn_OpenSettingsClick();

private:
    void MakeRowsCurrent();

    TfMain* window_;
    TRememberedBoxes& memory_;
    std::function<void()> rebuildRows_;
    // The name the save dialog proposes: the one chosen in it last.
    QString lastName_ = QStringLiteral("settings.ini");
};
