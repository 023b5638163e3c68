#pragma once

#include <QFlags>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QWidget;

// The platform's open-dialog options, as the box hands them on unchanged.
enum TOpenOption {
    ofReadOnly = 0x1,
    ofOverwritePrompt = 0x2,
    ofHideReadOnly = 0x4,
    ofNoChangeDir = 0x8,
    ofShowHelp = 0x10,
    ofNoValidate = 0x20,
    ofAllowMultiSelect = 0x40,
    ofExtensionDifferent = 0x80,
    ofPathMustExist = 0x100,
    ofFileMustExist = 0x200,
    ofCreatePrompt = 0x400,
    ofShareAware = 0x800,
    ofNoReadOnlyReturn = 0x1000,
    ofNoTestFileCreate = 0x2000,
    ofNoNetworkButton = 0x4000,
    ofNoLongNames = 0x8000,
    ofOldStyleDialog = 0x10000,
    ofNoDereferenceLinks = 0x20000,
    ofEnableIncludeNotify = 0x40000,
    ofEnableSizing = 0x80000,
    ofDontAddToRecent = 0x100000,
    ofForceShowHidden = 0x200000,
};
Q_DECLARE_FLAGS(TOpenOptions, TOpenOption)
Q_DECLARE_OPERATORS_FOR_FLAGS(TOpenOptions)

// One modal file-open dialog. The browse action creates one per run,
// configures it, runs it and destroys it; tests hand in a scripted one.
class IFileOpenDialog {
public:
    virtual ~IFileOpenDialog() = default;

    virtual void SetOptions(TOpenOptions options) = 0;
    // Empty: the platform's default title.
    virtual void SetTitle(const QString& title) = 0;
    // Empty: the platform chooses the folder.
    virtual void SetInitialDir(const QString& dir) = 0;
    // "Description|*.a;*.b|Description|*.c" pairs; empty lists all files.
    virtual void SetFilter(const QString& filter) = 0;
    // Without leading dot; added to a typed name that has no extension.
    virtual void SetDefaultExt(const QString& ext) = 0;
    // Runs modally; true when the user confirmed a file.
    virtual bool Execute(QWidget* parent) = 0;
    // The chosen file's full path (valid after Execute returned true).
    virtual QString FileName() const = 0;
    // Every file chosen (with ofAllowMultiSelect there may be several), the
    // first being FileName().
    virtual QStringList FileNames() const { return {FileName()}; }
};

using TFileOpenDialogFactory = std::function<std::unique_ptr<IFileOpenDialog>()>;
