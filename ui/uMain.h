#pragma once

#include <QImage>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "IPlatform.h"
#include "TConversionSettings.h"
#include "TSavedSettings.h"
#include "TTemplateExcerpt.h"
#include "TWindowChoice.h"

class QLabel;
class TBatchRun;
class TBevelButton;
class TBevelCheckBox;
class TBevelEdit;
class TBevelLabel;
class TConversionRun;
class TFileOpenEdit;
class TOutputFormatNote;
class TRememberedBoxes;
class TRememberedLookFields;
class TReplacementRow;
class TSegmentProgress;
class TSettingsButtons;
class TStyledPageControl;
class TTabSheet;

// The save-file dialog of the output name: the platform's, starting with the
// name last chosen in it.
struct TSaveFileDialog {
    QString FileName;
};

// The program's one window: name a PE file, choose the separators on page 1,
// change single separators on pages 2 and 3, convert with "&Go".
//
// Every control sits at a fixed place; nothing scales. Handlers do not catch
// errors: whatever they raise goes on to the application's error box.
class TfMain : public QWidget {
    Q_OBJECT
public:
    static const char* const kCaption;
    // The window's size in its normal state.
    static const QSize kClientSize;

    // Its boxes and dialogs go where the error boxes go: to the platform in
    // place (the application's own, or a test's fake).
    explicit TfMain(QWidget* parent = nullptr);
    ~TfMain() override;

    // The controls, by the names the workflow uses.
    QLabel* Label4 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label9 = nullptr;
    QLabel* Label10 = nullptr;
    QLabel* Image1 = nullptr;
    TFileOpenEdit* FileOpenEdit1 = nullptr;
    TStyledPageControl* PageControl1 = nullptr;
    TTabSheet* TabSheet4 = nullptr;
    TTabSheet* TabSheet3 = nullptr;
    TTabSheet* TabSheet1 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label8 = nullptr;
    TBevelEdit* ed_Seperator = nullptr;
    TBevelEdit* ed_RelativeTimeSeperator = nullptr;
    TBevelCheckBox* cb_RelativeTimeSeperator = nullptr;
    // Relative times count on past midnight instead of within one day.
    TBevelCheckBox* cb_AcrossMidnight = nullptr;
    // Under each row: which occurrence the box pointed at stands for.
    TBevelLabel* lbl_HeaderHint = nullptr;
    TBevelLabel* lbl_DataHint = nullptr;
    QLabel* Label6 = nullptr;
    TBevelLabel* lbl_Header = nullptr;
    QLabel* Label7 = nullptr;
    QLabel* Label3 = nullptr;
    TBevelLabel* lbl_data = nullptr;
    QLabel* Label2 = nullptr;
    TBevelLabel* lb_FileNameExcel = nullptr;
    TSegmentProgress* progress_Excel = nullptr;
    TBevelButton* btn_OpenExcelFile = nullptr;
    TBevelButton* btn_SaveExcelFile = nullptr;
    TSaveFileDialog SaveDialog1;
    // "Save settings…" and "Open settings…" on page 1.
    TSettingsButtons* SettingsButtons = nullptr;
    // Runs "&Go"'s conversion while the window stays responsive.
    TConversionRun& ConversionRun() const { return *run_; }

    // The two rows of replacement boxes, entry k under separator k.
    const std::vector<TBevelEdit*>& HeaderEdits() const;
    const std::vector<TBevelEdit*>& LineEdits() const;
    TReplacementRow& HeaderRow() const { return *headerRow_; }
    TReplacementRow& LineRow() const { return *lineRow_; }
    // Page 3's note of what "&Go" writes.
    TOutputFormatNote& OutputFormat() const { return *outputFormat_; }

    const std::string& SeparatorSet() const { return separatorSet_; }
    const std::string& RelativeTimeSeparator() const { return relativeTimeSeparator_; }
    // As far as the window keeps them (see TTemplateExcerpt).
    const TTemplateExcerpt& HeaderTemplate() const { return headerTemplate_; }
    const TTemplateExcerpt& DataTemplate() const { return dataTemplate_; }
    // True from a change of the file name until the templates are read again.
    bool TemplatesStale() const { return templatesStale_; }

    // The logo as decoded from the stored picture; null when it could not be.
    QImage LogoImage() const { return logo_; }

    // Where "&Go" writes for the output name page 3 shows: a name without a
    // folder goes beside the PE file `input`. Either separator is taken.
    static QString OutputPathFor(const QString& shown, const QString& input);
    static bool HasFolder(const QString& shown);
    // Where a file dialog for `which` starts.
    QString StartFolder(IPlatform::TFolder which) const;

    // What the user chose, as one value.
    TWindowChoice Choice() const;
    // The separator set and the relative-time options onto page 1.
    void ApplyOptions(const morvane::TConversionSettings& settings);
    // The two maps into the rows of boxes.
    void ApplyRows(const morvane::TConversionSettings& settings);
    // False when the separator set or the file changed since the rows were
    // built; MakeRowsCurrent then builds them again.
    bool RowsCurrent() const;
    void MakeRowsCurrent();

    // What a drop from a file manager would hand over: existing files only;
    // `path` gets the first.
    static bool AcceptableDrop(const class QMimeData* data, QString* path = nullptr);
    static QStringList DroppedFiles(const class QMimeData* data);
    // Several PE files for one "&Go".
    TBatchRun& Batch() const { return *batch_; }

public slots:
    void FormCreate();
    void FileOpenEdit1Change();
    void TabSheet4Show();
    void TabSheet4Exit();
    void TabSheet3Show();
    void TabSheet1Show();
    void ed_SeperatorChange();
    void ed_RelativeTimeSeperatorChange();
    void HeaderEditChange(TBevelEdit* sender);
    void LineEditChange(TBevelEdit* sender);
    bool BuildHeaderEdits(const TTemplateExcerpt& templ);
    bool BuildLineEdits(const TTemplateExcerpt& templ);
    void btn_OpenExcelFileClick();
    void btn_SaveExcelFileClick();
    void Label9Click();
    void Label10Click();

    // Takes `path` as if it had been chosen in the file-open edit's dialog.
    void ChooseInputFile(const QString& path);
    // Takes several files at once (a drop): the first is shown, "&Go"
    // converts each; one file is taken as ChooseInputFile takes it.
    void ChooseInputFiles(const QStringList& paths);
    // Takes a file named on the command line ("Open with" of a file manager)
    // exactly as a drop of that file; false when a drop of it would be refused.
    bool OpenFromCommandLine(const QString& argument);

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(class QDragEnterEvent* event) override;
    void dragMoveEvent(class QDragMoveEvent* event) override;
    void dropEvent(class QDropEvent* event) override;

private:
    void CreateControls();
    void NameControls();
    void CreatePage1();
    void CreatePage2();
    void CreatePage3();
    void ConnectHandlers();
    void LoadLogo();

    bool HasNormalSize() const;
    // Asks what must be asked before a run; false when it must not start.
    bool ConfirmRun(const QString& input, bool workbook);
    // A remembered run of the header the rows were just built for comes back.
    void RestoreRememberedRun();
    void EndNote();
    // Settings opened from a file, refused with a box when made for another
    // separator count.
    void OpenSettings(const morvane::TSavedSettings& file, const QString& name);
    bool ConfirmOneCellLines();
    void ChooseBatchOutputs();
    void ReportRunError(std::exception_ptr error, const QString& input, std::int64_t failedLine);
    void ReadTemplatesAndBuildRows();
    void UpdateOccurrenceHints();
    // True when `output` is the PE file named in the file-open edit.
    bool NamesTheInput(const QString& output) const;
    // `folder` when it still exists, else empty: the dialog's own choice.
    static QString ExistingFolder(const QString& folder);
    void RememberFolderOf(IPlatform::TFolder which, const QString& file);
    void RefreshIfStale();
    void SelectPage(TTabSheet* page);
    void EditChange(TBevelEdit* sender, TReplacementRow& row, const TTemplateExcerpt& templ,
                    TBevelLabel* preview);
    void SetPreview(TBevelLabel* label, TReplacementRow& row, const std::string& text);
    void ShowOutputFormat();

    static IPlatform& Platform();

    // What the rows were last built from: the PE file's name, the separator
    // set and the file's first two lines as far as the window keeps them.
    struct TRowsBasis {
        std::string Input;
        std::string Separators;
        std::string Header;
        bool HeaderCut = false;
        std::string Data;
        bool DataCut = false;
        bool operator==(const TRowsBasis&) const = default;
    };
    std::optional<TRowsBasis> rowsBasis_;
    TConversionRun* run_ = nullptr;
    TReplacementRow* headerRow_ = nullptr;
    TReplacementRow* lineRow_ = nullptr;
    TOutputFormatNote* outputFormat_ = nullptr;
    std::string separatorSet_;
    std::string relativeTimeSeparator_;
    TTemplateExcerpt headerTemplate_;
    TTemplateExcerpt dataTemplate_;
    bool templatesStale_ = false;
    // Set while a change of the file name comes from typing or pasting: the
    // focus then stays in the file-open edit.
    bool keepFocusInFileEdit_ = false;
    bool centred_ = false;
    bool choosingFile_ = false;
    QImage logo_;
    std::unique_ptr<TRememberedBoxes> memory_;
    std::shared_ptr<TRememberedLookFields> lookMemory_;
    // Set while remembered settings go into the rows: their changes keep the
    // note.
    bool restoring_ = false;
    TBatchRun* batch_ = nullptr;
};
