#pragma once

#include "IFileOpenDialog.h"

#include <QStringList>

class QFileDialog;

// The real file-open dialog: QFileDialog. ofPathMustExist or
// ofFileMustExist mean an existing file must be chosen (the dialog refuses
// other names and stays open); ofAllowMultiSelect allows several, of which
// FileName() gives the first.
class TQtFileOpenDialog : public IFileOpenDialog {
public:
    TQtFileOpenDialog();
    ~TQtFileOpenDialog() override;
    TQtFileOpenDialog(const TQtFileOpenDialog&) = delete;
    TQtFileOpenDialog& operator=(const TQtFileOpenDialog&) = delete;

    void SetOptions(TOpenOptions options) override { options_ = options; }
    void SetTitle(const QString& title) override { title_ = title; }
    void SetInitialDir(const QString& dir) override { initialDir_ = dir; }
    void SetFilter(const QString& filter) override { filter_ = filter; }
    void SetDefaultExt(const QString& ext) override { defaultExt_ = ext; }
    bool Execute(QWidget* parent) override;
    QString FileName() const override { return fileName_; }
    QStringList FileNames() const override { return fileNames_; }

    // Sets up `dialog` from the settings given so far (what Execute runs).
    void Configure(QFileDialog& dialog) const;
    // "Text|*.txt;*.log|All|*.*" -> {"Text (*.txt *.log)", "All (*.*)"}.
    static QStringList NameFilters(const QString& filter);

private:
    TOpenOptions options_ = ofHideReadOnly;
    QString title_;
    QString initialDir_;
    QString filter_;
    QString defaultExt_;
    QString fileName_;
    QStringList fileNames_;
};
