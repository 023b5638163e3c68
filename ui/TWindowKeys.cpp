#include "TWindowKeys.h"

#include "TFileOpenEdit.h"
#include "TStyledPageControl.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QWidget>

TWindowKeys::TWindowKeys(QWidget& window, TStyledPageControl& pages, TFileOpenEdit& fileEdit)
    : QObject(&window)
    , pages_(pages)
    , fileEdit_(fileEdit)
{
    window.installEventFilter(this);
    fileEdit.installEventFilter(this);
}

bool TWindowKeys::IsPageSwitch(const QKeyEvent& key)
{
    return (key.key() == Qt::Key_Tab || key.key() == Qt::Key_Backtab)
        && (key.modifiers() & Qt::ControlModifier);
}

bool TWindowKeys::IsBrowse(const QKeyEvent& key)
{
    const Qt::KeyboardModifiers chord =
        key.modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    return (key.key() == Qt::Key_F4 && chord == Qt::NoModifier)
        || (key.key() == Qt::Key_Down && chord == Qt::AltModifier);
}

bool TWindowKeys::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress)
        return QObject::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    if (IsPageSwitch(*key) && pages_.isVisible() && !forwarding_) {
        // The page control's own answer, as if pressed inside a page. A key
        // it ignores comes back up to the window: that is no second press.
        forwarding_ = true;
        QCoreApplication::sendEvent(&pages_, key);
        forwarding_ = false;
        return true;
    }
    if (watched == &fileEdit_ && IsBrowse(*key) && fileEdit_.isEnabled()) {
        fileEdit_.Browse();
        return true;
    }
    return QObject::eventFilter(watched, event);
}
