#include "TPlotView.h"

#include <QEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QResizeEvent>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace {

// Room for the value labels left, the time and clock labels below.
constexpr int kLeft = 64;
constexpr int kRight = 12;
constexpr int kTop = 10;
constexpr int kBottom = 46;
constexpr std::int64_t kDay = 86'400'000;

// Okabe and Ito's palette without its yellow, which a white ground hides:
// apart for red-green and blue-yellow blindness alike.
const QColor kPalette[] = {QColor(0, 114, 178),  QColor(213, 94, 0),   QColor(0, 158, 115),
                           QColor(204, 121, 167), QColor(230, 159, 0), QColor(86, 180, 233),
                           QColor(0, 0, 0)};

QString Number(double value, double step)
{
    // As many decimals as the step needs, and no more.
    const int decimals = step >= 1 ? 0 : std::min(9, static_cast<int>(std::ceil(-std::log10(step) - 1e-9)));
    return QString::number(value, 'f', decimals);
}

QString ClockText(std::int64_t milliseconds)
{
    const std::int64_t ms = ((milliseconds % kDay) + kDay) % kDay;
    return QStringLiteral("%1:%2:%3")
        .arg(ms / 3'600'000, 2, 10, QLatin1Char('0'))
        .arg(ms / 60'000 % 60, 2, 10, QLatin1Char('0'))
        .arg(ms / 1000 % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

TPlotView::TPlotView(QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(false);
    setMinimumSize(240, 160);
    setAutoFillBackground(false);
}

void TPlotView::SetData(TPlotData data)
{
    data_ = std::move(data);
    message_.clear();
    PlaceLegend();
    update();
}

void TPlotView::SetMessage(const QString& message)
{
    message_ = message;
    update();
}

std::vector<QRect> TPlotView::LegendPlaces() const
{
    const QFontMetrics metrics(font());
    const int rowHeight = metrics.height() + 2;
    const int right = width() - kRight;
    std::vector<QRect> places;
    int x = kLeft;
    int y = kTop;
    for (const QString& name : data_.Names) {
        const int entry = 23 + metrics.horizontalAdvance(name);
        if (x > kLeft && x + entry > right) {
            x = kLeft;
            y += rowHeight;
        }
        places.emplace_back(x, y, entry, rowHeight);
        x += entry + 16;
    }
    return places;
}

void TPlotView::PlaceLegend()
{
    const std::vector<QRect> places = LegendPlaces();
    legendHeight_ = places.empty() ? 0 : places.back().bottom() + 1 - kTop + 4;
}

void TPlotView::resizeEvent(QResizeEvent* event)
{
    PlaceLegend();
    QWidget::resizeEvent(event);
}

void TPlotView::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange)
        PlaceLegend();
    QWidget::changeEvent(event);
}

QColor TPlotView::Colour(std::size_t k)
{
    return kPalette[k % std::size(kPalette)];
}

double TPlotView::RoundStep(double span, int wanted)
{
    if (!(span > 0) || wanted < 1)
        return 1;
    const double raw = span / wanted;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (const double factor : {1.0, 2.0, 5.0}) {
        if (factor * power >= raw)
            return factor * power;
    }
    return 10 * power;
}

QRect TPlotView::PlotArea() const
{
    const int top = kTop + legendHeight_;
    return QRect(kLeft, top, std::max(1, width() - kLeft - kRight), std::max(1, height() - top - kBottom));
}

std::int64_t TPlotView::TimeAt(int x) const
{
    const QRect area = PlotArea();
    const double part = static_cast<double>(x - area.left()) / area.width();
    return data_.From + static_cast<std::int64_t>(std::floor(part * static_cast<double>(data_.To - data_.From)));
}

int TPlotView::XOf(std::int64_t time) const
{
    const QRect area = PlotArea();
    const double part = static_cast<double>(time - data_.From) / static_cast<double>(std::max<std::int64_t>(1, data_.To - data_.From));
    return area.left() + static_cast<int>(std::floor(part * area.width()));
}

void TPlotView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    painter.setFont(font());
    if (!message_.isEmpty() || data_.Series.empty()) {
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(rect().adjusted(12, 12, -12, -12), Qt::AlignCenter | Qt::TextWordWrap, message_);
        return;
    }
    double low = 0, high = 0;
    bool any = false;
    for (const auto& series : data_.Series) {
        for (const TPlotValues& v : series) {
            if (v.Count == 0)
                continue;
            low = any ? std::min(low, v.Min) : v.Min;
            high = any ? std::max(high, v.Max) : v.Max;
            any = true;
        }
    }
    if (high - low < 1e-12 * std::max(1.0, std::abs(high))) {
        low -= 1;
        high += 1;
    }
    const double step = RoundStep(high - low, 6);
    low = std::floor(low / step) * step;
    high = std::ceil(high / step) * step;
    PaintAxes(painter, low, high, step);
    painter.save();
    painter.setClipRect(PlotArea().adjusted(0, 0, 1, 1));
    for (std::size_t k = 0; k < data_.Series.size(); ++k)
        PaintSeries(painter, k, low, high);
    if (dragging_) {
        const int left = std::min(dragFrom_.x(), dragTo_.x());
        const int right = std::max(dragFrom_.x(), dragTo_.x());
        painter.fillRect(QRect(left, PlotArea().top(), right - left, PlotArea().height()), QColor(0, 114, 178, 48));
    }
    painter.restore();
    PaintMarks(painter);
    PaintLegend(painter);
}

void TPlotView::PaintAxes(QPainter& painter, double low, double high, double valueStep)
{
    const QRect area = PlotArea();
    const QColor text = palette().color(QPalette::WindowText);
    const QColor grid(225, 225, 225);
    const QFontMetrics metrics(font());

    // The steps the range was rounded to, so that both ends are labelled.
    for (double v = low; v <= high + valueStep / 2; v += valueStep) {
        const int y = area.bottom() - static_cast<int>(std::lround((v - low) / (high - low) * area.height()));
        painter.setPen(grid);
        painter.drawLine(area.left(), y, area.right(), y);
        painter.setPen(text);
        painter.drawText(QRect(0, y - 8, kLeft - 6, 16), Qt::AlignRight | Qt::AlignVCenter, Number(v, valueStep));
    }

    // Seconds, minutes or hours, as the span fits.
    const double span = static_cast<double>(data_.To - data_.From);
    const double unit = span <= 120'000 ? 1000 : span <= 7'200'000 ? 60'000 : 3'600'000;
    const QString unitName = unit == 1000 ? QStringLiteral("s") : unit == 60'000 ? QStringLiteral("min") : QStringLiteral("h");
    const int wanted = std::max(2, area.width() / 90);
    const double timeStep = RoundStep(span / unit, wanted) * unit;
    const double first = std::ceil(static_cast<double>(data_.From) / timeStep) * timeStep;
    for (double t = first; t <= static_cast<double>(data_.To); t += timeStep) {
        const int x = XOf(static_cast<std::int64_t>(std::llround(t)));
        painter.setPen(grid);
        painter.drawLine(x, area.top(), x, area.bottom());
        painter.setPen(text);
        painter.drawLine(x, area.bottom(), x, area.bottom() + 3);
        const QString label = Number(t / unit, timeStep / unit) + QLatin1Char(' ') + unitName;
        painter.drawText(QRect(x - 50, area.bottom() + 7, 100, 16), Qt::AlignCenter, label);
        painter.setPen(QColor(90, 90, 90));
        painter.drawText(QRect(x - 50, area.bottom() + 24, 100, 16), Qt::AlignCenter,
                         ClockText(data_.StartClock + static_cast<std::int64_t>(std::llround(t))));
    }
    painter.setPen(text);
    painter.drawRect(area);
}

void TPlotView::PaintSeries(QPainter& painter, std::size_t k, double low, double high)
{
    const QRect area = PlotArea();
    const std::vector<TPlotValues>& buckets = data_.Series[k];
    // The buckets summed up per pixel column.
    std::vector<TPlotValues> columns(static_cast<std::size_t>(area.width()) + 1);
    for (std::size_t b = 0; b < buckets.size(); ++b) {
        const TPlotValues& v = buckets[b];
        if (v.Count == 0 && v.Gaps == 0)
            continue;
        const std::int64_t time = data_.From + static_cast<std::int64_t>(b) * data_.Width;
        if (time >= data_.To)
            break;
        const int x = std::clamp(XOf(time) - area.left(), 0, area.width());
        TPlotValues& c = columns[static_cast<std::size_t>(x)];
        c.Gaps += v.Gaps;
        if (v.Count == 0)
            continue;
        if (c.Count == 0) {
            c.Min = v.Min;
            c.Max = v.Max;
            c.First = v.First;
        } else {
            c.Min = std::min(c.Min, v.Min);
            c.Max = std::max(c.Max, v.Max);
        }
        c.Last = v.Last;
        c.Count += v.Count;
    }
    const auto y = [&](double value) {
        return area.bottom() - (value - low) / (high - low) * area.height();
    };
    QPen pen(Colour(k));
    pen.setWidthF(1.5);
    painter.setPen(pen);
    painter.setRenderHint(QPainter::Antialiasing, true);
    int previous = -1;
    bool gapSince = false;
    for (std::size_t x = 0; x < columns.size(); ++x) {
        const TPlotValues& c = columns[x];
        const double px = area.left() + static_cast<double>(x);
        if (c.Count > 0) {
            if (previous >= 0 && !gapSince)
                painter.drawLine(QPointF(area.left() + previous, y(columns[static_cast<std::size_t>(previous)].Last)),
                                 QPointF(px, y(c.First)));
            if (c.Count > 1 && c.Max > c.Min)
                painter.drawLine(QPointF(px, y(c.Min)), QPointF(px, y(c.Max)));
            else if (previous < 0 || gapSince)
                painter.drawPoint(QPointF(px, y(c.First)));
            previous = static_cast<int>(x);
            gapSince = c.Gaps > 0;
        } else if (c.Gaps > 0) {
            gapSince = true;
        }
    }
    painter.setRenderHint(QPainter::Antialiasing, false);
}

void TPlotView::PaintMarks(QPainter& painter)
{
    const QRect area = PlotArea();
    painter.setPen(QColor(213, 94, 0));
    for (std::size_t b = 0; b < data_.Marks.size(); ++b) {
        if (data_.Marks[b] == 0)
            continue;
        const int x = XOf(data_.From + static_cast<std::int64_t>(b) * data_.Width);
        if (x >= area.left() && x <= area.right())
            painter.drawLine(x, area.bottom() + 1, x, area.bottom() + 5);
    }
    if (data_.SeparatorMarks == 0 && data_.ClockMarks == 0)
        return;
    QStringList parts;
    if (data_.SeparatorMarks > 0)
        parts << QStringLiteral("%1 with another separator count").arg(data_.SeparatorMarks);
    if (data_.ClockMarks > 0)
        parts << QStringLiteral("%1 without a time").arg(data_.ClockMarks);
    painter.drawText(area.adjusted(6, 4, -6, -4), Qt::AlignLeft | Qt::AlignBottom,
                     QStringLiteral("Lines: ") + parts.join(QStringLiteral(", ")));
}

void TPlotView::PaintLegend(QPainter& painter)
{
    const std::vector<QRect> places = LegendPlaces();
    painter.setPen(palette().color(QPalette::WindowText));
    for (std::size_t k = 0; k < places.size(); ++k) {
        const QRect& place = places[k];
        painter.fillRect(QRect(place.left(), place.center().y() - 2, 14, 4), Colour(k));
        painter.drawText(place.adjusted(19, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter,
                         data_.Names[static_cast<int>(k)]);
    }
}

void TPlotView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !message_.isEmpty() || !PlotArea().contains(event->position().toPoint()))
        return QWidget::mousePressEvent(event);
    dragging_ = true;
    dragFrom_ = dragTo_ = event->position().toPoint();
}

void TPlotView::mouseMoveEvent(QMouseEvent* event)
{
    if (!dragging_)
        return QWidget::mouseMoveEvent(event);
    dragTo_ = event->position().toPoint();
    update();
}

void TPlotView::mouseReleaseEvent(QMouseEvent* event)
{
    if (!dragging_ || event->button() != Qt::LeftButton)
        return QWidget::mouseReleaseEvent(event);
    dragging_ = false;
    dragTo_ = event->position().toPoint();
    update();
    const QRect area = PlotArea();
    const int left = std::clamp(std::min(dragFrom_.x(), dragTo_.x()), area.left(), area.right() + 1);
    const int right = std::clamp(std::max(dragFrom_.x(), dragTo_.x()), area.left(), area.right() + 1);
    // A click is no span.
    if (right - left >= 4)
        emit spanWanted(TimeAt(left), std::max(TimeAt(right), TimeAt(left) + 1));
}

void TPlotView::wheelEvent(QWheelEvent* event)
{
    const int turn = event->angleDelta().y();
    if (turn == 0 || !message_.isEmpty() || data_.Series.empty())
        return QWidget::wheelEvent(event);
    // Half or twice the span, the time under the mouse staying in place.
    const std::int64_t at = TimeAt(static_cast<int>(event->position().x()));
    const double factor = turn > 0 ? 0.5 : 2.0;
    const auto from = at - static_cast<std::int64_t>(std::llround(static_cast<double>(at - data_.From) * factor));
    const auto to = at + static_cast<std::int64_t>(std::llround(static_cast<double>(data_.To - at) * factor));
    emit spanWanted(from, std::max(to, from + 1));
    event->accept();
}

void TPlotView::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        emit backWanted();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}
