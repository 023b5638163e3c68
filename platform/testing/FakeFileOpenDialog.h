#pragma once

#include "IFileOpenDialog.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// A file-open dialog that does not open: it hands its settings to `record`
// when run and answers with the path `answer` gives (nullopt: cancelled);
// several files chosen at once come as one answer, a line each.
class FakeFileOpenDialog : public IFileOpenDialog {
public:
    struct TSettings {
        TOpenOptions Options;
        QString Title;
        QString InitialDir;
        QString Filter;
        QString DefaultExt;
        QWidget* Parent = nullptr;
    };

    FakeFileOpenDialog(std::function<void(const TSettings&)> record,
                       std::function<std::optional<QString>()> answer);

    void SetOptions(TOpenOptions options) override { settings_.Options = options; }
    void SetTitle(const QString& title) override { settings_.Title = title; }
    void SetInitialDir(const QString& dir) override { settings_.InitialDir = dir; }
    void SetFilter(const QString& filter) override { settings_.Filter = filter; }
    void SetDefaultExt(const QString& ext) override { settings_.DefaultExt = ext; }
    bool Execute(QWidget* parent) override;
    QString FileName() const override { return fileNames_.value(0); }
    QStringList FileNames() const override { return fileNames_; }

private:
    std::function<void(const TSettings&)> record_;
    std::function<std::optional<QString>()> answer_;
    TSettings settings_;
    QStringList fileNames_;
};
