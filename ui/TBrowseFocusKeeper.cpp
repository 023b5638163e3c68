#include "TBrowseFocusKeeper.h"

#include "TFileOpenEdit.h"

#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <QToolButton>

TBrowseFocusKeeper::TBrowseFocusKeeper(TFileOpenEdit& edit)
    : QObject(&edit)
    , edit_(edit)
{
    connect(qApp, &QApplication::focusChanged, this, &TBrowseFocusKeeper::FocusChanged);
    connect(&edit, &TFileOpenEdit::OnBeforeBrowse, this, &TBrowseFocusKeeper::BeforeBrowse);
    connect(&edit, &TFileOpenEdit::OnBrowse, this, &TBrowseFocusKeeper::AfterBrowse);
    edit.BrowseButton()->installEventFilter(this);
}

void TBrowseFocusKeeper::FocusChanged(QWidget* old, QWidget* now)
{
    if (now != &edit_) {
        atPress_ = nullptr;
        return;
    }
    // Only for the event being handled: once it is through, a later press
    // on the button finds the focus already in the edit.
    leftForEdit_ = old;
    QTimer::singleShot(0, this, [this] { leftForEdit_ = nullptr; });
}

bool TBrowseFocusKeeper::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonPress)
        atPress_ = leftForEdit_ ? leftForEdit_.data() : QApplication::focusWidget();
    return QObject::eventFilter(watched, event);
}

void TBrowseFocusKeeper::BeforeBrowse()
{
    before_ = atPress_ ? atPress_.data() : QApplication::focusWidget();
    atPress_ = nullptr;
    nameBefore_ = edit_.Filename();
}

void TBrowseFocusKeeper::AfterBrowse()
{
    const QPointer<QWidget> target = before_;
    before_ = nullptr;
    if (edit_.Filename() != nameBefore_ || !target || !target->isVisible() || target->window() != edit_.window())
        return;
    target->setFocus(Qt::OtherFocusReason);
}
