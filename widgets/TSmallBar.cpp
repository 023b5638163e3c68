#include "TSmallBar.h"

TSmallBar::TSmallBar(QObject* parent)
    : QObject(parent)
{
}

void TSmallBar::SetAutoSize(bool on)
{
    if (autoSize_ == on)
        return;
    autoSize_ = on;
    emit changed();
}

void TSmallBar::SetBarColor(const QColor& color)
{
    if (barColor_ == color)
        return;
    barColor_ = color;
    emit changed();
}

void TSmallBar::SetBarCount(quint8 count)
{
    if (barCount_ == count)
        return;
    barCount_ = count;
    emit changed();
}

void TSmallBar::SetHSpace(quint8 space)
{
    if (hSpace_ == space)
        return;
    hSpace_ = space;
    emit changed();
}

void TSmallBar::SetVSpace(quint8 space)
{
    if (vSpace_ == space)
        return;
    vSpace_ = space;
    emit changed();
}
