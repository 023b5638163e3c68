#pragma once

#include "FakePlatform.h"
#include "uMain.h"

#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <string>

class QWidget;

// A shown main window on the scripted platform, with a folder for PE files,
// and the steps a user takes: choose a file in the dialog, type, click tabs.
class WindowFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Replaces the window by a fresh one (several cases in one test).
    void NewWindow();

    // Writes a PE file into the test folder; returns its full path.
    QString WritePe(const QString& name, const std::string& bytes);
    static std::string ReadAll(const QString& path);

    // The browse button with a dialog that answers `path`.
    void ChooseThroughDialog(const QString& path);
    void ClickTab(int index);
    void ClickInto(QWidget* widget);
    // Keys to whatever has the focus, as a user's typing goes.
    void Type(const QString& text);
    void PressKey(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    // Waits for queued work (the separator box's information box).
    static void Settle();

    QWidget* Focus() const;
    QString FocusName() const;
    int ActivePage() const;

    // The window as it looks now, into the build folder's screenshots.
    void Screenshot(const QString& name) const;

    // In place for the fixture's lifetime: the window's boxes and dialogs and
    // the error boxes all come here.
    FakePlatform platform_{true};
    std::unique_ptr<TfMain> window_;
    QTemporaryDir dir_;
    QString oldCurrent_;
};
