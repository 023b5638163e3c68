#include "WindowFixture.h"

#include "TBevelButton.h"
#include "TBevelCheckBox.h"
#include "TLookButton.h"
#include "TLookWindow.h"
#include "TPlotView.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QListWidget>
#include <QPointer>
#include <QTest>

#include <cstdlib>

namespace {

std::string Lines(int count, int fieldsPerLine = 3)
{
    std::string bytes = "Time,Temp,Note,Valve\r\n";
    for (int i = 0; i < count; ++i) {
        char clock[16];
        std::snprintf(clock, sizeof clock, "%02d:%02d:%02d", 10 + i / 3600 % 12, i / 60 % 60, i % 60);
        bytes += clock;
        bytes += "," + std::to_string(i % 100) + ".5,ok";
        if (fieldsPerLine > 2)
            bytes += "," + std::to_string(i % 7);
        bytes += "\r\n";
    }
    return bytes;
}

std::int64_t Points(const TPlotData& data, std::size_t series)
{
    std::int64_t count = 0;
    for (const TPlotValues& v : data.Series.at(series))
        count += v.Count;
    return count;
}

// The window with a configuration folder of its own, which outlives it.
class LookWindowTest : public WindowFixture {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QDir().mkpath(dir_.filePath(QStringLiteral("config"))));
        platform_.ConfigFolder = dir_.filePath(QStringLiteral("config"));
        WindowFixture::SetUp();
    }
    TLookWindow* OpenLook(const QString& name, const std::string& bytes)
    {
        ChooseThroughDialog(WritePe(name, bytes));
        ClickTab(2);
        TLookButton* look = window_->findChild<TLookButton*>();
        EXPECT_NE(look, nullptr);
        QTest::mouseClick(look->Button(), Qt::LeftButton);
        Settle();
        return look->Window();
    }
    static void WaitForReading(TLookWindow* look)
    {
        QElapsedTimer timer;
        timer.start();
        while (look->Reading() && timer.elapsed() < 20000)
            QTest::qWait(10);
        ASSERT_EQ(look->Reading(), false);
    }
    static void Tick(QListWidget* list, int row)
    {
        const QRect item = list->visualItemRect(list->item(row));
        // The check box sits at the item's left.
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(item.left() + 10, item.center().y()));
    }
};

} // namespace

TEST_F(LookWindowTest, LookOpensAWindowOfItsOwnPlottingTheFirstNumericFieldOfTheWholeFile)
{
    TLookWindow* look = OpenLook(QStringLiteral("a.pe"), Lines(500));
    ASSERT_NE(look, nullptr);
    EXPECT_EQ(look->isVisible(), true);
    EXPECT_EQ(look->isModal(), false);
    EXPECT_EQ(look->isWindow(), true);
    WaitForReading(look);
    ASSERT_EQ(look->Fields()->count(), 4);
    EXPECT_EQ(look->Fields()->item(0)->text(), QStringLiteral("Time"));
    std::vector<Qt::CheckState> ticks;
    for (int k = 0; k < 4; ++k)
        ticks.push_back(look->Fields()->item(k)->checkState());
    EXPECT_EQ(ticks, (std::vector<Qt::CheckState>{Qt::Unchecked, Qt::Checked, Qt::Unchecked, Qt::Unchecked}));
    const TPlotData& data = look->Plot()->Data();
    EXPECT_EQ(data.Names, QStringList{QStringLiteral("Temp")});
    EXPECT_EQ(Points(data, 0), 500);
    EXPECT_EQ(data.To, 499'001);
    EXPECT_EQ(data.StartClock, 10 * 3'600'000);
    EXPECT_EQ(look->Plot()->Message(), QString());
    // The main window stays usable beside it.
    EXPECT_EQ(window_->isEnabled(), true);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(platform_.MessageBoxes.size(), 0u);
}

TEST_F(LookWindowTest, TickingAFieldPlotsItBesideTheFirstAndTheChoiceIsKeptForTheHeader)
{
    TLookWindow* look = OpenLook(QStringLiteral("b.pe"), Lines(300));
    WaitForReading(look);
    Tick(look->Fields(), 3);
    WaitForReading(look);
    const TPlotData& data = look->Plot()->Data();
    EXPECT_EQ(data.Names, (QStringList{QStringLiteral("Temp"), QStringLiteral("Valve")}));
    EXPECT_EQ(Points(data, 1), 300);
    // A field that is never a number says so instead of drawing nothing.
    Tick(look->Fields(), 1);
    Tick(look->Fields(), 3);
    Tick(look->Fields(), 2);
    WaitForReading(look);
    EXPECT_NE(look->Plot()->Message().indexOf(QStringLiteral("No number at all in Note")), -1)
        << look->Plot()->Message().toStdString();
    Tick(look->Fields(), 2);
    Tick(look->Fields(), 3);
    WaitForReading(look);
    // Opened again for a file with the same header, the same fields; in the
    // next session too.
    for (const QString& name : {QStringLiteral("c.pe"), QStringLiteral("d.pe")}) {
        look = OpenLook(name, Lines(20));
        WaitForReading(look);
        EXPECT_EQ(look->Fields()->item(1)->checkState(), Qt::Unchecked) << name.toStdString();
        EXPECT_EQ(look->Fields()->item(3)->checkState(), Qt::Checked) << name.toStdString();
        NewWindow();
    }
}

TEST_F(LookWindowTest, DraggingAcrossThePlotReadsThatSpanAgainWithEveryLineAndEscGoesBackOut)
{
    TLookWindow* look = OpenLook(QStringLiteral("d.pe"), Lines(20000));
    WaitForReading(look);
    TPlotView* plot = look->Plot();
    const QRect area = plot->PlotArea();
    const QPoint from(area.left() + area.width() / 4, area.center().y());
    const QPoint to(area.left() + area.width() / 2, area.center().y());
    QTest::mousePress(plot, Qt::LeftButton, {}, from);
    QTest::mouseMove(plot, to);
    QTest::mouseRelease(plot, Qt::LeftButton, {}, to);
    WaitForReading(look);
    ASSERT_EQ(look->Spans().size(), 1u);
    const auto [start, end] = look->Spans().front();
    EXPECT_EQ(plot->Data().From, start);
    EXPECT_EQ(plot->Data().To, end);
    // One line a second: every whole second of the span is a point.
    EXPECT_EQ(Points(plot->Data(), 0), (end - 1) / 1000 - (start + 999) / 1000 + 1);
    QTest::keyClick(plot, Qt::Key_Escape);
    WaitForReading(look);
    EXPECT_EQ(look->Spans().size(), 0u);
    EXPECT_EQ(plot->Data().From, 0);
    EXPECT_EQ(Points(plot->Data(), 0), 20000);
    // The wheel zooms in around the mouse; "Whole file" comes back.
    QWheelEvent wheel(QPointF(area.center()), plot->mapToGlobal(QPointF(area.center())), {}, {0, 120}, Qt::NoButton,
                      {}, Qt::NoScrollPhase, false);
    QApplication::sendEvent(plot, &wheel);
    WaitForReading(look);
    ASSERT_EQ(look->Spans().size(), 1u);
    EXPECT_EQ(plot->Data().To - plot->Data().From, (19'999'001 + 1) / 2);
    QTest::mouseClick(look->WholeButton(), Qt::LeftButton);
    EXPECT_EQ(look->Spans().size(), 0u);
    EXPECT_EQ(Points(plot->Data(), 0), 20000);
}

TEST_F(LookWindowTest, ASpikeInTheTopRightCornerShowsWithTheLegendInRowsAboveThePlot)
{
    // Eight fields of long names, whose legend takes rows; in the first,
    // one line of 300 far above the rest, near the end: its line runs up to
    // the plot's top right, where a legend on the plot would stand.
    std::string bytes = "Time";
    for (int f = 1; f <= 8; ++f)
        bytes += ",A rather long field name " + std::to_string(f);
    bytes += "\r\n";
    for (int i = 0; i < 300; ++i) {
        char clock[16];
        std::snprintf(clock, sizeof clock, "10:%02d:%02d", i / 60, i % 60);
        bytes += std::string(clock) + (i == 290 ? ",999.5" : ",1.5");
        for (int f = 2; f <= 8; ++f)
            bytes += "," + std::to_string((i + f) % 7);
        bytes += "\r\n";
    }
    TLookWindow* look = OpenLook(QStringLiteral("s.pe"), bytes);
    WaitForReading(look);
    for (int row = 2; row <= 8; ++row) {
        Tick(look->Fields(), row);
        WaitForReading(look);
    }
    TPlotView* plot = look->Plot();
    ASSERT_EQ(plot->Data().Names.size(), 8);
    const QImage image = plot->grab().toImage();
    const QRect area = plot->PlotArea();
    const QColor colour = TPlotView::Colour(0);
    const auto near = [&](const QColor& c) {
        return std::abs(c.red() - colour.red()) + std::abs(c.green() - colour.green()) +
                   std::abs(c.blue() - colour.blue()) < 90;
    };
    // Rows of the plot's top where the spike's line is seen, drawn smooth.
    const int x = plot->XOf(290'000);
    int rows = 0;
    for (int y = area.top() + 2; y < area.top() + 62; ++y) {
        bool seen = false;
        for (int dx = -2; dx <= 2; ++dx)
            seen |= near(image.pixelColor(x + dx, y));
        rows += seen;
    }
    EXPECT_GE(rows, 55);
    // No legend text inside the plot: nothing there is as dark as text.
    int dark = 0;
    for (int y = area.top() + 2; y < area.top() + 40; ++y) {
        for (int px = area.left() + 2; px < area.right() - 1; ++px) {
            const QColor c = image.pixelColor(px, y);
            dark += std::max({c.red(), c.green(), c.blue()}) < 90;
        }
    }
    EXPECT_EQ(dark, 0);
}

TEST_F(LookWindowTest, SavePictureWritesThePlotAsShownToTheChosenFile)
{
    TLookWindow* look = OpenLook(QStringLiteral("e.pe"), Lines(100));
    WaitForReading(look);
    const QString path = dir_.filePath(QStringLiteral("plot.png"));
    platform_.QueueSaveAnswer(path);
    QTest::mouseClick(look->SaveButton(), Qt::LeftButton);
    Settle();
    ASSERT_EQ(platform_.SaveRequests.size(), 1u);
    EXPECT_EQ(platform_.SaveRequests[0].DefaultExt, QStringLiteral("png"));
    const QImage saved(path, "PNG");
    EXPECT_EQ(saved.size(), look->Plot()->size() * look->Plot()->devicePixelRatio());
    EXPECT_EQ(saved == look->Plot()->grab().toImage().convertToFormat(saved.format()), true);
    // Cancelled, nothing is written.
    QFile::remove(path);
    platform_.QueueSaveAnswer(std::nullopt);
    QTest::mouseClick(look->SaveButton(), Qt::LeftButton);
    Settle();
    EXPECT_EQ(QFile::exists(path), false);
}

TEST_F(LookWindowTest, ClosingTheWindowDuringTheReadingStopsItAndLeavesTheMainWindowAsItWas)
{
    TLookWindow* look = OpenLook(QStringLiteral("f.pe"), Lines(400000));
    ASSERT_NE(look, nullptr);
    QPointer<TLookWindow> watched(look);
    EXPECT_EQ(look->Reading(), true);
    look->close();
    EXPECT_EQ(look->Reading(), false);
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(watched.isNull(), true);
    EXPECT_EQ(window_->isVisible(), true);
    EXPECT_EQ(platform_.MessageBoxes.size(), 0u);
}

TEST_F(LookWindowTest, FilesWithNothingToPlotSaySoInTheLookWindowWithoutABox)
{
    const struct {
        const char* name;
        std::string bytes;
        const char* says;
    } rows[] = {
        {"empty.pe", "", "is empty"},
        {"header.pe", "Time,A\r\n", "has no data line"},
        {"clock.pe", "Time,A\r\nnoon,1\r\n", "has no time of day"},
    };
    for (const auto& row : rows) {
        TLookWindow* look = OpenLook(QString::fromLatin1(row.name), row.bytes);
        ASSERT_NE(look, nullptr);
        WaitForReading(look);
        EXPECT_NE(look->Plot()->Message().indexOf(QString::fromLatin1(row.says)), -1)
            << look->Plot()->Message().toStdString();
        look->close();
    }
    EXPECT_EQ(platform_.MessageBoxes.size(), 0u);
}
