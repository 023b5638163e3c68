#include "TLookButton.h"

#include "ErrorReporting.h"
#include "TBevelButton.h"
#include "TBevelCheckBox.h"
#include "TFileOpenEdit.h"
#include "TLookWindow.h"
#include "TTabSheet.h"
#include "FileSystemNames.h"
#include "uMain.h"

TLookButton::TLookButton(TfMain& window)
    : QObject(&window)
    , window_(window)
{
    // The one free place on the page: over "&Go", under the output's name.
    // Made after every other control, so last in the page's tab order.
    button_ = new TBevelButton(QStringLiteral("&Look\u2026"), window.TabSheet1);
    button_->setGeometry(307, 183, 71, 20);
    button_->setObjectName(QStringLiteral("btn_Look"));
    connect(button_, &TBevelButton::OnClick, this, GuardedHandler(&window, [this] { Click(); }));
}

void TLookButton::Click()
{
    if (look_)
        look_->close();
    TLookWindow::TInput input;
    input.ShownPath = window_.FileOpenEdit1->Filename();
    input.Path = PathBytes(input.ShownPath);
    input.SeparatorSet = window_.SeparatorSet();
    input.AcrossMidnight = window_.cb_AcrossMidnight->Checked();
    look_ = new TLookWindow(std::move(input), &window_);
    look_->show();
    look_->raise();
}
