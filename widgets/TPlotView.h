#pragma once

#include <QColor>
#include <QPoint>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <cstdint>
#include <vector>

// One field's values in one stretch of time, as the plot draws them.
struct TPlotValues {
    double Min = 0;
    double Max = 0;
    double First = 0;
    double Last = 0;
    std::int64_t Count = 0;
    std::int64_t Gaps = 0;
};

// What the plot shows: equal stretches of time from From (milliseconds of
// the run, Width each), a row of values per field, and per stretch the
// lines the check would report.
struct TPlotData {
    std::int64_t From = 0;
    std::int64_t To = 1;
    std::int64_t Width = 1;
    // The clock of the run's first line, milliseconds of the day.
    std::int64_t StartClock = 0;
    QStringList Names;
    std::vector<std::vector<TPlotValues>> Series;
    std::vector<std::int64_t> Marks;
    std::int64_t SeparatorMarks = 0;
    std::int64_t ClockMarks = 0;
};

// Fields over time, one line per field, in a fixed palette that stays
// apart for the common kinds of colour blindness. Where a pixel column
// holds more than one value the line becomes its min-max band, so that a
// single spike shows. Dragging across it (or the wheel) asks for a span;
// Esc asks to go back out. A message, when set, is shown instead.
class TPlotView : public QWidget {
    Q_OBJECT
public:
    explicit TPlotView(QWidget* parent = nullptr);

    void SetData(TPlotData data);
    const TPlotData& Data() const { return data_; }
    // Shown in the plot's place until data is set again; empty clears it.
    void SetMessage(const QString& message);
    QString Message() const { return message_; }

    // The colour of the k-th field.
    static QColor Colour(std::size_t k);
    // Round steps for an axis of `span` that fits about `wanted` of them.
    static double RoundStep(double span, int wanted);
    // The plot's area inside the widget, between the axes.
    QRect PlotArea() const;
    // The time under a pixel of the plot area, and back.
    std::int64_t TimeAt(int x) const;
    int XOf(std::int64_t time) const;

signals:
    // The span [from, to) of the run's time to be shown.
    void spanWanted(std::int64_t from, std::int64_t to);
    void backWanted();

protected:
    void paintEvent(class QPaintEvent* event) override;
    void mousePressEvent(class QMouseEvent* event) override;
    void mouseMoveEvent(class QMouseEvent* event) override;
    void mouseReleaseEvent(class QMouseEvent* event) override;
    void wheelEvent(class QWheelEvent* event) override;
    void keyPressEvent(class QKeyEvent* event) override;
    void resizeEvent(class QResizeEvent* event) override;
    void changeEvent(class QEvent* event) override;

private:
    // Where each legend entry stands, in rows above the plot area.
    std::vector<QRect> LegendPlaces() const;
    void PlaceLegend();
    void PaintAxes(class QPainter& painter, double low, double high, double step);
    void PaintSeries(class QPainter& painter, std::size_t k, double low, double high);
    void PaintMarks(class QPainter& painter);
    void PaintLegend(class QPainter& painter);

    TPlotData data_;
    QString message_;
    // The legend's rows above the plot area, kept apart from it so that it
    // hides no line: their height, laid out again as the width changes.
    int legendHeight_ = 0;
    bool dragging_ = false;
    QPoint dragFrom_;
    QPoint dragTo_;
};
