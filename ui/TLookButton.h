#pragma once

#include <QObject>
#include <QPointer>

#include <functional>

#include "TLookWindow.h"

class TBevelButton;
class QWidget;

// "Look…" on page 3: opens the look window on the file page 1 names, with
// the separator set and the counting past midnight as set. A second click
// opens it afresh, for settings changed since.
class TLookButton : public QObject {
    Q_OBJECT
public:
    // The button goes onto `page`; `input` tells what the window shows now.
    TLookButton(QWidget* page, QWidget* window, std::function<TLookWindow::TInput()> input);

    TBevelButton* Button() const { return button_; }
    TLookWindow* Window() const { return look_; }

    void Click();

private:
    QWidget* window_;
    std::function<TLookWindow::TInput()> input_;
    TBevelButton* button_ = nullptr;
    QPointer<TLookWindow> look_;
};
