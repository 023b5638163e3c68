#include "TSegmentProgress.h"

#include "TSmallBar.h"

#include <QLayout>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <typeinfo>

namespace {

// The extended value nearest to 1/100. It lies just below 1/100, which is
// why 5 % of 20 pixels fills nothing and 12.5 % of 8 steps reads 12.
constexpr long double kOneHundredth = 0.01L;

// Rectangles here use the exclusive right and bottom edges that the drawing
// rules are written in.
int rightOf(const QRect& r) { return r.x() + r.width(); }
int bottomOf(const QRect& r) { return r.y() + r.height(); }
QRect ltrb(int left, int top, int right, int bottom) { return QRect(left, top, right - left, bottom - top); }

void fillIfNotEmpty(QPainter& painter, const QRect& r, const QColor& color)
{
    if (r.width() > 0 && r.height() > 0)
        painter.fillRect(r, color);
}

bool isVertical(TMeterDirection direction)
{
    return direction == mdVertical || direction == mdVerticalReverse;
}

// Long double to int, toward zero, limited to the int range so that no
// conversion is ever undefined.
int truncateToInt(long double x)
{
    if (std::isnan(x))
        return 0;
    x = std::trunc(x);
    if (x > static_cast<long double>(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (x < static_cast<long double>(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return static_cast<int>(x);
}

int roundToInt(long double x)
{
    // nearbyint follows the default rounding mode: to nearest, ties to even.
    return truncateToInt(std::nearbyint(x));
}

// Clears the drawing flag and records the drawn position however a drawing
// ends, so an exception from an event handler cannot block later updates.
class DrawingScope {
public:
    DrawingScope(bool& drawing, int& lastDrawn, int percent)
        : drawing_(drawing), lastDrawn_(lastDrawn), percent_(percent)
    {
        drawing_ = true;
    }
    ~DrawingScope()
    {
        drawing_ = false;
        lastDrawn_ = percent_;
    }
    DrawingScope(const DrawingScope&) = delete;
    DrawingScope& operator=(const DrawingScope&) = delete;

private:
    bool& drawing_;
    int& lastDrawn_;
    int percent_;
};

} // namespace

TSegmentProgress::TSegmentProgress(QWidget* parent)
    : QWidget(parent)
    , smallBar_(new TSmallBar(this))
    , bevel_(new TBevelSettings(this))
{
    bevel_->SetStyleOuter(bsLowered);
    // Every drawing covers the whole control, so an immediate repaint need
    // not have the parent paint the area underneath first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(80, 20);
    connect(smallBar_, &TSmallBar::changed, this, &TSegmentProgress::Redraw);
    connect(bevel_, &TBevelSettings::changed, this, &TSegmentProgress::Redraw);
}

TSegmentProgress::~TSegmentProgress() = default;

int TSegmentProgress::PercentFromValue(int minValue, int maxValue, int value)
{
    // The differences are taken in 64 bits: a 32-bit difference overflows for
    // ranges wider than half the int range and would give nonsense.
    const long long span = static_cast<long long>(maxValue) - minValue;
    if (span == 0)
        return 0;
    const long double share = static_cast<long double>(static_cast<long long>(value) - minValue)
                              / static_cast<long double>(span);
    const long double percent = share * 100.0L;
    return std::clamp(roundToInt(percent), 0, 100);
}

int TSegmentProgress::ValueFromPercent(int minValue, int maxValue, int percent)
{
    const long long span = static_cast<long long>(maxValue) - minValue;
    const long double fraction = static_cast<long double>(percent) * kOneHundredth;
    const long double offset = fraction * static_cast<long double>(span);
    const long long value = static_cast<long long>(minValue) + roundToInt(offset);
    return static_cast<int>(std::clamp<long long>(value, std::min(minValue, maxValue),
                                                  std::max(minValue, maxValue)));
}

int TSegmentProgress::FilledLength(int percent, int length)
{
    if (length <= 0)
        return 0;
    const long double fraction = static_cast<long double>(percent) * kOneHundredth;
    return std::min(length, std::max(0, truncateToInt(fraction * static_cast<long double>(length))));
}

int TSegmentProgress::SegmentLength(int length, int space, int count)
{
    if (count <= 0)
        return 0;
    const long double free = static_cast<long double>(length - space * count);
    return truncateToInt(free / static_cast<long double>(count));
}

int TSegmentProgress::LitCount(int percent, int count)
{
    const long double fraction = static_cast<long double>(percent) * kOneHundredth;
    return std::clamp(roundToInt(fraction * static_cast<long double>(count)), 0, std::max(count, 0));
}

long long TSegmentProgress::FirstValueReaching(int percent) const
{
    // The percentage never falls as the value rises, so the first value that
    // reaches it is found by bisection; the exact boundary is near
    // min + span x (percent - 1/2) / 100, and checking either side of that
    // first leaves only a step or two.
    const auto reaches = [&](long long v) {
        return PercentFromValue(minValue_, maxValue_, static_cast<int>(v)) >= percent;
    };
    const long long span = static_cast<long long>(maxValue_) - minValue_;
    long long low = minValue_;
    long long high = static_cast<long long>(maxValue_) + 1; // past the range: reached by nothing
    const long double exact = static_cast<long double>(span) * (percent - 0.5L) / 100.0L;
    const long long guess = minValue_ + static_cast<long long>(std::ceil(exact));
    if (guess - 2 >= low && guess - 2 < high) {
        if (reaches(guess - 2))
            high = guess - 2;
        else
            low = guess - 1;
    }
    if (guess + 2 >= low && guess + 2 < high) {
        if (reaches(guess + 2))
            high = guess + 2;
        else
            low = guess + 3;
    }
    while (low < high) {
        const long long middle = low + (high - low) / 2;
        if (reaches(middle))
            high = middle;
        else
            low = middle + 1;
    }
    return low;
}

int TSegmentProgress::PercentOfValue(int value)
{
    if (value >= samePercentLow_ && value <= samePercentHigh_)
        return samePercent_;
    const int percent = PercentFromValue(minValue_, maxValue_, value);
    samePercent_ = percent;
    samePercentLow_ = percent == 0 ? minValue_ : static_cast<int>(FirstValueReaching(percent));
    samePercentHigh_ = percent == 100 ? maxValue_ : static_cast<int>(FirstValueReaching(percent + 1) - 1);
    return percent;
}

void TSegmentProgress::SetMinValue(int value)
{
    if (value == minValue_ || value == maxValue_)
        return;
    const int other = maxValue_;
    minValue_ = std::min(value, other);
    maxValue_ = std::max(value, other);
    ForgetPercentRun();
    ForgetQuietRun();
    if (userValue_ < minValue_ || userValue_ > maxValue_)
        userValue_ = minValue_;
    position_ = PercentFromValue(minValue_, maxValue_, userValue_);
    Redraw();
}

void TSegmentProgress::SetMaxValue(int value)
{
    if (value == maxValue_ || value == minValue_)
        return;
    const int other = minValue_;
    minValue_ = std::min(value, other);
    maxValue_ = std::max(value, other);
    ForgetPercentRun();
    ForgetQuietRun();
    if (userValue_ < minValue_ || userValue_ > maxValue_)
        userValue_ = maxValue_;
    position_ = PercentFromValue(minValue_, maxValue_, userValue_);
    Redraw();
}

void TSegmentProgress::ChangeUserValue(int value)
{
    if (value == userValue_ || value < minValue_ || value > maxValue_)
        return;
    userValue_ = value;
    position_ = PercentOfValue(value);
    UpdateBar();
}

void TSegmentProgress::SetPosition(int percent)
{
    if (percent == position_)
        return;
    ForgetQuietRun();
    position_ = std::clamp(percent, 0, 100);
    userValue_ = ValueFromPercent(minValue_, maxValue_, position_);
    UpdateBar();
}

void TSegmentProgress::SetDelta(quint8 delta)
{
    ForgetQuietRun();
    delta_ = delta == 0 ? 1 : delta;
}

void TSegmentProgress::SetDirection(TMeterDirection direction)
{
    if (direction_ == direction)
        return;
    direction_ = direction;
    Redraw();
}

void TSegmentProgress::SetOptionsText(TMeterTextOptions options)
{
    if (optionsText_ == options)
        return;
    optionsText_ = options;
    Redraw();
}

void TSegmentProgress::SetAlignment(TAlignment alignment)
{
    if (alignment_ == alignment)
        return;
    alignment_ = alignment;
    Redraw();
}

void TSegmentProgress::SetUseFontColor(bool on)
{
    if (useFontColor_ == on)
        return;
    useFontColor_ = on;
    Redraw();
}

void TSegmentProgress::SetStyle(TProgressStyle style)
{
    style_ = style;
    // With no segments at all there is no step to derive Delta from; it is
    // left as it is rather than dividing by zero.
    const int count = smallBar_->BarCount();
    if ((style == pgSmallBar || style == pgSmallBarColor) && !loading_ && count > 0)
        SetDelta(static_cast<quint8>((100 / count) / 2));
    Redraw();
}

void TSegmentProgress::SetBarColor(const QColor& color)
{
    if (barColor_ == color)
        return;
    barColor_ = color;
    if (style_ == pgBar)
        Redraw();
}

void TSegmentProgress::SetBar3D(TBevelStyle style)
{
    if (bar3D_ == style)
        return;
    bar3D_ = style;
    if (style_ == pgBar)
        Redraw();
}

void TSegmentProgress::SetCaption(const QString& caption)
{
    if (caption_ == caption)
        return;
    caption_ = caption;
    Redraw();
}

QColor TSegmentProgress::Color() const
{
    return palette().color(QPalette::Window);
}

void TSegmentProgress::SetColor(const QColor& color)
{
    QPalette pal = palette();
    pal.setColor(QPalette::Window, color);
    setPalette(pal);
}

void TSegmentProgress::SetLoading(bool loading)
{
    if (loading_ == loading)
        return;
    loading_ = loading;
    if (!loading_)
        Redraw();
}

void TSegmentProgress::Redraw()
{
    // repaint() is a no-op while updates are disabled, which serves as the
    // update lock. A change made from inside a drawing (an event handler)
    // must not paint recursively, so it is queued instead.
    if (drawing_) {
        update();
        return;
    }
    repaint();
}

void TSegmentProgress::UpdateBar()
{
    if (drawing_)
        return;
    const int p = GetPercent();
    const int q = lastDrawn_;
    const bool farEnough = std::abs(p - q) >= delta_;
    const bool reachedEnd = p != q && (p == 0 || p == 100);
    if (!farEnough && !reachedEnd) {
        // The gate stays shut for every value of the current percentage, as
        // long as the percentage is the bar's own and nothing else moves.
        if (p == position_ && p == samePercent_ && typeid(*this) == typeid(TSegmentProgress)) {
            quietLow_ = samePercentLow_;
            quietHigh_ = samePercentHigh_;
        }
        return;
    }

    ForgetQuietRun();
    DrawingScope scope(drawing_, lastDrawn_, p);
    // A hidden bar has nothing to show; it is composed in full when it
    // becomes visible.
    if (!isVisible() || loading_)
        return;
    Compose(p);
    blitOnly_ = true;
    repaint();
    blitOnly_ = false;
}

void TSegmentProgress::Compose(int percent)
{
    const qreal ratio = devicePixelRatioF();
    buffer_ = QPixmap(size() * ratio);
    buffer_.setDevicePixelRatio(ratio);
    buffer_.fill(Color());

    QPainter canvas(&buffer_);
    const QRect aRect = bevel_->Paint(canvas, rect(), palette());
    const int length = std::max(0, isVertical(direction_) ? aRect.height() : aRect.width());
    const int e = FilledLength(percent, length);

    const int left = aRect.x();
    const int top = aRect.y();
    const int right = rightOf(aRect);
    const int bottom = bottomOf(aRect);
    QRect dest;
    QRect notDest;
    switch (direction_) {
    case mdHorizontal:
        dest = ltrb(left, top, left + e, bottom);
        notDest = ltrb(rightOf(dest), top, right, bottom);
        break;
    case mdVertical:
        dest = ltrb(left, top, right, top + e);
        notDest = ltrb(left, bottomOf(dest), right, bottom);
        break;
    case mdHorizontalReverse:
        dest = ltrb(right - e, top, right, bottom);
        notDest = ltrb(left, top, dest.x(), bottom);
        break;
    case mdVerticalReverse:
        dest = ltrb(left, bottom - e, right, bottom);
        notDest = ltrb(left, top, right, dest.y());
        break;
    }
    DrawBar(canvas, dest, notDest, aRect);
}

void TSegmentProgress::paintEvent(QPaintEvent*)
{
    if (!blitOnly_) {
        if (loading_)
            return;
        const bool resized = AutoSizeBars();
        resizing_ = false;
        if (resized)
            return;
        if (!drawing_) {
            DrawingScope scope(drawing_, lastDrawn_, GetPercent());
            Compose(GetPercent());
        }
    }
    if (buffer_.isNull())
        return;
    QPainter painter(this);
    painter.drawPixmap(0, 0, buffer_);
}

bool TSegmentProgress::AlignedToParent() const
{
    const QWidget* parent = parentWidget();
    return parent && parent->layout() && parent->layout()->indexOf(this) >= 0;
}

bool TSegmentProgress::AutoSizeBars()
{
    if (resizing_ || (style_ != pgSmallBar && style_ != pgSmallBarColor) || AlignedToParent()
        || !smallBar_->AutoSize())
        return false;
    const int count = smallBar_->BarCount();
    if (count == 0)
        return false;
    const int frame = bevel_->FrameWidth();
    const bool vertical = isVertical(direction_);
    const int space = vertical ? smallBar_->VSpace() : smallBar_->HSpace();
    const int current = vertical ? height() : width();
    // A negative segment length (a bar too small for its gaps) is used as it
    // is, so such a bar grows by what the gaps lack, not by whole segments.
    const int segment = SegmentLength(current - 2 * frame, space, count);
    const int wanted = (segment + space) * count + space + 2 * frame;
    if (wanted == current) {
        resizing_ = false;
        return false;
    }
    resizing_ = true;
    if (vertical)
        resize(width(), wanted);
    else
        resize(wanted, height());
    return true;
}

void TSegmentProgress::DrawBar(QPainter& canvas, const QRect& dest, const QRect& notDest, const QRect& aRect)
{
    // Without a theme engine the themed style falls back to plain segments.
    const TProgressStyle style = style_ == pgXPBar ? pgSmallBar : style_;
    switch (style) {
    case pgBar:
        fillIfNotEmpty(canvas, dest, barColor_);
        if (position_ > 0 && bar3D_ != bsNone && dest.width() > 0 && dest.height() > 0) {
            TBevelSettings border;
            border.SetMode(bmStandard);
            border.SetStandardStyle(bar3D_);
            border.SetBorderColor(barColor_.darker());
            border.Paint(canvas, dest, palette());
        }
        DrawText(canvas, dest, notDest, aRect, barColor_);
        break;
    case pgSmallBar:
    case pgSmallBarColor:
    case pgXPBar:
        DrawSegments(canvas, dest, aRect, style == pgSmallBarColor);
        DrawText(canvas, dest, notDest, aRect, smallBar_->BarColor());
        break;
    case pgOwnerDraw:
        if (onPaint_)
            onPaint_(this, canvas, dest, notDest, aRect);
        break;
    }
}

void TSegmentProgress::DrawSegments(QPainter& canvas, const QRect& dest, const QRect& aRect, bool colourEvent)
{
    const int count = smallBar_->BarCount();
    const int hSpace = smallBar_->HSpace();
    const int vSpace = smallBar_->VSpace();
    const bool vertical = isVertical(direction_);
    const int segment = vertical ? SegmentLength(aRect.height(), vSpace, count)
                                 : SegmentLength(aRect.width(), hSpace, count);
    const QColor barColor = smallBar_->BarColor();

    if (segment <= 0) {
        // The segments do not fit: one block over the filled part.
        fillIfNotEmpty(canvas,
                       ltrb(dest.x() + hSpace, dest.y() + vSpace, rightOf(dest) - hSpace, bottomOf(dest) - vSpace),
                       barColor);
        return;
    }

    const int lit = LitCount(position_, count);
    for (int i = 0; i < lit; ++i) {
        QRect r;
        switch (direction_) {
        case mdHorizontal:
        case mdHorizontalReverse: {
            const int slot = direction_ == mdHorizontal ? i : count - 1 - i;
            r = ltrb(aRect.x() + hSpace + slot * (hSpace + segment), dest.y() + vSpace,
                     aRect.x() + (slot + 1) * (hSpace + segment), bottomOf(aRect) - vSpace);
            break;
        }
        case mdVertical:
        case mdVerticalReverse: {
            const int slot = direction_ == mdVertical ? i : count - 1 - i;
            r = ltrb(aRect.x() + hSpace, aRect.y() + vSpace + slot * (vSpace + segment),
                     rightOf(aRect) - hSpace, aRect.y() + (slot + 1) * (vSpace + segment));
            break;
        }
        }
        QColor color = barColor;
        if (colourEvent && onGetColor_)
            onGetColor_(this, static_cast<quint8>(i), color);
        fillIfNotEmpty(canvas, r, color);
    }
}

void TSegmentProgress::DrawText(QPainter& canvas, const QRect& dest, const QRect& notDest, const QRect& aRect,
                                const QColor& barColor)
{
    if (optionsText_ == toNoText)
        return;
    const QString text = optionsText_ == toCaption ? caption_ : QString::asprintf("%d%%", position_);
    if (text.isEmpty())
        return;

    int flags = Qt::AlignVCenter | Qt::TextSingleLine;
    switch (alignment_) {
    case taLeftJustify:
        flags |= Qt::AlignLeft;
        break;
    case taRightJustify:
        flags |= Qt::AlignRight;
        break;
    case taCenter:
        flags |= Qt::AlignHCenter;
        break;
    }

    canvas.save();
    canvas.setFont(font());
    if (!isEnabled()) {
        // Greyed as disabled text is: an embossed light copy under a shadow.
        canvas.setPen(palette().color(QPalette::Light));
        canvas.drawText(aRect.translated(1, 1), flags, text);
        canvas.setPen(palette().color(QPalette::Dark));
        canvas.drawText(aRect, flags, text);
    } else if (useFontColor_) {
        canvas.setPen(palette().color(QPalette::WindowText));
        canvas.drawText(aRect, flags, text);
    } else {
        // Background colour over the filled part, bar colour over the empty
        // part, so the text stays readable wherever the bar edge crosses it.
        canvas.setClipRect(dest);
        canvas.setPen(Color());
        canvas.drawText(aRect, flags, text);
        canvas.setClipRect(notDest);
        canvas.setPen(barColor);
        canvas.drawText(aRect, flags, text);
    }
    canvas.restore();
}
