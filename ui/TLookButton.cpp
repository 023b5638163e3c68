#include "TLookButton.h"

#include "ErrorReporting.h"
#include "TBevelButton.h"

TLookButton::TLookButton(QWidget* page, QWidget* window, std::function<TLookWindow::TInput()> input)
    : QObject(window)
    , window_(window)
    , input_(std::move(input))
{
    // The one free place on the page: over "&Go", under the output's name.
    // Made after every other control, so last in the page's tab order.
    button_ = new TBevelButton(QStringLiteral("&Look\u2026"), page);
    button_->setGeometry(307, 183, 71, 20);
    button_->setObjectName(QStringLiteral("btn_Look"));
    connect(button_, &TBevelButton::OnClick, this, GuardedHandler(window, [this] { Click(); }));
}

void TLookButton::Click()
{
    if (look_)
        look_->close();
    look_ = new TLookWindow(input_(), window_);
    look_->show();
    look_->raise();
}
