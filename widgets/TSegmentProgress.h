#pragma once

#include "TBevelSettings.h"

#include <QColor>
#include <QPixmap>
#include <QString>
#include <QWidget>

#include <functional>

class TSmallBar;

enum TMeterDirection { mdHorizontal = 0, mdVertical = 1, mdHorizontalReverse = 2, mdVerticalReverse = 3 };
enum TMeterTextOptions { toNoText = 0, toCaption = 1, toPercent = 2 };
enum TProgressStyle { pgBar = 0, pgSmallBar = 1, pgSmallBarColor = 2, pgOwnerDraw = 3, pgXPBar = 4 };

// A progress bar that maps an arbitrary integer range onto a whole
// percentage and paints itself synchronously whenever that percentage has
// moved by at least Delta points since the last drawing. Because it repaints
// at once instead of queueing an update, it keeps moving while a long job
// blocks the event loop on the only thread.
//
// Every drawing is composed off-screen (frame, bar, caption) and then copied
// onto the widget in one go, so the bar never shows half-drawn states.
class TSegmentProgress : public QWidget {
    Q_OBJECT
public:
    enum TAlignment { taLeftJustify = 0, taRightJustify = 1, taCenter = 2 };

    using TProgressColorEvent = std::function<void(TSegmentProgress* sender, quint8 nr, QColor& color)>;
    using TProgressPaintEvent = std::function<void(TSegmentProgress* sender, QPainter& canvas, const QRect& dest,
                                                   const QRect& notDest, const QRect& aRect)>;

    explicit TSegmentProgress(QWidget* parent = nullptr);
    ~TSegmentProgress() override;

    // The range. A bound equal to the other one is ignored; a bound past the
    // other one swaps their roles. A value outside the new range is pulled
    // to the bound just set.
    int MinValue() const { return minValue_; }
    void SetMinValue(int value);
    int MaxValue() const { return maxValue_; }
    void SetMaxValue(int value);
    // Values outside [MinValue, MaxValue] are ignored, not clamped.
    int UserValue() const { return userValue_; }
    void SetUserValue(int value)
    {
        // A long job calls this for every step it takes; within the quiet
        // run the value is all that changes, so it is stored and no more.
        if (value >= quietLow_ && value <= quietHigh_) {
            userValue_ = value;
            return;
        }
        ChangeUserValue(value);
    }
    // Percentage 0..100; larger values are stored as 100, negative ones as 0.
    int Position() const { return position_; }
    void SetPosition(int percent);
    // Redraw threshold in percentage points; 0 is stored as 1.
    quint8 Delta() const { return delta_; }
    void SetDelta(quint8 delta);

    TMeterDirection Direction() const { return direction_; }
    void SetDirection(TMeterDirection direction);
    TMeterTextOptions OptionsText() const { return optionsText_; }
    void SetOptionsText(TMeterTextOptions options);
    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment alignment);
    bool UseFontColor() const { return useFontColor_; }
    void SetUseFontColor(bool on);

    // Choosing a segmented style outside loading sets Delta so that about
    // every other segment step repaints.
    TProgressStyle Style() const { return style_; }
    void SetStyle(TProgressStyle style);
    QColor BarColor() const { return barColor_; }
    void SetBarColor(const QColor& color);
    TBevelStyle Bar3D() const { return bar3D_; }
    void SetBar3D(TBevelStyle style);
    // Kept for the settings' sake: there is no theme engine, so a themed bar
    // draws exactly like an unthemed one.
    bool CtlXP() const { return ctlXP_; }
    void SetCtlXP(bool on) { ctlXP_ = on; }

    TSmallBar* SmallBar() const { return smallBar_; }
    TBevelSettings* Bevel() const { return bevel_; }

    QString Caption() const { return caption_; }
    void SetCaption(const QString& caption);
    // Background colour; follows the parent until set.
    QColor Color() const;
    void SetColor(const QColor& color);

    void SetOnGetColor(TProgressColorEvent handler) { onGetColor_ = std::move(handler); }
    void SetOnPaint(TProgressPaintEvent handler) { onPaint_ = std::move(handler); }

    // While loading, nothing is painted and choosing a style leaves Delta
    // alone, so settings can be applied in any order.
    bool Loading() const { return loading_; }
    void SetLoading(bool loading);

    // The arithmetic of the bar, in 80-bit extended precision with 0.01 as
    // the extended value nearest to 1/100 (just below it), rounding half to
    // even. Exposed so the exact figures can be checked.
    static int PercentFromValue(int minValue, int maxValue, int value);
    static int ValueFromPercent(int minValue, int maxValue, int percent);
    static int FilledLength(int percent, int length);
    static int SegmentLength(int length, int space, int count);
    static int LitCount(int percent, int count);

protected:
    // Resizes a segmented bar so its segments fill it exactly; true when the
    // size changed (a new paint follows).
    virtual bool AutoSizeBars();
    // Draws the bar and its text onto the off-screen canvas.
    virtual void DrawBar(QPainter& canvas, const QRect& dest, const QRect& notDest, const QRect& aRect);
    virtual int GetPercent() const { return position_; }

    void paintEvent(QPaintEvent* event) override;

private:
    void UpdateBar();
    void Redraw();
    int PercentOfValue(int value);
    long long FirstValueReaching(int percent) const;
    void ForgetPercentRun() { samePercentLow_ = 1; samePercentHigh_ = 0; }
    void ForgetQuietRun() { quietLow_ = 1; quietHigh_ = 0; }
    void ChangeUserValue(int value);
    void Compose(int percent);
    void DrawText(QPainter& canvas, const QRect& dest, const QRect& notDest, const QRect& aRect,
                  const QColor& barColor);
    void DrawSegments(QPainter& canvas, const QRect& dest, const QRect& aRect, bool colourEvent);
    bool AlignedToParent() const;

    int minValue_ = 0;
    int maxValue_ = 100;
    int userValue_ = 0;
    int position_ = 0;
    // The values that give the percentage samePercent_ in the current range
    // (none while low is above high). A run moves the value once per line
    // but the percentage only a hundred times, so the division is skipped
    // for values inside the run of the last one.
    int samePercentLow_ = 1;
    int samePercentHigh_ = 0;
    int samePercent_ = 0;
    // The values that would change nothing but UserValue itself: they keep
    // the percentage, and the redraw gate stays shut for it. Known only
    // while the percentage, the last drawn one and Delta stay as they were
    // when it was worked out.
    int quietLow_ = 1;
    int quietHigh_ = 0;
    quint8 delta_ = 1;
    TMeterDirection direction_ = mdHorizontal;
    TMeterTextOptions optionsText_ = toNoText;
    TAlignment alignment_ = taCenter;
    bool useFontColor_ = false;
    TProgressStyle style_ = pgSmallBar;
    QColor barColor_ = QColor(0, 0, 128);
    TBevelStyle bar3D_ = bsNone;
    bool ctlXP_ = false;
    QString caption_;

    TSmallBar* smallBar_;
    TBevelSettings* bevel_;
    TProgressColorEvent onGetColor_;
    TProgressPaintEvent onPaint_;

    bool loading_ = false;
    int lastDrawn_ = 0;
    bool drawing_ = false;
    bool resizing_ = false;
    bool blitOnly_ = false;
    QPixmap buffer_;
};
