#pragma once

#include <QObject>
#include <QPointer>

#include "TLookWindow.h"

class TBevelButton;
class TLookWindow;
class TfMain;

// "Look…" on page 3: opens the look window on the file page 1 names, with
// the separator set and the counting past midnight as set. A second click
// opens it afresh, for settings changed since.
class TLookButton : public QObject {
    Q_OBJECT
public:
    explicit TLookButton(TfMain& window);

    TBevelButton* Button() const { return button_; }
    TLookWindow* Window() const { return look_; }

    void Click();

private:
    TfMain& window_;
    TBevelButton* button_ = nullptr;
    QPointer<TLookWindow> look_;
};
