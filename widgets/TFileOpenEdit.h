#pragma once

#include "IFileOpenDialog.h"
#include "TBevelEdit.h"

class QToolButton;

// Edit with an embedded browse button at its right end that runs a
// file-open dialog and puts the chosen path into the box.
//
// Browse order: OnBeforeBrowse; the box takes the focus; a dialog from the
// factory gets Options, Title, InitialDir, Filter, DefaultExt; on confirm
// the chosen path becomes the text (OnChange only when it differs); the
// dialog is destroyed; OnBrowse. Browsing() is true from OnBeforeBrowse
// until OnBrowse has returned, so a change handler can tell a chosen file
// from a typed or pasted change.
class TFileOpenEdit : public TBevelEdit {
    Q_OBJECT
public:
    explicit TFileOpenEdit(QWidget* parent = nullptr);
    ~TFileOpenEdit() override;

    // The path as the user sees it (full, file system characters; not cut
    // to Windows-1252). With MinimizeName and no focus: the full name held
    // aside while the box shows a shortened one.
    QString Filename() const;
    void SetFilename(const QString& name);

    TOpenOptions Options() const { return options_; }
    void SetOptions(TOpenOptions options) { options_ = options; }
    QString Title() const { return title_; }
    void SetTitle(const QString& title) { title_ = title; }
    QString InitialDir() const { return initialDir_; }
    void SetInitialDir(const QString& dir) { initialDir_ = dir; }
    QString Filter() const { return filter_; }
    void SetFilter(const QString& filter) { filter_ = filter; }
    QString DefaultExt() const { return defaultExt_; }
    void SetDefaultExt(const QString& ext) { defaultExt_ = ext; }
    bool MinimizeName() const { return minimizeName_; }
    void SetMinimizeName(bool on);

    int CustomButtonWidth() const { return buttonWidth_; }
    void SetCustomButtonWidth(int width);
    QToolButton* BrowseButton() const { return button_; }

    // Replaces the real dialog (tests script it). A null factory restores
    // the real one.
    void SetDialogFactory(TFileOpenDialogFactory factory);

    bool Browsing() const { return browsing_; }
    // What a click on the browse button does.
    void Browse();

    // The 14 x 13 open-folder glyph of the button.
    static QPixmap FolderGlyph();

signals:
    void OnBeforeBrowse(TFileOpenEdit* sender);
    void OnBrowse(TFileOpenEdit* sender);
    // Raised before OnBrowse when the dialog was confirmed: every file
    // chosen in it, the first being the one the box now shows.
    void OnFilesChosen(const QStringList& files);

protected:
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void UpdateLayout() override;

private:
    void ShowMinimized();

    QToolButton* button_;
    TFileOpenDialogFactory factory_;
    TOpenOptions options_ = ofHideReadOnly;
    QString title_;
    QString initialDir_;
    QString filter_;
    QString defaultExt_;
    QString fullName_;
    int buttonWidth_ = 18;
    bool minimizeName_ = false;
    bool showingMinimized_ = false;
    bool browsing_ = false;
};
