#pragma once

// What the window's benchmarks share: the processor time taken, a settling
// of queued events, and the process set up as the window program sets it up.

#include "TLocaleTimeSettings.h"

#include <QCoreApplication>
#include <QTest>
#include <QWidget>

#include <sys/resource.h>

#include <clocale>
#include <cstdio>

inline double ProcessorSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

inline void Settle()
{
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
}

// Before the application object: the offscreen platform unless another is
// named, and the user's regional settings.
inline void PrepareProcess()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    std::setlocale(LC_ALL, "");
    morvane::LoadLocaleTimeSettings();
}

// Shows the main window, active as a user's would be; false, said on the
// standard error under `tool`'s name, when it does not show.
inline bool ShowWindow(QWidget& window, const char* tool)
{
    window.show();
    window.activateWindow();
    if (QTest::qWaitForWindowExposed(&window))
        return true;
    std::fprintf(stderr, "%s: the window did not show\n", tool);
    return false;
}
