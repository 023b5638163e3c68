#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// The real boxes and dialogs need a widget application to draw with.
int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    // Whatever a test remembers stays out of the user's own configuration.
    QTemporaryDir config;
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, config.path());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
