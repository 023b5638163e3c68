#pragma once

#include <QObject>

class QKeyEvent;
class QWidget;
class TFileOpenEdit;
class TStyledPageControl;

// The window's keys that no single control owns: Ctrl+Tab and
// Ctrl+Shift+Tab switch pages from anywhere in the window, the file name
// included (inside a page the page control answers them itself); F4 and
// Alt+Down in the file name open its browse dialog, as in any combo box.
class TWindowKeys : public QObject {
    Q_OBJECT
public:
    TWindowKeys(QWidget& window, TStyledPageControl& pages, TFileOpenEdit& fileEdit);

    static bool IsPageSwitch(const QKeyEvent& key);
    static bool IsBrowse(const QKeyEvent& key);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    TStyledPageControl& pages_;
    TFileOpenEdit& fileEdit_;
    bool forwarding_ = false;
};
