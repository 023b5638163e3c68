// Times the window's own conversion: the real main window on the offscreen
// platform, driven the way a user drives it, with every box and dialog
// answered by the scripted platform layer.
// usage: window_bench [--to CHAR] [-r] [-o OUTPUT] INPUT...
//   --to CHAR  type CHAR into every replacement box of both rows
//   -r         tick the relative time box on page 1
//   -o OUTPUT  choose OUTPUT in the save dialog (default: the proposed name)
// Several inputs are chosen at once, as a drop of them does, and converted
// by one "&Go", each output beside its input.
// Prints the wall and processor seconds from the click on "&Go" until the
// run returns. Exits 1 when the run did not end with "finished" or showed a
// box other than a batch's summary of every file converted.

#include "FakePlatform.h"
#include "FontSetup.h"
#include "TBevelButton.h"
#include "TBevelCheckBox.h"
#include "TBevelEdit.h"
#include "TFileOpenEdit.h"
#include "TLocaleTimeSettings.h"
#include "TSegmentProgress.h"
#include "TStyledPageControl.h"
#include "TStyledTabBar.h"
#include "WindowBench.h"
#include "uMain.h"

#include <QApplication>
#include <QFileInfo>
#include <QStringList>
#include <QTest>

#include <sys/resource.h>

#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

void ClickTab(TfMain& window, int index)
{
    QTabBar* bar = window.PageControl1->StyledTabBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index).center());
    Settle();
}

int Usage()
{
    std::fprintf(stderr, "usage: window_bench [--to CHAR] [-r] [-o OUTPUT] INPUT\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    std::string to;
    bool relativeTime = false;
    QString output;
    QStringList inputs;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--to" && i + 1 < argc && std::strlen(argv[i + 1]) == 1)
            to.assign(1, argv[++i][0]);
        else if (arg == "-r")
            relativeTime = true;
        else if (arg == "-o" && i + 1 < argc)
            output = QFileInfo(QString::fromLocal8Bit(argv[++i])).absoluteFilePath();
        else if (!arg.empty() && arg[0] != '-')
            inputs.append(QFileInfo(QString::fromLocal8Bit(argv[i])).absoluteFilePath());
        else
            return Usage();
    }
    if (inputs.isEmpty())
        return Usage();

    PrepareProcess();
    QApplication app(argc, argv);
    FontSetup::SetUpFonts();

    // In place before the window is made: its boxes and dialogs come here.
    FakePlatform platform(true);
    TfMain window;
    if (!ShowWindow(window, "window_bench"))
        return 1;

    window.ChooseInputFiles(inputs);
    Settle();
    if (relativeTime) {
        QTest::mouseClick(window.cb_RelativeTimeSeperator, Qt::LeftButton, {},
                          QPoint(4, window.cb_RelativeTimeSeperator->height() / 2));
        Settle();
    }
    ClickTab(window, 2);
    if (window.PageControl1->ActivePageIndex() != 2) {
        std::fprintf(stderr, "window_bench: page 3 did not open\n");
        return 1;
    }
    if (!to.empty()) {
        for (TBevelEdit* box : window.HeaderEdits())
            box->SetText(to);
        for (TBevelEdit* box : window.LineEdits())
            box->SetText(to);
    }
    if (!output.isEmpty()) {
        platform.QueueSaveAnswer(output);
        QTest::mouseClick(window.btn_OpenExcelFile, Qt::LeftButton);
        Settle();
    }

    const double cpuBefore = ProcessorSeconds();
    const auto start = std::chrono::steady_clock::now();
    QTest::mouseClick(window.btn_SaveExcelFile, Qt::LeftButton);
    const auto end = std::chrono::steady_clock::now();
    const double cpu = ProcessorSeconds() - cpuBefore;

    // A batch tells its outcome in one box, which here must say every file
    // was converted.
    const QString converted = QStringLiteral("%1 files: %1 converted, 0 failed, 0 skipped").arg(inputs.size());
    const bool told = inputs.size() > 1
        ? platform.MessageBoxes.size() == 1 && platform.MessageBoxes[0].Text == converted
        : platform.MessageBoxes.empty();
    if (window.progress_Excel->Caption() != QStringLiteral("finished") || !told) {
        for (const FakePlatform::TMessageBoxCall& box : platform.MessageBoxes)
            std::fprintf(stderr, "window_bench: %s\n", qPrintable(box.Text));
        std::fprintf(stderr, "window_bench: the run did not finish\n");
        return 1;
    }
    std::printf("%.3f %.3f\n", std::chrono::duration<double>(end - start).count(), cpu);
    return 0;
}
