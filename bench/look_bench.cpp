// Times "Look…" as a user meets it: the real main window, page 3, a click on
// "Look…" until the whole file's plot is drawn, on whatever display Qt is
// given (bench/run.sh gives it a virtual X display), with FIELDS fields
// plotted. The choice of fields is made in a first look window, closed,
// and kept for the header, so the timed click opens on all of them at once.
// usage: look_bench [-m] [--fields N] INPUT   (-m counts on past midnight;
// N defaults to 3)
// Prints the wall and processor seconds from the click to the plot drawn,
// and how far the process's memory grew meanwhile (peak against before, in
// KiB). Exits 1 when the window did not show a plot.

#include "FakePlatform.h"
#include "FontSetup.h"
#include "TBevelButton.h"
#include "TBevelCheckBox.h"
#include "TLocaleTimeSettings.h"
#include "TLookButton.h"
#include "TLookWindow.h"
#include "TPlotView.h"
#include "TStyledPageControl.h"
#include "TStyledTabBar.h"
#include "WindowBench.h"
#include "uMain.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <QTest>

#include <sys/resource.h>

#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

long PeakKiB()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// The resident memory now, from the kernel's own account.
long ResidentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return 0;
}

bool WaitForReading(TLookWindow* look)
{
    QElapsedTimer timer;
    timer.start();
    // Sleeping between looks, so that the waiting takes no processor from
    // the reading; a millisecond at a time, so that the end is not missed
    // by more.
    while (look->Reading() && timer.elapsed() < 600'000)
        QTest::qWait(1);
    return !look->Reading();
}

TLookWindow* ClickLook(TLookButton& button)
{
    QTest::mouseClick(button.Button(), Qt::LeftButton);
    return button.Window();
}

int Usage()
{
    std::fprintf(stderr, "usage: look_bench [-m] [--fields N] INPUT\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    bool acrossMidnight = false;
    int fields = 3;
    QString input;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-m")
            acrossMidnight = true;
        else if (arg == "--fields" && i + 1 < argc)
            fields = std::atoi(argv[++i]);
        else if (!arg.empty() && arg[0] != '-' && input.isEmpty())
            input = QFileInfo(QString::fromLocal8Bit(argv[i])).absoluteFilePath();
        else
            return Usage();
    }
    if (input.isEmpty() || fields < 1)
        return Usage();

    PrepareProcess();
    QApplication app(argc, argv);
    FontSetup::SetUpFonts();

    FakePlatform platform(true);
    TfMain window;
    if (!ShowWindow(window, "look_bench"))
        return 1;
    window.ChooseInputFiles({input});
    Settle();
    if (acrossMidnight) {
        QTest::mouseClick(window.cb_AcrossMidnight, Qt::LeftButton, {},
                          QPoint(4, window.cb_AcrossMidnight->height() / 2));
        Settle();
    }
    QTabBar* bar = window.PageControl1->StyledTabBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(2).center());
    Settle();
    TLookButton* button = window.findChild<TLookButton*>();
    if (button == nullptr || window.PageControl1->ActivePageIndex() != 2) {
        std::fprintf(stderr, "look_bench: page 3 or its Look… did not show\n");
        return 1;
    }

    // The choice: the first `fields` fields after the clock. The first look
    // already plots the first numeric one; ticking each other reads again.
    TLookWindow* look = ClickLook(*button);
    if (look == nullptr || !WaitForReading(look) || look->Fields()->count() <= fields) {
        std::fprintf(stderr, "look_bench: the file has no %d fields to plot\n", fields);
        return 1;
    }
    for (int row = 1; row <= fields; ++row) {
        look->Fields()->item(row)->setCheckState(Qt::Checked);
        WaitForReading(look);
    }
    look->close();
    Settle();

    const long residentBefore = ResidentKiB();
    const double cpuBefore = ProcessorSeconds();
    const auto start = std::chrono::steady_clock::now();
    look = ClickLook(*button);
    const bool read = look != nullptr && WaitForReading(look) && QTest::qWaitForWindowExposed(look);
    if (read)
        look->Plot()->repaint();
    const auto end = std::chrono::steady_clock::now();
    const double cpu = ProcessorSeconds() - cpuBefore;
    const long grown = PeakKiB() - residentBefore;

    if (!read || look->Plot()->Data().Series.size() != static_cast<std::size_t>(fields)) {
        std::fprintf(stderr, "look_bench: the look window did not plot %d fields\n", fields);
        return 1;
    }
    std::printf("%.3f %.3f %ld\n", std::chrono::duration<double>(end - start).count(), cpu, grown);
    return 0;
}
