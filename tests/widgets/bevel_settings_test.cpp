#include "TBevelSettings.h"

#include <QImage>
#include <QPainter>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace {

const QColor kBack(240, 240, 240);
const QColor kShadow(160, 160, 160);
const QColor kHighlight(255, 255, 255);
const QColor kDarkShadow(105, 105, 105);
const QColor kBorder(200, 0, 0);

QPalette testPalette()
{
    QPalette pal;
    pal.setColor(QPalette::Dark, kShadow);
    pal.setColor(QPalette::Light, kHighlight);
    pal.setColor(QPalette::Shadow, kDarkShadow);
    return pal;
}

struct Rendered {
    QImage image;
    QRect inner;
};

Rendered render(const TBevelSettings& bevel, QSize size = QSize(12, 9))
{
    Rendered r{QImage(size, QImage::Format_RGB32), {}};
    r.image.fill(kBack);
    QPainter painter(&r.image);
    r.inner = bevel.Paint(painter, QRect(QPoint(0, 0), size), testPalette());
    return r;
}

// Colour of ring `ring` (0 = outermost) on each side, taken away from the
// corners: top, left, bottom, right.
std::vector<QColor> ringSides(const QImage& img, int ring)
{
    const int midX = img.width() / 2;
    const int midY = img.height() / 2;
    return {img.pixelColor(midX, ring), img.pixelColor(ring, midY), img.pixelColor(midX, img.height() - 1 - ring),
            img.pixelColor(img.width() - 1 - ring, midY)};
}

} // namespace

TEST(BevelSettings, FrameWidthPerMode)
{
    struct Case { TBevelMode mode; TBevelStyle outer; TBevelStyle standard; int border; int inner; int width; };
    const std::vector<Case> cases = {
        {bmWindows, bsLowered, bsSingle, 1, 0, 2}, // the styles and BorderWidth do not count here
        {bmWindows, bsNone, bsNone, 0, 3, 5},
        {bmEdge, bsLowered, bsLowered, 1, 0, 2},
        {bmStandard, bsNone, bsLowered, 4, 0, 1},
        {bmStandard, bsNone, bsNone, 4, 0, 0},
        {bmCustom, bsRaised, bsNone, 2, 1, 4},
        {bmCustom, bsNone, bsNone, 0, 0, 0},
    };
    for (const Case& c : cases) {
        TBevelSettings bevel;
        bevel.SetMode(c.mode);
        bevel.SetStyleOuter(c.outer);
        bevel.SetStandardStyle(c.standard);
        bevel.SetBorderWidth(c.border);
        bevel.SetBorderInnerWidth(c.inner);
        EXPECT_EQ(bevel.FrameWidth(), c.width) << "mode " << c.mode;
        const Rendered r = render(bevel);
        EXPECT_EQ(r.inner, QRect(0, 0, 12, 9).adjusted(c.width, c.width, -c.width, -c.width)) << "mode " << c.mode;
    }
}

TEST(BevelSettings, RingsHaveTheClassicEdgeColours)
{
    struct Case { const char* name; TBevelMode mode; std::vector<QColor> outer; std::vector<QColor> inner; };
    const std::vector<Case> cases = {
        // Sunken: the inner ring's bottom and right keep the background.
        {"windows", bmWindows, {kShadow, kShadow, kHighlight, kHighlight},
         {kDarkShadow, kDarkShadow, kBack, kBack}},
        // Etched: a sunken ring outside, a raised one inside.
        {"edge", bmEdge, {kShadow, kShadow, kHighlight, kHighlight}, {kHighlight, kHighlight, kShadow, kShadow}},
    };
    for (const Case& c : cases) {
        TBevelSettings bevel;
        bevel.SetMode(c.mode);
        const Rendered r = render(bevel);
        EXPECT_EQ(ringSides(r.image, 0), c.outer) << c.name;
        EXPECT_EQ(ringSides(r.image, 1), c.inner) << c.name;
        EXPECT_EQ(r.image.pixelColor(6, 4), kBack) << c.name << ": the inside stays untouched";
        // The light side owns the far corners of the outer ring.
        EXPECT_EQ(r.image.pixelColor(11, 0), kHighlight) << c.name;
        EXPECT_EQ(r.image.pixelColor(0, 8), kHighlight) << c.name;
        EXPECT_EQ(r.image.pixelColor(0, 0), kShadow) << c.name;
    }
}

TEST(BevelSettings, InnerBorderRingsFollowTheEdge)
{
    TBevelSettings bevel;
    bevel.SetBorderColor(kBorder);
    bevel.SetBorderInnerWidth(2);
    const Rendered r = render(bevel, QSize(14, 11));
    EXPECT_EQ(ringSides(r.image, 2), std::vector<QColor>(4, kBorder));
    EXPECT_EQ(ringSides(r.image, 3), std::vector<QColor>(4, kBorder));
    EXPECT_EQ(r.image.pixelColor(7, 5), kBack);
    EXPECT_EQ(r.inner, QRect(4, 4, 6, 3));
}

TEST(BevelSettings, TinyRectangleDoesNotDrawOutside)
{
    TBevelSettings bevel;
    QImage img(QSize(8, 8), QImage::Format_RGB32);
    img.fill(kBack);
    QPainter painter(&img);
    const QRect inner = bevel.Paint(painter, QRect(3, 3, 1, 1), testPalette());
    painter.end();
    EXPECT_TRUE(inner.isEmpty());
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            if (x != 3 || y != 3) {
                EXPECT_EQ(img.pixelColor(x, y), kBack) << x << "," << y;
            }
        }
    }
}

TEST(BevelSettings, ChangedIsEmittedOnlyForRealChanges)
{
    struct Case { const char* name; std::function<void(TBevelSettings&)> change; int emitted; };
    const std::vector<Case> cases = {
        {"same mode", [](TBevelSettings& b) { b.SetMode(bmWindows); }, 0},
        {"new mode", [](TBevelSettings& b) { b.SetMode(bmEdge); }, 1},
        {"same outer style", [](TBevelSettings& b) { b.SetStyleOuter(bsNone); }, 0},
        {"new outer style", [](TBevelSettings& b) { b.SetStyleOuter(bsRaised); }, 1},
        {"same standard style", [](TBevelSettings& b) { b.SetStandardStyle(bsLowered); }, 0},
        {"new standard style", [](TBevelSettings& b) { b.SetStandardStyle(bsSingle); }, 1},
        {"new border width", [](TBevelSettings& b) { b.SetBorderWidth(2); }, 1},
        {"negative border width is none", [](TBevelSettings& b) { b.SetBorderWidth(-4); }, 0},
        {"new inner width", [](TBevelSettings& b) { b.SetBorderInnerWidth(1); }, 1},
        {"same colour", [](TBevelSettings& b) { b.SetBorderColor(Qt::black); }, 0},
        {"new colour", [](TBevelSettings& b) { b.SetBorderColor(Qt::red); }, 1},
    };
    for (const Case& c : cases) {
        TBevelSettings bevel;
        QSignalSpy spy(&bevel, &TBevelSettings::changed);
        c.change(bevel);
        EXPECT_EQ(spy.count(), c.emitted) << c.name;
    }
}
