#pragma once

// Pictures of widgets in their typical states, written into the build
// folder so a reader can look at what the tests saw.

#include <QDir>
#include <QString>
#include <QWidget>

#include <gtest/gtest.h>

inline void saveScreenshot(QWidget& widget, const QString& name)
{
    const QString dir = QStringLiteral(MORVANE_BINARY_DIR "/screenshots");
    QDir().mkpath(dir);
    EXPECT_TRUE(widget.grab().save(dir + QLatin1Char('/') + name + QStringLiteral(".png"))) << name.toStdString();
}
