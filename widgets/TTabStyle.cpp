#include "TTabStyle.h"

TTabStyle::TTabStyle(QObject* parent)
    : QObject(parent)
{
}

void TTabStyle::SetBackgrColor(const QColor& color)
{
    if (backgrColor_ == color)
        return;
    backgrColor_ = color;
    emit changed();
}

void TTabStyle::SetFont(const QFont& font)
{
    // QFont's == ignores resolve masks, so an equal font really is a no-op.
    if (font_ == font)
        return;
    font_ = font;
    emit fontChanged();
    emit changed();
}

void TTabStyle::SetFontColor(const QColor& color)
{
    if (fontColor_ == color)
        return;
    fontColor_ = color;
    emit changed();
}

void TTabStyle::SetCaptionHAlign(TFlatHAlign align)
{
    if (captionHAlign_ == align)
        return;
    captionHAlign_ = align;
    emit changed();
}

void TTabStyle::SetCaptionVAlign(TFlatVAlign align)
{
    if (captionVAlign_ == align)
        return;
    captionVAlign_ = align;
    emit changed();
}

Qt::Alignment TTabStyle::CaptionAlignment() const
{
    Qt::Alignment align;
    switch (captionHAlign_) {
    case fhaLeft: align |= Qt::AlignLeft; break;
    case fhaCenter: align |= Qt::AlignHCenter; break;
    case fhaRight: align |= Qt::AlignRight; break;
    }
    switch (captionVAlign_) {
    case fvaTop: align |= Qt::AlignTop; break;
    case fvaCenter: align |= Qt::AlignVCenter; break;
    case fvaBottom: align |= Qt::AlignBottom; break;
    }
    return align;
}
