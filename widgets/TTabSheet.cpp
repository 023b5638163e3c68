#include "TTabSheet.h"

#include "TStyledPageControl.h"

#include <QApplication>
#include <QShowEvent>

TTabSheet::TTabSheet(const QString& caption, QWidget* parent)
    : QWidget(parent)
    , caption_(caption)
{
    // Pages show the window's own background, as the controls placed on
    // them expect, not the lighter pane the style would draw.
    setAutoFillBackground(true);
    // The signal's own argument can be stale when a handler moved the focus
    // again while it was being delivered, so the current focus is asked.
    connect(qApp, &QApplication::focusChanged, this, [this] { FocusChanged(QApplication::focusWidget()); });
}

void TTabSheet::SetCaption(const QString& caption)
{
    if (caption_ == caption)
        return;
    caption_ = caption;
    emit captionChanged(caption_);
}

TStyledPageControl* TTabSheet::PageControl() const
{
    return qobject_cast<TStyledPageControl*>(parentWidget());
}

int TTabSheet::PageIndex() const
{
    const TStyledPageControl* control = PageControl();
    return control ? control->IndexOf(this) : -1;
}

void TTabSheet::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // A window coming back from being minimised or covered is no new showing.
    if (!event->spontaneous())
        emit shown();
}

bool TTabSheet::Contains(const QWidget* widget) const
{
    return widget == this || isAncestorOf(widget);
}

void TTabSheet::FocusChanged(QWidget* now)
{
    // Focus going nowhere (the application was deactivated) or to another
    // window (a dialog box) leaves the page's own focus where it was.
    if (!now || now->window() != window())
        return;
    const bool inside = Contains(now);
    const bool left = focusInside_ && !inside;
    // Updated before emitting: a handler may move the focus back in.
    focusInside_ = inside;
    if (left)
        emit exited();
}
