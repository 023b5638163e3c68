#pragma once

#include <QColor>
#include <QObject>
#include <QPalette>
#include <QRect>

class QPainter;

enum TBevelMode { bmCustom = 0, bmStandard = 1, bmEdge = 2, bmWindows = 3 };
enum TBevelStyle { bsNone = 0, bsLowered = 1, bsRaised = 2, bsSingle = 3 };

// The frame around a bevelled control. Owned by that control; every change
// emits changed() so the owner repaints.
class TBevelSettings : public QObject {
    Q_OBJECT
public:
    explicit TBevelSettings(QObject* parent = nullptr);

    TBevelMode Mode() const { return mode_; }
    void SetMode(TBevelMode mode);
    TBevelStyle StyleOuter() const { return styleOuter_; }
    void SetStyleOuter(TBevelStyle style);
    TBevelStyle StandardStyle() const { return standardStyle_; }
    void SetStandardStyle(TBevelStyle style);
    int BorderWidth() const { return borderWidth_; }
    void SetBorderWidth(int width);
    int BorderInnerWidth() const { return borderInnerWidth_; }
    void SetBorderInnerWidth(int width);
    QColor BorderColor() const { return borderColor_; }
    void SetBorderColor(const QColor& color);

    // Pixels the frame takes from each side.
    int FrameWidth() const;
    // Draws the frame into `rect` with the palette's 3D colours and returns
    // the rectangle left inside it. bmWindows: the two-pixel sunken edge;
    // bmEdge: the etched two-pixel edge.
    QRect Paint(QPainter& painter, const QRect& rect, const QPalette& palette) const;

signals:
    void changed();

private:
    TBevelMode mode_ = bmWindows;
    TBevelStyle styleOuter_ = bsNone;
    TBevelStyle standardStyle_ = bsLowered;
    int borderWidth_ = 0;
    int borderInnerWidth_ = 0;
    QColor borderColor_ = Qt::black;
};
