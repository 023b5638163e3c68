#pragma once

#include <QColor>
#include <QFont>
#include <QObject>

enum TFlatHAlign { fhaLeft = 0, fhaCenter = 1, fhaRight = 2 };
enum TFlatVAlign { fvaTop = 0, fvaCenter = 1, fvaBottom = 2 };

// How one kind of tab (normal or selected) is drawn: background, caption
// font and colour, caption placement. Owned by the page control, which
// repaints on changed() and rebuilds its tab fonts on fontChanged().
class TTabStyle : public QObject {
    Q_OBJECT
public:
    explicit TTabStyle(QObject* parent = nullptr);

    QColor BackgrColor() const { return backgrColor_; }
    void SetBackgrColor(const QColor& color);
    QFont Font() const { return font_; }
    void SetFont(const QFont& font);
    QColor FontColor() const { return fontColor_; }
    void SetFontColor(const QColor& color);
    TFlatHAlign CaptionHAlign() const { return captionHAlign_; }
    void SetCaptionHAlign(TFlatHAlign align);
    TFlatVAlign CaptionVAlign() const { return captionVAlign_; }
    void SetCaptionVAlign(TFlatVAlign align);

    // Qt alignment flags for the caption placement.
    Qt::Alignment CaptionAlignment() const;

signals:
    void changed();
    void fontChanged();

private:
    QColor backgrColor_ = Qt::lightGray;
    QFont font_;
    QColor fontColor_ = Qt::black;
    TFlatHAlign captionHAlign_ = fhaLeft;
    TFlatVAlign captionVAlign_ = fvaCenter;
};
