#include "TBevelSettings.h"

#include <QPainter>

namespace {

// One ring of four one-pixel lines. The top and left lines stop one pixel
// short of the far corners, which the bottom and right lines own, so a
// sunken ring shows its light colour in the top-right and bottom-left
// corners as the classic 3D edges do. An invalid colour leaves that side
// untouched.
void drawRing(QPainter& painter, const QRect& r, const QColor& topLeft, const QColor& bottomRight)
{
    if (r.width() <= 0 || r.height() <= 0)
        return;
    if (topLeft.isValid()) {
        painter.fillRect(QRect(r.left(), r.top(), qMax(r.width() - 1, 1), 1), topLeft);
        painter.fillRect(QRect(r.left(), r.top(), 1, qMax(r.height() - 1, 1)), topLeft);
    }
    if (bottomRight.isValid()) {
        painter.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), bottomRight);
        painter.fillRect(QRect(r.right(), r.top(), 1, r.height()), bottomRight);
    }
}

QRect shrunk(const QRect& r, int by)
{
    return r.adjusted(by, by, -by, -by);
}

// Plain one-pixel rendering of a bevel style, used by the modes the window
// does not rely on.
QRect drawStyleRing(QPainter& painter, const QRect& r, TBevelStyle style, const QPalette& palette,
                    const QColor& borderColor)
{
    switch (style) {
    case bsNone:
        return r;
    case bsLowered:
        drawRing(painter, r, palette.color(QPalette::Dark), palette.color(QPalette::Light));
        break;
    case bsRaised:
        drawRing(painter, r, palette.color(QPalette::Light), palette.color(QPalette::Dark));
        break;
    case bsSingle:
        drawRing(painter, r, borderColor, borderColor);
        break;
    }
    return shrunk(r, 1);
}

} // namespace

TBevelSettings::TBevelSettings(QObject* parent)
    : QObject(parent)
{
}

void TBevelSettings::SetMode(TBevelMode mode)
{
    if (mode_ == mode)
        return;
    mode_ = mode;
    emit changed();
}

void TBevelSettings::SetStyleOuter(TBevelStyle style)
{
    if (styleOuter_ == style)
        return;
    styleOuter_ = style;
    emit changed();
}

void TBevelSettings::SetStandardStyle(TBevelStyle style)
{
    if (standardStyle_ == style)
        return;
    standardStyle_ = style;
    emit changed();
}

void TBevelSettings::SetBorderWidth(int width)
{
    width = qMax(width, 0);
    if (borderWidth_ == width)
        return;
    borderWidth_ = width;
    emit changed();
}

void TBevelSettings::SetBorderInnerWidth(int width)
{
    width = qMax(width, 0);
    if (borderInnerWidth_ == width)
        return;
    borderInnerWidth_ = width;
    emit changed();
}

void TBevelSettings::SetBorderColor(const QColor& color)
{
    if (borderColor_ == color)
        return;
    borderColor_ = color;
    emit changed();
}

int TBevelSettings::FrameWidth() const
{
    switch (mode_) {
    case bmWindows:
    case bmEdge:
        return 2 + borderInnerWidth_;
    case bmStandard:
        return (standardStyle_ == bsNone ? 0 : 1) + borderInnerWidth_;
    case bmCustom:
        return (styleOuter_ == bsNone ? 0 : 1) + borderWidth_ + borderInnerWidth_;
    }
    return 0;
}

QRect TBevelSettings::Paint(QPainter& painter, const QRect& rect, const QPalette& palette) const
{
    QRect r = rect;
    switch (mode_) {
    case bmWindows:
        // Sunken edge: the inner ring's bottom and right lines keep whatever
        // background the owner filled in.
        drawRing(painter, r, palette.color(QPalette::Dark), palette.color(QPalette::Light));
        r = shrunk(r, 1);
        drawRing(painter, r, palette.color(QPalette::Shadow), QColor());
        r = shrunk(r, 1);
        break;
    case bmEdge:
        // Etched: a groove made of a sunken outer ring and a raised inner one.
        drawRing(painter, r, palette.color(QPalette::Dark), palette.color(QPalette::Light));
        r = shrunk(r, 1);
        drawRing(painter, r, palette.color(QPalette::Light), palette.color(QPalette::Dark));
        r = shrunk(r, 1);
        break;
    case bmStandard:
        r = drawStyleRing(painter, r, standardStyle_, palette, borderColor_);
        break;
    case bmCustom:
        r = drawStyleRing(painter, r, styleOuter_, palette, borderColor_);
        r = shrunk(r, borderWidth_);
        break;
    }
    for (int i = 0; i < borderInnerWidth_; ++i) {
        drawRing(painter, r, borderColor_, borderColor_);
        r = shrunk(r, 1);
    }
    return r;
}
