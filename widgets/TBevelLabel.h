#pragma once

#include <QColor>
#include <QFlags>
#include <QString>
#include <QWidget>

class QFontMetrics;
class TBevelSettings;

enum TBevelAlignment {
    agTopLeft,
    agTopCenter,
    agTopRight,
    agCenterLeft,
    agCenter,
    agCenterRight,
    agBottomLeft,
    agBottomCenter,
    agBottomRight,
};

enum TLabelOption {
    loPathEllipsis = 0x1,
    loEndEllipsis = 0x2,
    loEditControl = 0x4,
};
Q_DECLARE_FLAGS(TLabelOptions, TLabelOption)
Q_DECLARE_OPERATORS_FOR_FLAGS(TLabelOptions)

// A label that paints itself: optional opaque fill, a bevelled frame and
// one caption. Shortening (ellipsis) is a way of drawing only: Caption()
// always returns the whole text.
class TBevelLabel : public QWidget {
    Q_OBJECT
public:
    explicit TBevelLabel(QWidget* parent = nullptr);
    TBevelLabel(const QString& caption, QWidget* parent);

    QString Caption() const { return caption_; }
    void SetCaption(const QString& caption);

    // Width and height follow the caption's extent plus 2 x (frame + 1);
    // left and top stay.
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool on);
    TBevelAlignment Alignment() const { return alignment_; }
    void SetAlignment(TBevelAlignment alignment);
    TLabelOptions Options() const { return options_; }
    void SetOptions(TLabelOptions options);
    // "&" underlines the next character, "&&" shows one "&"; off: literal.
    bool ShowAccelChar() const { return showAccelChar_; }
    void SetShowAccelChar(bool on);
    bool MultiLine() const { return multiLine_; }
    void SetMultiLine(bool on);
    bool Transparent() const { return transparent_; }
    void SetTransparent(bool on);
    QColor Color() const { return color_; }
    void SetColor(const QColor& color);
    TBevelSettings* Bevel() const { return bevel_; }

    // The rectangle the caption is drawn in.
    QRect TextRect() const;
    // The caption as it is drawn into TextRect() (after any shortening).
    QString DisplayedText() const;

    // `text` shortened in its middle so that it is at most `width` wide:
    // the start is kept, then "...", then as much as fits of the part from
    // the last "/" or "\" on. Returned unchanged when it fits.
    static QString PathEllipsis(const QString& text, const QFontMetrics& metrics, int width);

    QSize sizeHint() const override;

signals:
    void OnClick(TBevelLabel* sender);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    int TextFlags() const;
    void AdjustSize();

    TBevelSettings* bevel_;
    QString caption_;
    QColor color_;
    TBevelAlignment alignment_ = agTopLeft;
    TLabelOptions options_;
    bool autoSize_ = true;
    bool showAccelChar_ = true;
    bool multiLine_ = false;
    bool transparent_ = true;
    bool pressed_ = false;
};
