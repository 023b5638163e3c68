#include <QApplication>

#include <gtest/gtest.h>

// The real boxes and dialogs need a widget application to draw with.
int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
