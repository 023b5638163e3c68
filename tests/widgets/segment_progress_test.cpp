#include "TSegmentProgress.h"
#include "TSmallBar.h"

#include <QDir>
#include <QEvent>
#include <QImage>
#include <QPainter>
#include <QTest>
#include <QWidget>

#include "Screenshot.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <limits>
#include <memory>
#include <optional>
#include <stdexcept>
#include <vector>

namespace {

const QColor kFace(240, 240, 240);
const QColor kShadow(160, 160, 160);
const QColor kHighlight(255, 255, 255);
const QColor kDarkShadow(105, 105, 105);

QPalette testPalette()
{
    QPalette pal;
    pal.setColor(QPalette::Window, kFace);
    pal.setColor(QPalette::Dark, kShadow);
    pal.setColor(QPalette::Light, kHighlight);
    pal.setColor(QPalette::Shadow, kDarkShadow);
    pal.setColor(QPalette::WindowText, Qt::black);
    return pal;
}

// Text without anti-aliasing, so every text pixel has exactly one of the two
// colours and can be told apart.
QFont crispFont()
{
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(14);
    f.setStyleStrategy(QFont::NoAntialias);
    return f;
}

// The window's bar: 241 x 20, one block because 100 segments do not fit.
void configureLikeWindow(TSegmentProgress& bar)
{
    bar.setPalette(testPalette());
    bar.setFont(crispFont());
    bar.resize(241, 20);
    bar.SmallBar()->SetAutoSize(false);
    bar.SmallBar()->SetBarCount(100);
    bar.SmallBar()->SetHSpace(2);
    bar.SmallBar()->SetVSpace(2);
    bar.SmallBar()->SetBarColor(kShadow);
    bar.SetBarColor(kShadow);
    bar.SetStyle(pgSmallBarColor);
    bar.Bevel()->SetMode(bmWindows);
    bar.SetDelta(5);
    bar.SetOptionsText(toCaption);
}

class PaintCounter : public QObject {
public:
    int count = 0;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++count;
        return false;
    }
};

// A shown window holding one bar, with paints of the bar counted.
struct ShownBar {
    QWidget window;
    TSegmentProgress* bar = new TSegmentProgress(&window);
    PaintCounter paints;
    PaintCounter parentPaints;

    ShownBar()
    {
        window.resize(300, 60);
        window.setPalette(testPalette());
        configureLikeWindow(*bar);
        bar->move(10, 10);
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
        QCoreApplication::processEvents();
        bar->installEventFilter(&paints);
        window.installEventFilter(&parentPaints);
    }
};

int countPixels(const QImage& img, const QRect& area, const QColor& color)
{
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (img.pixelColor(x, y) == color)
                ++n;
    return n;
}

} // namespace

TEST(SegmentProgressArithmetic, RunsInEightyBitExtendedPrecision)
{
    EXPECT_EQ(std::numeric_limits<long double>::digits, 64);
}

TEST(SegmentProgressArithmetic, PercentFromValueRoundsHalfToEven)
{
    struct Case { int min, max, value, percent; };
    const std::vector<Case> cases = {
        {0, 8, 1, 12},     // 12.5 goes to the even neighbour
        {0, 8, 3, 38},     // 37.5 likewise goes up to the even one
        {0, 8, 5, 62},     // 62.5
        {0, 100, 44, 44},
        {-1, 0, 0, 100},
        {-1, 0, -1, 0},
        {0, 3, 1, 33},
        {0, 3, 2, 67},
        {10, 20, 15, 50},
        {INT_MIN, INT_MAX, INT_MAX, 100}, // a span beyond 32 bits still works
        {INT_MIN, INT_MAX, 0, 50},
        {INT_MIN, INT_MAX, INT_MIN, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TSegmentProgress::PercentFromValue(c.min, c.max, c.value), c.percent)
            << c.min << ".." << c.max << " value " << c.value;
}

TEST(SegmentProgressArithmetic, ValueFromPercentScalesTheRange)
{
    struct Case { int min, max, percent, value; };
    const std::vector<Case> cases = {
        {0, 8, 12, 1},    // 0.96
        {0, 8, 0, 0},
        {0, 200, 44, 88},
        {-1, 0, 100, 0},
        {10, 20, 0, 10},
        {-100, 100, 100, 100},
        {0, 1000, 33, 330},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TSegmentProgress::ValueFromPercent(c.min, c.max, c.percent), c.value)
            << c.min << ".." << c.max << " at " << c.percent << "%";
}

TEST(SegmentProgressArithmetic, FilledLengthTruncatesBelowTheExactHundredth)
{
    struct Case { int percent, length, filled; };
    const std::vector<Case> cases = {
        {5, 20, 0}, // 5 x 0.01 lies just below 0.05, so not 1
        {44, 237, 104},
        {100, 237, 237},
        {0, 237, 0},
        {44, 96, 42},
        {44, 0, 0},
        {44, -3, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TSegmentProgress::FilledLength(c.percent, c.length), c.filled)
            << c.percent << "% of " << c.length;
}

TEST(SegmentProgressArithmetic, SegmentsAndLitCount)
{
    struct SegmentCase { int length, space, count, segment; };
    const std::vector<SegmentCase> segments = {
        {237, 2, 100, 0}, // the window's bar: 0.37 -> 0, drawn as one block
        {237, 3, 10, 20},
        {100, 3, 10, 7},
        {20, 3, 10, -1},
        {237, 2, 0, 0},
    };
    for (const SegmentCase& c : segments)
        EXPECT_EQ(TSegmentProgress::SegmentLength(c.length, c.space, c.count), c.segment)
            << c.length << " px, space " << c.space << ", " << c.count << " segments";

    struct LitCase { int percent, count, lit; };
    const std::vector<LitCase> lit = {
        {5, 30, 1}, // 1.4999..., not the tie 1.5 that would give 2
        {44, 10, 4},
        {100, 100, 100},
        {0, 10, 0},
        {46, 10, 5},
    };
    for (const LitCase& c : lit)
        EXPECT_EQ(TSegmentProgress::LitCount(c.percent, c.count), c.lit) << c.percent << "% of " << c.count;
}

TEST(SegmentProgressRange, SettersFollowTheRangeRules)
{
    struct Step { enum Kind { Min, Max, Value, Pos } kind; int arg; int min, max, value, position; };
    struct Case { const char* name; std::vector<Step> steps; };
    const std::vector<Case> cases = {
        {"maximum below minimum swaps the roles",
         {{Step::Max, -1, -1, 0, 0, 100}}},
        {"maximum equal to minimum is ignored",
         {{Step::Value, 30, 0, 100, 30, 30}, {Step::Max, 0, 0, 100, 30, 30}}},
        {"value above the maximum is ignored",
         {{Step::Value, 44, 0, 100, 44, 44}, {Step::Value, 101, 0, 100, 44, 44}}},
        {"value below the minimum is ignored",
         {{Step::Value, 44, 0, 100, 44, 44}, {Step::Value, -1, 0, 100, 44, 44}}},
        {"shrinking maximum pulls the value to it",
         {{Step::Value, 80, 0, 100, 80, 80}, {Step::Max, 50, 0, 50, 50, 100}}},
        {"maximum past the other side pulls the value to the new maximum",
         {{Step::Value, 44, 0, 100, 44, 44}, {Step::Max, -50, -50, 0, 0, 100}}},
        {"minimum past the maximum swaps and pulls the value to the new minimum",
         {{Step::Min, 150, 100, 150, 100, 0}}},
        {"minimum equal to maximum is ignored",
         {{Step::Min, 100, 0, 100, 0, 0}}},
        {"raising the minimum keeps a value inside",
         {{Step::Value, 60, 0, 100, 60, 60}, {Step::Min, 20, 20, 100, 60, 50}}},
        {"position above 100 is stored as 100",
         {{Step::Pos, 150, 0, 100, 100, 100}}},
        {"position recomputes the value",
         {{Step::Max, 8, 0, 8, 0, 0}, {Step::Pos, 50, 0, 8, 4, 50}}},
        {"a range of blocks as the conversion reports it",
         {{Step::Value, 0, 0, 100, 0, 0}, {Step::Max, 2, 0, 2, 0, 0}, {Step::Value, 1, 0, 2, 1, 50},
          {Step::Value, 2, 0, 2, 2, 100}}},
        {"an unreadable input reports -1 as maximum and value",
         {{Step::Max, -1, -1, 0, 0, 100}, {Step::Value, -1, -1, 0, -1, 0}}},
    };
    for (const Case& c : cases) {
        TSegmentProgress bar;
        for (const Step& s : c.steps) {
            switch (s.kind) {
            case Step::Min: bar.SetMinValue(s.arg); break;
            case Step::Max: bar.SetMaxValue(s.arg); break;
            case Step::Value: bar.SetUserValue(s.arg); break;
            case Step::Pos: bar.SetPosition(s.arg); break;
            }
            EXPECT_EQ(bar.MinValue(), s.min) << c.name;
            EXPECT_EQ(bar.MaxValue(), s.max) << c.name;
            EXPECT_EQ(bar.UserValue(), s.value) << c.name;
            EXPECT_EQ(bar.Position(), s.position) << c.name;
        }
    }
}

TEST(SegmentProgressSettings, DeltaZeroReadsBackAsOne)
{
    TSegmentProgress bar;
    bar.SetDelta(0);
    EXPECT_EQ(bar.Delta(), 1);
    bar.SetDelta(7);
    EXPECT_EQ(bar.Delta(), 7);
}

TEST(SegmentProgressSettings, SegmentedStyleDerivesDeltaFromBarCountExceptWhileLoading)
{
    struct Case { TProgressStyle style; quint8 count; bool loading; quint8 delta; };
    const std::vector<Case> cases = {
        {pgSmallBar, 10, false, 5},
        {pgSmallBarColor, 4, false, 12},
        {pgSmallBarColor, 100, false, 1}, // (100 div 100) div 2 is 0, stored as 1
        {pgSmallBarColor, 0, false, 9},   // no segments: Delta stays
        {pgBar, 10, false, 9},
        {pgOwnerDraw, 10, false, 9},
        {pgSmallBarColor, 10, true, 9},
    };
    for (const Case& c : cases) {
        TSegmentProgress bar;
        bar.SetDelta(9);
        bar.SmallBar()->SetBarCount(c.count);
        bar.SetLoading(c.loading);
        bar.SetStyle(c.style);
        EXPECT_EQ(bar.Delta(), c.delta) << "style " << c.style << ", " << int(c.count) << " segments";
    }
}

TEST(SegmentProgressRedraw, PaintsOnlyWhenThePercentageMovedFarEnough)
{
    ShownBar shown;
    struct Step { int value; bool paints; };
    const std::vector<Step> steps = {
        {40, true}, {41, false}, {42, false}, {43, false}, {44, false}, {45, true},
        {97, true}, {100, true}, // an end point is always drawn
        {3, true},  {0, true},   {2, false}, {4, false}, {5, true},
        {1, false}, {0, true},
    };
    for (const Step& s : steps) {
        shown.paints.count = 0;
        shown.bar->SetUserValue(s.value);
        // No event processing in between: the paint must happen right away.
        EXPECT_EQ(shown.paints.count, s.paints ? 1 : 0) << "value " << s.value;
        // The bar covers its whole area, so the window underneath is not
        // painted again with it.
        EXPECT_EQ(shown.parentPaints.count, 0) << "value " << s.value;
    }
}

// Values that share a percentage are many in a conversion's range of
// blocks; each call must still leave the bar as if the percentage had been
// worked out for that value alone, and paint exactly where the gate opens.
TEST(SegmentProgressRedraw, LongRunsOfValuesKeepPositionsAndPaintsOfSingleValues)
{
    struct Step { enum Kind { Walk, Pos, Max, Delta } kind; long long from, to, step; };
    struct Case { const char* name; int min, max; std::vector<Step> steps; };
    const std::vector<Case> cases = {
        {"a gigabyte in blocks, up", 0, 8388608, {{Step::Walk, 0, 8388608, 97}}},
        {"ties to even, up and down", 0, 8, {{Step::Walk, 0, 8, 1}, {Step::Walk, 8, 0, -1}}},
        {"a negative range, up by one, down by three, then a lower gate",
         -1000, 1000, {{Step::Walk, -1000, 1000, 1}, {Step::Walk, 1000, -1000, -3}, {Step::Delta, 1, 0, 0},
                       {Step::Walk, -1000, 1000, 7}}},
        {"back into the run before a drawing", 0, 100000,
         {{Step::Walk, 50000, 50001, 1}, {Step::Walk, 90000, 90000, 1}, {Step::Walk, 50002, 50002, 1}}},
        {"the whole int range", INT_MIN, INT_MAX, {{Step::Walk, INT_MIN, INT_MAX, (1LL << 24) + 1}}},
        {"gate, position and range set in the middle of a run", 0, 100000,
         {{Step::Walk, 0, 42000, 13}, {Step::Pos, 40, 0, 0}, {Step::Walk, 42150, 42150, 1}, {Step::Delta, 1, 0, 0},
          {Step::Walk, 42001, 42100, 1}, {Step::Delta, 5, 0, 0}, {Step::Walk, 40000, 60000, 13},
          {Step::Max, 61000, 0, 0}, {Step::Walk, 60000, 61000, 100}, {Step::Delta, 2, 0, 0},
          {Step::Walk, 61000, 0, -11}}},
    };
    for (const Case& c : cases) {
        ShownBar shown;
        TSegmentProgress& bar = *shown.bar;
        bar.SetMinValue(c.min);
        bar.SetMaxValue(c.max);
        bar.SetPosition(0);
        bar.SetUserValue(c.min);
        bar.repaint(); // the last drawn position is now the bar's own
        QCoreApplication::processEvents();
        shown.paints.count = 0;
        int lastDrawn = bar.Position();
        int paints = 0;
        const auto gate = [&](int p) {
            if (std::abs(p - lastDrawn) >= bar.Delta() || (p != lastDrawn && (p == 0 || p == 100))) {
                ++paints;
                lastDrawn = p;
            }
        };
        for (const Step& s : c.steps) {
            switch (s.kind) {
            case Step::Walk:
                for (long long v = s.from; s.step > 0 ? v <= s.to : v >= s.to; v += s.step) {
                    const int value = static_cast<int>(v);
                    const bool moves = value != bar.UserValue();
                    bar.SetUserValue(value);
                    const int position = TSegmentProgress::PercentFromValue(bar.MinValue(), bar.MaxValue(), value);
                    if (moves)
                        gate(position);
                    ASSERT_EQ(bar.UserValue(), value) << c.name;
                    ASSERT_EQ(bar.Position(), position) << c.name << " value " << value;
                    ASSERT_EQ(shown.paints.count, paints) << c.name << " value " << value;
                }
                break;
            case Step::Pos:
                bar.SetPosition(static_cast<int>(s.from));
                gate(static_cast<int>(s.from));
                EXPECT_EQ(bar.UserValue(), TSegmentProgress::ValueFromPercent(bar.MinValue(), bar.MaxValue(),
                                                                              static_cast<int>(s.from)));
                break;
            case Step::Max:
                bar.SetMaxValue(static_cast<int>(s.from));
                ++paints; // a new range redraws in full
                lastDrawn = bar.Position();
                break;
            case Step::Delta:
                bar.SetDelta(static_cast<quint8>(s.from));
                break;
            }
            EXPECT_EQ(shown.paints.count, paints) << c.name;
        }
    }
}

TEST(SegmentProgressRedraw, PositionSetterUsesTheSameGate)
{
    ShownBar shown;
    shown.bar->SetPosition(3);
    EXPECT_EQ(shown.paints.count, 0);
    shown.bar->SetPosition(100);
    EXPECT_EQ(shown.paints.count, 1);
    shown.bar->SetPosition(98);
    EXPECT_EQ(shown.paints.count, 1);
}

TEST(SegmentProgressRedraw, SettingsChangesRepaintAtOnce)
{
    ShownBar shown;
    shown.bar->SetCaption(QStringLiteral("finished"));
    EXPECT_EQ(shown.paints.count, 1);
    shown.bar->SetCaption(QStringLiteral("finished"));
    EXPECT_EQ(shown.paints.count, 1);
    shown.bar->SetBarColor(Qt::red); // only pgBar uses it
    EXPECT_EQ(shown.paints.count, 1);
    shown.bar->SetDelta(3);
    EXPECT_EQ(shown.paints.count, 1);
    shown.bar->SetMaxValue(50);
    EXPECT_EQ(shown.paints.count, 2);
    shown.bar->SmallBar()->SetBarColor(Qt::blue);
    EXPECT_EQ(shown.paints.count, 3);
    shown.bar->setUpdatesEnabled(false); // the update lock
    shown.bar->SetCaption(QString());
    EXPECT_EQ(shown.paints.count, 3);
    shown.bar->setUpdatesEnabled(true);
}

TEST(SegmentProgressRedraw, HandlerMovingTheBarDoesNotPaintRecursively)
{
    ShownBar shown;
    shown.bar->resize(241, 20);
    shown.bar->SmallBar()->SetBarCount(10);
    shown.bar->SmallBar()->SetHSpace(3);
    shown.bar->SetDelta(5);
    QCoreApplication::processEvents();
    shown.paints.count = 0;
    int calls = 0;
    shown.bar->SetOnGetColor([&](TSegmentProgress* sender, quint8, QColor&) {
        ++calls;
        sender->SetUserValue(90);
    });
    shown.bar->SetUserValue(50);
    EXPECT_EQ(calls, 5);
    EXPECT_EQ(shown.paints.count, 1);
    EXPECT_EQ(shown.bar->UserValue(), 90);
}

TEST(SegmentProgressRedraw, FailingHandlerDoesNotBlockLaterDrawings)
{
    ShownBar shown;
    shown.bar->SmallBar()->SetBarCount(10);
    shown.bar->SmallBar()->SetHSpace(3);
    shown.bar->SetDelta(5);
    QCoreApplication::processEvents();
    shown.paints.count = 0;
    shown.bar->SetOnGetColor([](TSegmentProgress*, quint8, QColor&) { throw std::runtime_error("handler"); });
    EXPECT_THROW(shown.bar->SetUserValue(50), std::runtime_error);
    shown.bar->SetOnGetColor(nullptr);
    // 50 counts as drawn: 52 stays below Delta, 60 draws.
    shown.bar->SetUserValue(52);
    EXPECT_EQ(shown.paints.count, 0);
    shown.bar->SetUserValue(60);
    EXPECT_EQ(shown.paints.count, 1);
}

TEST(SegmentProgressPixels, WindowBarAt44PercentIsOneBlockInsideTheFrame)
{
    TSegmentProgress bar;
    configureLikeWindow(bar);
    bar.SetUserValue(44);
    const QImage img = bar.grab().toImage();
    saveScreenshot(bar, "segment_progress_44");
    ASSERT_EQ(img.size(), QSize(241, 20));

    for (int y = 2; y <= 17; ++y)
        for (int x = 2; x <= 238; ++x) {
            const bool inBlock = x >= 4 && x <= 103 && y >= 4 && y <= 15;
            ASSERT_EQ(img.pixelColor(x, y), inBlock ? kShadow : kFace) << x << "," << y;
        }
    // The sunken edge: shadow over highlight outside, dark shadow inside with
    // its bottom and right left in the background.
    EXPECT_EQ(img.pixelColor(0, 0), kShadow);
    EXPECT_EQ(img.pixelColor(120, 0), kShadow);
    EXPECT_EQ(img.pixelColor(0, 10), kShadow);
    EXPECT_EQ(img.pixelColor(120, 19), kHighlight);
    EXPECT_EQ(img.pixelColor(240, 10), kHighlight);
    EXPECT_EQ(img.pixelColor(120, 1), kDarkShadow);
    EXPECT_EQ(img.pixelColor(1, 10), kDarkShadow);
    EXPECT_EQ(img.pixelColor(120, 18), kFace);
    EXPECT_EQ(img.pixelColor(239, 10), kFace);
}

TEST(SegmentProgressPixels, FinishedAtFullIsDrawnInTheBackgroundColourOverTheBlock)
{
    TSegmentProgress bar;
    configureLikeWindow(bar);
    bar.SetUserValue(100);
    const QImage plain = bar.grab().toImage();
    bar.SetCaption(QStringLiteral("finished"));
    const QImage img = bar.grab().toImage();
    saveScreenshot(bar, "segment_progress_finished");

    const QRect block(4, 4, 233, 12); // x 4..236, y 4..15
    EXPECT_EQ(countPixels(plain, block, kShadow), block.width() * block.height());
    const int textPixels = countPixels(img, block, kFace);
    EXPECT_GT(textPixels, 20);
    EXPECT_EQ(countPixels(img, block, kShadow) + textPixels, block.width() * block.height());
}

TEST(SegmentProgressPixels, CaptionTakesTheOppositeColourOnEachSideOfTheEdge)
{
    TSegmentProgress bar;
    configureLikeWindow(bar);
    bar.SetUserValue(44);
    const QImage empty = bar.grab().toImage();
    bar.SetCaption(QStringLiteral("converting the file"));
    const QImage img = bar.grab().toImage();
    saveScreenshot(bar, "segment_progress_caption");

    int overFilled = 0;
    int overEmpty = 0;
    for (int y = 2; y <= 17; ++y)
        for (int x = 2; x <= 238; ++x) {
            if (img.pixelColor(x, y) == empty.pixelColor(x, y))
                continue;
            // Filled part is x 2..105 of the inner area.
            if (x <= 105) {
                EXPECT_EQ(img.pixelColor(x, y), kFace) << x << "," << y;
                ++overFilled;
            } else {
                EXPECT_EQ(img.pixelColor(x, y), kShadow) << x << "," << y;
                ++overEmpty;
            }
        }
    EXPECT_GT(overFilled, 10);
    EXPECT_GT(overEmpty, 10);
}

TEST(SegmentProgressPixels, FontColourOptionDrawsTheTextOnce)
{
    TSegmentProgress bar;
    configureLikeWindow(bar);
    bar.SetUserValue(44);
    bar.SetOptionsText(toPercent);
    bar.SetUseFontColor(true);
    const QImage img = bar.grab().toImage();
    EXPECT_GT(countPixels(img, QRect(2, 2, 237, 16), Qt::black), 10);
    bar.SetOptionsText(toNoText);
    EXPECT_EQ(countPixels(bar.grab().toImage(), QRect(2, 2, 237, 16), Qt::black), 0);
}

TEST(SegmentProgressPixels, FilledPartFollowsTheDirection)
{
    struct Case { TMeterDirection direction; QSize size; QRect filled; };
    // Inner area of 241 x 20 is (2,2) 237 x 16: 44 % is 104 pixels. Of 20 x 100
    // it is (2,2) 16 x 96: 44 % is 42 pixels.
    const std::vector<Case> cases = {
        {mdHorizontal, {241, 20}, QRect(2, 2, 104, 16)},
        {mdHorizontalReverse, {241, 20}, QRect(239 - 104, 2, 104, 16)},
        {mdVertical, {20, 100}, QRect(2, 2, 16, 42)},
        {mdVerticalReverse, {20, 100}, QRect(2, 98 - 42, 16, 42)},
    };
    for (const Case& c : cases) {
        TSegmentProgress bar;
        bar.setPalette(testPalette());
        bar.resize(c.size);
        bar.SetStyle(pgBar);
        bar.SetBarColor(Qt::red);
        bar.SetDirection(c.direction);
        bar.SetUserValue(44);
        const QImage img = bar.grab().toImage();
        const QRect inner(2, 2, c.size.width() - 4, c.size.height() - 4);
        for (int y = inner.top(); y <= inner.bottom(); ++y)
            for (int x = inner.left(); x <= inner.right(); ++x)
                ASSERT_EQ(img.pixelColor(x, y), c.filled.contains(x, y) ? QColor(Qt::red) : kFace)
                    << "direction " << c.direction << " at " << x << "," << y;
    }
}

TEST(SegmentProgressPixels, SegmentsAreLitFromTheLeadingEdgeWithColoursFromTheHandler)
{
    // 237 inner pixels, 10 segments, spacing 3: each segment 20 wide after
    // a gap of 3, rows 5..14.
    struct Case { TMeterDirection direction; std::vector<int> litSlots; };
    const std::vector<Case> cases = {
        {mdHorizontal, {0, 1, 2, 3}},
        {mdHorizontalReverse, {9, 8, 7, 6}},
    };
    const std::vector<QColor> colours = {Qt::red, Qt::green, Qt::blue, Qt::magenta};
    for (const Case& c : cases) {
        TSegmentProgress bar;
        bar.setPalette(testPalette());
        bar.resize(241, 20);
        bar.SmallBar()->SetAutoSize(false);
        bar.SmallBar()->SetBarCount(10);
        bar.SmallBar()->SetBarColor(kShadow);
        bar.SetStyle(pgSmallBarColor);
        bar.SetDirection(c.direction);
        std::vector<int> asked;
        bar.SetOnGetColor([&](TSegmentProgress*, quint8 nr, QColor& color) {
            EXPECT_EQ(color, kShadow);
            asked.push_back(nr);
            color = colours[nr % colours.size()];
        });
        bar.SetUserValue(44);
        const QImage img = bar.grab().toImage();
        if (c.direction == mdHorizontal)
            saveScreenshot(bar, "segment_progress_segments");
        asked.clear();
        bar.grab();
        EXPECT_EQ(asked, (std::vector<int>{0, 1, 2, 3}));

        std::vector<QColor> expected(237 + 4, kFace);
        for (size_t i = 0; i < c.litSlots.size(); ++i)
            for (int x = 2 + 3 + c.litSlots[i] * 23; x < 2 + (c.litSlots[i] + 1) * 23; ++x)
                expected[x] = colours[i];
        for (int x = 2; x <= 238; ++x) {
            EXPECT_EQ(img.pixelColor(x, 5), expected[x]) << "direction " << c.direction << " x " << x;
            EXPECT_EQ(img.pixelColor(x, 14), expected[x]) << "direction " << c.direction << " x " << x;
            EXPECT_EQ(img.pixelColor(x, 4), kFace);
            EXPECT_EQ(img.pixelColor(x, 15), kFace);
        }
    }
}

TEST(SegmentProgressPixels, OwnerDrawGetsTheFilledAndEmptyParts)
{
    TSegmentProgress bar;
    bar.resize(241, 20);
    bar.SetStyle(pgOwnerDraw);
    QRect gotDest, gotNotDest, gotRect;
    bar.SetOnPaint([&](TSegmentProgress*, QPainter& canvas, const QRect& dest, const QRect& notDest,
                       const QRect& aRect) {
        gotDest = dest;
        gotNotDest = notDest;
        gotRect = aRect;
        canvas.fillRect(dest, Qt::green);
    });
    bar.SetUserValue(44);
    const QImage img = bar.grab().toImage();
    EXPECT_EQ(gotRect, QRect(2, 2, 237, 16));
    EXPECT_EQ(gotDest, QRect(2, 2, 104, 16));
    EXPECT_EQ(gotNotDest, QRect(106, 2, 133, 16));
    EXPECT_EQ(img.pixelColor(50, 10), QColor(Qt::green));
}

// AutoSizeBars itself is protected; this exposes one step of it.
class AutoSizingBar : public TSegmentProgress {
public:
    using TSegmentProgress::AutoSizeBars;
};

TEST(SegmentProgressAutoSize, SegmentedBarSnapsItsWidthToWholeSegments)
{
    struct Case { bool autoSize; std::optional<TProgressStyle> style; int start, firstStep, settled; };
    // (20 + 3) x 10 + 3 + 2 x 2 = 237. From 20 pixels the segment length is
    // truncate((16 - 30) / 10) = -1: (-1 + 3) x 10 + 3 + 4 = 27; from 27 it
    // is truncate(-0.7) = 0, which gives 37.
    const std::vector<Case> cases = {
        {true, pgSmallBar, 241, 237, 237},
        {true, pgSmallBarColor, 241, 237, 237},
        {false, pgSmallBar, 241, 241, 241},
        {true, pgBar, 241, 241, 241},
        {true, std::nullopt, 241, 237, 237}, // segmented unless told otherwise
        {true, pgSmallBar, 20, 27, 37},
    };
    for (const Case& c : cases) {
        const auto configure = [&c](TSegmentProgress& bar) {
            bar.resize(c.start, 20);
            bar.SmallBar()->SetBarCount(10);
            bar.SmallBar()->SetAutoSize(c.autoSize);
            if (c.style)
                bar.SetStyle(*c.style);
        };
        AutoSizingBar alone;
        configure(alone);
        alone.AutoSizeBars();
        EXPECT_EQ(alone.width(), c.firstStep) << "auto " << c.autoSize << " from " << c.start;

        QWidget window;
        window.resize(300, 60);
        auto* bar = new TSegmentProgress(&window);
        configure(*bar);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        for (int i = 0; i < 4; ++i)
            QCoreApplication::processEvents();
        EXPECT_EQ(bar->width(), c.settled) << "auto " << c.autoSize << " from " << c.start;
        EXPECT_EQ(bar->height(), 20);
    }
}
