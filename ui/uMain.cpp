#include "uMain.h"

#include "ErrorReporting.h"

#include "ConvertFile.h"
#include "ConvertToWorkbook.h"
#include "IPlatform.h"
#include "MainAssets.h"
#include "OutputName.h"
#include "SeparatorMap.h"
#include "TBevelButton.h"
#include "TBevelCheckBox.h"
#include "TBevelEdit.h"
#include "TBevelLabel.h"
#include "TBevelSettings.h"
#include "TConversionSettings.h"
#include "TemplateLine.h"
#include "TFileOpenEdit.h"
#include "TBatchRun.h"
#include "TBrowseFocusKeeper.h"
#include "TConversionRun.h"
#include "TOutputFormatNote.h"
#include "TRememberedBoxes.h"
#include "TRememberedLookFields.h"
#include "TRememberedSettings.h"
#include "TSettingsFile.h"
#include "TWindowKeys.h"
#include "TReplacementRow.h"
#include "TSegmentProgress.h"
#include "TLookButton.h"
#include "TSettingsButtons.h"
#include "TSmallBar.h"
#include "TStyledPageControl.h"
#include "TTabSheet.h"
#include "TTabStyle.h"
#include "Version.h"
#include "Windows1252.h"

#include "FileSystemNames.h"
#include "LogoImage.h"

#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>
#include <QScopeGuard>
#include <QScopedValueRollback>
#include <QScreen>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>

const char* const TfMain::kCaption = "Morvane (Halvik Control PE to Ostral)  [v" MORVANE_VERSION "]";
const QSize TfMain::kClientSize(427, 398);

namespace {

const char kApplicationTitle[] = "Morvane (Halvik Control PE to Ostral)";
const char kNotFound[] = "PE-File not found or damaged!";
const char kNoSeparator[] = "please choose a seperator char first!";
const char kOutputIsInput[] = "The PE file cannot be its own output. Please choose another name.";
const char kRestingHint[] =
    "Type each separator's replacement; the line above shows the result.";
// Longer fields are cut in a hint: the label shows one line, a tool tip a few.
constexpr std::size_t kHintFieldChars = 40;

// Larger than any screen, so no drag reaches the next allowed size.
constexpr int kNoDragIncrement = 1 << 14;

const QColor kNavy(0, 0, 128);
// The classic desktop's inactive window border, behind the three framed labels.
const QColor kInactiveBorder(212, 208, 200);

QFont Tahoma(int pixels, bool bold = false, bool underline = false)
{
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(pixels);
    font.setBold(bold);
    font.setUnderline(underline);
    return font;
}

void SetTextColour(QWidget* widget, const QColor& colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    palette.setColor(QPalette::ButtonText, colour);
    palette.setColor(QPalette::Text, colour);
    widget->setPalette(palette);
}

// A plain label: when `size` is empty it takes the size of its text.
QLabel* PlainLabel(QWidget* parent, const QString& text, QPoint at, const QFont& font,
                   QSize size = {}, Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignTop)
{
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setFont(font);
    label->setAlignment(alignment);
    SetTextColour(label, kNavy);
    if (size.isEmpty()) {
        label->move(at);
        label->adjustSize();
    } else {
        label->setGeometry(QRect(at, size));
    }
    return label;
}

TBevelLabel* FramedLabel(QWidget* parent, const QString& caption, QPoint at, int fontPixels)
{
    auto* label = new TBevelLabel(parent);
    label->setFont(Tahoma(fontPixels));
    label->SetTransparent(false);
    label->SetColor(kInactiveBorder);
    label->Bevel()->SetMode(bmEdge);
    label->move(at);
    label->SetCaption(caption);
    return label;
}

TBevelEdit* SettingsEdit(QWidget* parent, QRect geometry)
{
    auto* edit = new TBevelEdit(parent);
    edit->setGeometry(geometry);
    edit->setCursor(Qt::IBeamCursor);
    // Only a whole file dropped on the window is taken; text is not.
    edit->setAcceptDrops(false);
    return edit;
}

QString HintField(std::string_view field)
{
    if (field.size() <= kHintFieldChars)
        return Windows1252::Decode(field);
    return Windows1252::Decode(field.substr(0, kHintFieldChars)) + QChar(0x2026);
}

// E.g. `"," no. 7 of 29, between "46.1" and "31" (Humidity [%] | Valve 1 [%])`;
// the names in brackets are the header's fields at the same occurrence.
QString OccurrenceHint(const morvane::TOccurrenceFields& occurrence, std::size_t k, std::size_t count,
                       bool countIsLowerBound, const morvane::TOccurrenceFields* header)
{
    const QString total = countIsLowerBound ? QStringLiteral("at least %1").arg(count) : QString::number(count);
    QString text = QStringLiteral("\"%1\" no. %2 of %3, between \"%4\" and \"%5\"")
                       .arg(TReplacementRow::ShownText(std::string_view(&occurrence.Separator, 1)),
                            QString::number(k + 1), total, HintField(occurrence.Before),
                            HintField(occurrence.After));
    if (header)
        text += QStringLiteral(" (%1 | %2)").arg(HintField(header->Before), HintField(header->After));
    return text;
}

} // namespace

TfMain::TfMain(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("fMain"));
    setWindowTitle(QString::fromLatin1(kCaption));
    // The geometry is the layout: dragging the edges does not resize the
    // window, but it can be maximized; the controls then keep their places.
    // No maximum size: a window manager offers no maximize button for a
    // window whose smallest and largest sizes are the same.
    resize(kClientSize);
    setMinimumSize(kClientSize);
    // A window manager that follows size increments offers no edge drag at
    // all; it ignores them when maximizing.
    setBaseSize(kClientSize);
    setSizeIncrement(kNoDragIncrement, kNoDragIncrement);
    setFont(Tahoma(14));
    setAcceptDrops(true);
    // The edits' caret blinks every 530 ms, i.e. a full on-off cycle of 1 060.
    QApplication::setCursorFlashTime(1060);

    CreateControls();
    NameControls();
    LoadLogo();
    ConnectHandlers();
    // Settings that last: remembered per header, and kept in files.
    memory_ = std::make_unique<TRememberedBoxes>();
    memory_->Load(PathBytes(Platform().ConfigurationFolder()));
    lookMemory_ = std::make_shared<TRememberedLookFields>();
    lookMemory_->Load(PathBytes(Platform().ConfigurationFolder()));
    SettingsButtons = new TSettingsButtons(
        TabSheet4, this,
        {[this] {
             MakeRowsCurrent();
             return Choice();
         },
         [this](const morvane::TSavedSettings& file, const QString& name) { OpenSettings(file, name); },
         [this](IPlatform::TFolder which) { return StartFolder(which); }});
    batch_ = new TBatchRun(TabSheet4, *run_, *progress_Excel);
    connect(FileOpenEdit1, &TFileOpenEdit::OnFilesChosen, batch_, &TBatchRun::SetFiles);
    connect(batch_, &TBatchRun::filesChanged, this, [this] { ShowOutputFormat(); });
    // As with any handler, an error here is reported and the window lives on.
    GuardedHandler(this, [this] { FormCreate(); })();
}

TfMain::~TfMain()
{
    // The controls die after this body. A focus moving as they go must not
    // reach the handlers of a window that is already half gone.
    for (QObject* child : findChildren<QObject*>())
        child->disconnect(this);
    delete headerRow_;
    delete lineRow_;
}

IPlatform& TfMain::Platform()
{
    // Asked each time, never kept: one road for every box of the program.
    return CurrentPlatform();
}

const std::vector<TBevelEdit*>& TfMain::HeaderEdits() const
{
    return headerRow_->Boxes();
}

const std::vector<TBevelEdit*>& TfMain::LineEdits() const
{
    return lineRow_->Boxes();
}

void TfMain::CreateControls()
{
    // Labels and the picture first: the edit and the page control lie above.
    Label4 = PlainLabel(this, QStringLiteral("Halvik PE file:"), {23, 15}, Tahoma(13, true));
    Label1 = PlainLabel(this, QString::fromUtf8(MainAssets::kCopyright), {15, 353}, Tahoma(11, true),
                        {162, 26}, Qt::AlignLeft | Qt::AlignVCenter);
    Label9 = PlainLabel(this, QString::fromUtf8(MainAssets::kWebAddress), {176, 335},
                        Tahoma(11, true, true), {249, 26}, Qt::AlignLeft | Qt::AlignBottom);
    Label9->setCursor(Qt::PointingHandCursor);
    Label10 = PlainLabel(this, QStringLiteral("eMail: ") + QString::fromUtf8(MainAssets::kMailAddress),
                         {176, 370}, Tahoma(11, true, true), {249, 26}, Qt::AlignLeft | Qt::AlignTop);
    Label10->setCursor(Qt::PointingHandCursor);
    Image1 = new QLabel(this);
    Image1->move(148, 161);

    FileOpenEdit1 = new TFileOpenEdit(this);
    FileOpenEdit1->setGeometry(18, 32, 391, 21);
    FileOpenEdit1->setCursor(Qt::IBeamCursor);
    FileOpenEdit1->setAcceptDrops(false);
    // Several files chosen at once are converted by one "&Go".
    FileOpenEdit1->SetOptions(ofHideReadOnly | ofPathMustExist | ofFileMustExist | ofAllowMultiSelect);

    PageControl1 = new TStyledPageControl(this);
    PageControl1->setGeometry(15, 68, 394, 269);
    PageControl1->setFont(Tahoma(14));
    PageControl1->setVisible(false);
    QFont tabFont(QStringLiteral("Arial"));
    tabFont.setPixelSize(12);
    const QPalette colours = palette();
    const std::pair<TTabStyle*, std::pair<QPalette::ColorRole, QPalette::ColorRole>> styles[] = {
        {PageControl1->TabStyle(), {QPalette::Dark, QPalette::Light}},
        {PageControl1->TabSelectedStyle(), {QPalette::Button, QPalette::ButtonText}},
    };
    for (const auto& [style, roles] : styles) {
        style->SetFont(tabFont);
        style->SetBackgrColor(colours.color(roles.first));
        style->SetFontColor(colours.color(roles.second));
        style->SetCaptionHAlign(fhaCenter);
    }
    CreatePage1();
    CreatePage2();
    CreatePage3();
}

void TfMain::NameControls()
{
    // The names the workflow knows them by, for tools that look widgets up.
    const std::pair<QObject*, const char*> names[] = {
        {Label4, "Label4"},
        {Label1, "Label1"},
        {Label9, "Label9"},
        {Label10, "Label10"},
        {Image1, "Image1"},
        {FileOpenEdit1, "FileOpenEdit1"},
        {PageControl1, "PageControl1"},
        {TabSheet4, "TabSheet4"},
        {TabSheet3, "TabSheet3"},
        {TabSheet1, "TabSheet1"},
        {Label5, "Label5"},
        {Label8, "Label8"},
        {ed_Seperator, "ed_Seperator"},
        {ed_RelativeTimeSeperator, "ed_RelativeTimeSeperator"},
        {cb_RelativeTimeSeperator, "cb_RelativeTimeSeperator"},
        {cb_AcrossMidnight, "cb_AcrossMidnight"},
        {Label6, "Label6"},
        {lbl_Header, "lbl_Header"},
        {Label7, "Label7"},
        {lbl_HeaderHint, "lbl_HeaderHint"},
        {lbl_DataHint, "lbl_DataHint"},
        {Label3, "Label3"},
        {lbl_data, "lbl_data"},
        {Label2, "Label2"},
        {lb_FileNameExcel, "lb_FileNameExcel"},
        {progress_Excel, "progress_Excel"},
        {btn_OpenExcelFile, "btn_OpenExcelFile"},
        {btn_SaveExcelFile, "btn_SaveExcelFile"},
    };
    for (const auto& [control, name] : names)
        control->setObjectName(QLatin1String(name));
}

void TfMain::CreatePage1()
{
    TabSheet4 = new TTabSheet(QStringLiteral("1. Settings"));
    PageControl1->AddPage(TabSheet4);
    Label5 = PlainLabel(TabSheet4, QStringLiteral("seperator chars to find:"), {57, 31}, Tahoma(12, true));
    Label8 = PlainLabel(TabSheet4, QStringLiteral("seperator for relative time row (additional)"),
                        {105, 132}, Tahoma(12), {160, 34});
    Label8->setWordWrap(true);
    ed_Seperator = SettingsEdit(TabSheet4, {56, 48, 265, 21});
    ed_RelativeTimeSeperator = SettingsEdit(TabSheet4, {56, 136, 41, 21});
    ed_RelativeTimeSeperator->SetText(";");
    cb_RelativeTimeSeperator = new TBevelCheckBox(QStringLiteral("add relative time row to outputfile"),
                                                  TabSheet4);
    cb_RelativeTimeSeperator->setGeometry(56, 106, 249, 25);
    cb_RelativeTimeSeperator->setFont(Tahoma(13, true));
    SetTextColour(cb_RelativeTimeSeperator, kNavy);
    // Last on the page, so last in its tab order; off keeps every count
    // within one day.
    cb_AcrossMidnight = new TBevelCheckBox(QStringLiteral("count on past midnight"), TabSheet4);
    cb_AcrossMidnight->setGeometry(56, 172, 249, 21);
    cb_AcrossMidnight->setFont(Tahoma(12));
    SetTextColour(cb_AcrossMidnight, kNavy);
}

void TfMain::CreatePage2()
{
    TabSheet3 = new TTabSheet(QStringLiteral("2. Header"));
    PageControl1->AddPage(TabSheet3);
    headerRow_ = new TReplacementRow(TabSheet3, this);
    QWidget* area = headerRow_->Content();
    Label6 = PlainLabel(area, QStringLiteral("PE header:"), {33, 17}, Tahoma(12, true));
    lbl_Header = FramedLabel(area, QStringLiteral("header of PE file"), {33, 32}, 17);
    // The preview shows the file's bytes as they are: an "&" is data here,
    // not an accelerator mark.
    lbl_Header->SetShowAccelChar(false);
    Label7 = PlainLabel(area, QStringLiteral("change separator:"), {33, 69}, Tahoma(12, true));
    headerRow_->UpdateExtent();
    lbl_HeaderHint = headerRow_->Hint();
    headerRow_->SetRestingHint(QString::fromLatin1(kRestingHint));
}

void TfMain::CreatePage3()
{
    TabSheet1 = new TTabSheet(QStringLiteral("3. Excel (csv)"));
    PageControl1->AddPage(TabSheet1);
    lineRow_ = new TReplacementRow(TabSheet1, this);
    QWidget* area = lineRow_->Content();
    Label3 = PlainLabel(area, QStringLiteral("PE file data:"), {33, 17}, Tahoma(12, true));
    lbl_data = FramedLabel(area, QStringLiteral("line of PE file"), {33, 32}, 17);
    lbl_data->SetShowAccelChar(false);
    Label2 = PlainLabel(area, QStringLiteral("change separator:"), {33, 69}, Tahoma(12, true));
    lineRow_->UpdateExtent();
    lbl_DataHint = lineRow_->Hint();
    lineRow_->SetRestingHint(QString::fromLatin1(kRestingHint));

    lb_FileNameExcel = FramedLabel(TabSheet1, QStringLiteral("Filename"), {48, 155}, 13);
    lb_FileNameExcel->SetAutoSize(false);
    lb_FileNameExcel->resize(329, 27);
    lb_FileNameExcel->SetAlignment(agCenterLeft);
    lb_FileNameExcel->SetOptions(loPathEllipsis);
    lb_FileNameExcel->SetShowAccelChar(false);

    progress_Excel = new TSegmentProgress(TabSheet1);
    progress_Excel->setGeometry(48, 208, 241, 20);
    progress_Excel->SetLoading(true);
    progress_Excel->SetStyle(pgSmallBarColor);
    progress_Excel->SmallBar()->SetBarCount(100);
    progress_Excel->SmallBar()->SetHSpace(2);
    progress_Excel->SmallBar()->SetVSpace(2);
    progress_Excel->SmallBar()->SetAutoSize(false);
    const QColor shadow = palette().color(QPalette::Dark);
    progress_Excel->SetBarColor(shadow);
    progress_Excel->SmallBar()->SetBarColor(shadow);
    progress_Excel->Bevel()->SetMode(bmWindows);
    progress_Excel->SetDelta(5);
    progress_Excel->SetOptionsText(toCaption);
    progress_Excel->SetPosition(44);
    progress_Excel->SetLoading(false);
    progress_Excel->setVisible(false);

    btn_OpenExcelFile = new TBevelButton(QStringLiteral(".."), TabSheet1);
    btn_OpenExcelFile->setGeometry(15, 157, 31, 24);
    btn_SaveExcelFile = new TBevelButton(QStringLiteral("&Go"), TabSheet1);
    btn_SaveExcelFile->setGeometry(307, 205, 71, 24);
    outputFormat_ = new TOutputFormatNote(TabSheet1);
    run_ = new TConversionRun(*this, *progress_Excel);
    new TWindowKeys(*this, *PageControl1, *FileOpenEdit1);
    new TBrowseFocusKeeper(*FileOpenEdit1);
    new TLookButton(TabSheet1, this, [this] {
        TLookWindow::TInput input;
        input.ShownPath = FileOpenEdit1->Filename();
        input.Path = PathBytes(input.ShownPath);
        input.SeparatorSet = separatorSet_;
        input.AcrossMidnight = cb_AcrossMidnight->Checked();
        input.Remembered = lookMemory_;
        return input;
    });
}

void TfMain::ConnectHandlers()
{
    // Every handler reports its own errors: an error left to unwind through
    // the toolkit's frames (built without exception support) would skip their
    // clean-up, in the middle of a focus change or a click.
    const auto guarded = [this](auto handler) { return GuardedHandler(this, handler); };
    connect(FileOpenEdit1, &TBevelEdit::OnChange, this, guarded([this] { FileOpenEdit1Change(); }));
    FileOpenEdit1->SetDialogFactory([this] { return Platform().CreateFileOpenDialog(); });
    connect(FileOpenEdit1, &TFileOpenEdit::OnBeforeBrowse, this, [this] {
        FileOpenEdit1->SetInitialDir(StartFolder(IPlatform::TFolder::PeFile));
    });
    connect(ed_Seperator, &TBevelEdit::OnChange, this, guarded([this] { ed_SeperatorChange(); }));
    connect(ed_RelativeTimeSeperator, &TBevelEdit::OnChange, this,
            guarded([this] { ed_RelativeTimeSeperatorChange(); }));
    connect(TabSheet4, &TTabSheet::shown, this, guarded([this] { TabSheet4Show(); }));
    connect(TabSheet4, &TTabSheet::exited, this, guarded([this] { TabSheet4Exit(); }));
    connect(TabSheet3, &TTabSheet::shown, this, guarded([this] { TabSheet3Show(); }));
    connect(TabSheet1, &TTabSheet::shown, this, guarded([this] { TabSheet1Show(); }));
    connect(headerRow_, &TReplacementRow::BoxChanged, this, [this, guarded](TBevelEdit* box) {
        guarded([this, box] { HeaderEditChange(box); })();
    });
    connect(lineRow_, &TReplacementRow::BoxChanged, this, [this, guarded](TBevelEdit* box) {
        guarded([this, box] { LineEditChange(box); })();
    });
    // A character a PE file's bytes cannot hold is refused with the beep
    // the converter's refusal has in words.
    for (TBevelEdit* edit : {ed_Seperator, ed_RelativeTimeSeperator})
        connect(edit, &TBevelEdit::OnRefused, this, [] { Platform().Beep(); });
    for (TReplacementRow* row : {headerRow_, lineRow_})
        connect(row, &TReplacementRow::BoxRefused, this, [] { Platform().Beep(); });
    connect(btn_OpenExcelFile, &TBevelButton::OnClick, this, guarded([this] { btn_OpenExcelFileClick(); }));
    connect(btn_SaveExcelFile, &TBevelButton::OnClick, this, guarded([this] { btn_SaveExcelFileClick(); }));
    Label9->installEventFilter(this);
    Label10->installEventFilter(this);
}

void TfMain::LoadLogo()
{
    logo_ = LogoImage::Decode();
    if (logo_.isNull())
        return;
    Image1->setPixmap(QPixmap::fromImage(logo_));
    Image1->resize(logo_.size());
}

// ---------------------------------------------------------------- handlers

void TfMain::FormCreate()
{
    SelectPage(TabSheet4);
    separatorSet_.assign(1, ',');
    ed_Seperator->SetText(",");
}

void TfMain::FileOpenEdit1Change()
{
    // The templates on pages 2 and 3 belong to the previous name now.
    templatesStale_ = true;
    RememberFolderOf(IPlatform::TFolder::PeFile, FileOpenEdit1->Filename());
    keepFocusInFileEdit_ = !FileOpenEdit1->Browsing() && !choosingFile_;
    // A typed name is one file again: the way back from several.
    if (keepFocusInFileEdit_)
        batch_->SetFiles({});
    const auto reset = qScopeGuard([this] { keepFocusInFileEdit_ = false; });
    PageControl1->setVisible(true);
    SelectPage(TabSheet4);
}

void TfMain::TabSheet4Show()
{
    // A typed path stays where it is typed; the next keystroke belongs there.
    if (!keepFocusInFileEdit_)
        ed_Seperator->setFocus(Qt::OtherFocusReason);
    separatorSet_ = ed_Seperator->Text();
    relativeTimeSeparator_ = ed_RelativeTimeSeperator->Text();
}

void TfMain::TabSheet4Exit()
{
    ReadTemplatesAndBuildRows();
}

void TfMain::TabSheet3Show()
{
    RefreshIfStale();
}

void TfMain::TabSheet1Show()
{
    RefreshIfStale();
    progress_Excel->setVisible(false);
    ShowOutputFormat();
}

void TfMain::ed_SeperatorChange()
{
    separatorSet_ = ed_Seperator->Text();
}

void TfMain::ed_RelativeTimeSeperatorChange()
{
    relativeTimeSeparator_ = ed_RelativeTimeSeperator->Text();
}

void TfMain::HeaderEditChange(TBevelEdit* sender)
{
    if (!restoring_)
        EndNote();
    EditChange(sender, *headerRow_, headerTemplate_, lbl_Header);
}

void TfMain::LineEditChange(TBevelEdit* sender)
{
    if (!restoring_)
        EndNote();
    EditChange(sender, *lineRow_, dataTemplate_, lbl_data);
    ShowOutputFormat();
}

bool TfMain::BuildHeaderEdits(const TTemplateExcerpt& templ)
{
    // Boxes left from the previous file would stand for nothing in a file
    // without this line, and "&Go" would take them.
    if (templ.Text.empty())
        headerRow_->Clear();
    headerRow_->Build(templ.Text, separatorSet_, TTemplateExcerpt::kMaxBoxes);
    return true;
}

bool TfMain::BuildLineEdits(const TTemplateExcerpt& templ)
{
    if (templ.Text.empty())
        lineRow_->Clear();
    lineRow_->Build(templ.Text, separatorSet_, TTemplateExcerpt::kMaxBoxes);
    return true;
}

void TfMain::btn_OpenExcelFileClick()
{
    if (batch_->Active()) {
        ChooseBatchOutputs();
        return;
    }
    // The dialog proposes the output page 3 shows, with the filter of its
    // suffix: Enter must never pick a file another dialog chose.
    const QString shown = lb_FileNameExcel->Caption();
    const QString path = OutputPathFor(shown, FileOpenEdit1->Filename());
    IPlatform::TSaveDialogRequest request;
    request.FileName = QDir::toNativeSeparators(shown);
    request.InitialDir = HasFolder(shown) ? ExistingFolder(QFileInfo(path).absolutePath())
                                          : StartFolder(IPlatform::TFolder::Output);
    request.Filter = TOutputFormatNote::DialogFilter();
    request.DefaultExt = TOutputFormatNote::DialogSuffix(shown);
    std::optional<QString> chosen = Platform().SaveFileName(this, request);
    // The conversion would destroy its own input: the dialog comes back
    // until another name is chosen or it is cancelled.
    while (chosen && NamesTheInput(OutputPathFor(*chosen, FileOpenEdit1->Filename()))) {
        Platform().MessageBox(this, QString::fromLatin1(kOutputIsInput), QStringLiteral("Information"),
                             IPlatform::TMessageStyle::Information);
        request.FileName = *chosen;
        chosen = Platform().SaveFileName(this, request);
    }
    if (!chosen)
        return;
    SaveDialog1.FileName = *chosen;
    RememberFolderOf(IPlatform::TFolder::Output, OutputPathFor(*chosen, FileOpenEdit1->Filename()));
    lb_FileNameExcel->SetCaption(*chosen);
    ShowOutputFormat();
}

void TfMain::ChooseBatchOutputs()
{
    // For several files the dialog chooses where the outputs go and in
    // which format; each is named after its own PE file.
    const QString shown = lb_FileNameExcel->Caption();
    IPlatform::TSaveDialogRequest request;
    request.Title = QStringLiteral("Folder and format of the %1 outputs").arg(batch_->Files().size());
    request.FileName = QDir::toNativeSeparators(shown);
    request.InitialDir = HasFolder(shown) ? ExistingFolder(QFileInfo(OutputPathFor(shown, {})).absolutePath())
                                          : StartFolder(IPlatform::TFolder::Output);
    request.Filter = TOutputFormatNote::DialogFilter();
    request.DefaultExt = TOutputFormatNote::DialogSuffix(shown);
    const std::optional<QString> chosen = Platform().SaveFileName(this, request);
    if (!chosen)
        return;
    const QString folder = QFileInfo(QDir::fromNativeSeparators(*chosen)).absolutePath();
    RememberFolderOf(IPlatform::TFolder::Output, QDir::fromNativeSeparators(*chosen));
    const QString first = TBatchRun::OutputFor(batch_->Files().first(), folder,
                                               TOutputFormatNote::WritesWorkbook(*chosen));
    lb_FileNameExcel->SetCaption(QDir::toNativeSeparators(first));
    ShowOutputFormat();
}

void TfMain::btn_SaveExcelFileClick()
{
    // The note and its count of cells, for what is on screen this moment.
    ShowOutputFormat();
    const TWindowChoice choice = Choice();
    const morvane::TConversionSettings& settings = choice.Settings;
    const QString input = FileOpenEdit1->Filename();
    const QString output = OutputPathFor(lb_FileNameExcel->Caption(), input);
    const bool workbook = TOutputFormatNote::WritesWorkbook(output);
    if (batch_->Active()) {
        if (workbook && OutputFormat().OneCellLines() && !ConfirmOneCellLines())
            return;
        TBatchRun::TRequest request;
        request.Screen = settings;
        request.HeaderSeparators = morvane::CountSeparators(headerTemplate_.Text, separatorSet_);
        request.OutputFolder = HasFolder(lb_FileNameExcel->Caption()) ? QFileInfo(output).absolutePath() : QString();
        request.Workbook = workbook;
        batch_->Go(this, request, memory_->Store(),
                   [this](const morvane::TSavedSettings& run) { memory_->Remember(run); });
        return;
    }
    if (!ConfirmRun(input, workbook))
        return;

    std::int64_t failedLine = 0;
    bool ranToItsEnd = false;
    try {
        ranToItsEnd = run_->Run([input = PathBytes(input), output = PathBytes(output), settings, workbook,
                                 &failedLine](morvane::IProgressSink& sink) {
            morvane::TConvertFileOptions options;
            options.FailedLine = &failedLine;
            if (workbook)
                morvane::ConvertToWorkbook(input, output, settings, {}, sink, options);
            else
                morvane::ConvertFile(input, output, settings, sink, options);
        });
    } catch (...) {
        ReportRunError(std::current_exception(), input, failedLine);
        // The bar read "finished" while the box was up; once it is closed it
        // must not leave the user believing the run succeeded.
        progress_Excel->SetCaption(QString::fromLatin1(TConversionRun::kFailedCaption));
        return;
    }
    // Only a conversion that was carried out is one to come back to.
    if (ranToItsEnd)
        memory_->Remember(choice.Saved());
}

void TfMain::Label9Click()
{
    Platform().OpenUrl(QString::fromUtf8(MainAssets::kWebAddress));
}

void TfMain::Label10Click()
{
    Platform().OpenUrl(QStringLiteral("mailto:") + QString::fromUtf8(MainAssets::kMailAddress)
                      + QStringLiteral("?subject=") + QString::fromLatin1(kApplicationTitle)
                      + QStringLiteral("&body=") + QString::fromUtf8(MainAssets::kMailGreeting));
}

void TfMain::ChooseInputFile(const QString& path)
{
    // The same steps as the file-open edit's browse button: the edit takes
    // the focus, then the name changes.
    if (!FileOpenEdit1->hasFocus())
        FileOpenEdit1->setFocus(Qt::OtherFocusReason);
    choosingFile_ = true;
    const auto reset = qScopeGuard([this] { choosingFile_ = false; });
    // Shown as the system writes paths, whichever way it came.
    FileOpenEdit1->SetFilename(QDir::toNativeSeparators(path));
}

void TfMain::ChooseInputFiles(const QStringList& paths)
{
    if (paths.isEmpty())
        return;
    QStringList files;
    for (const QString& path : paths)
        files.append(QDir::toNativeSeparators(path));
    batch_->SetFiles(files);
    ChooseInputFile(files.first());
}

bool TfMain::OpenFromCommandLine(const QString& argument)
{
    // A drop always hands over a full path; a relative argument means the
    // folder the program was started in.
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QDir::cleanPath(QFileInfo(argument).absoluteFilePath()))});
    QString path;
    if (argument.isEmpty() || !AcceptableDrop(&data, &path))
        return false;
    ChooseInputFiles({path});
    return true;
}

// ------------------------------------------------------------------ helpers

void TfMain::ReadTemplatesAndBuildRows()
{
    templatesStale_ = false;
    if (separatorSet_.empty()) {
        SelectPage(TabSheet4);
        Platform().MessageBox(this, QString::fromLatin1(kNoSeparator), QStringLiteral("Information"),
                             IPlatform::TMessageStyle::Information);
    }

    const std::string input = PathBytes(FileOpenEdit1->Filename());
    TTemplateExcerpt header = TTemplateExcerpt::Read(input, true);
    TTemplateExcerpt data = TTemplateExcerpt::Read(input, false);
    // A look at page 1 that changed nothing the rows are made of keeps the
    // boxes the user set and the output the user chose.
    TRowsBasis basis{input, separatorSet_, header.Text, header.Cut, data.Text, data.Cut};
    if (rowsBasis_ == basis)
        return;
    rowsBasis_ = std::move(basis);

    headerTemplate_ = std::move(header);
    BuildHeaderEdits(headerTemplate_);
    SetPreview(lbl_Header, *headerRow_,
               headerTemplate_.Text.empty()
                   ? std::string(kNotFound)
                   : TTemplateExcerpt::PreviewOf(headerTemplate_.Text, headerTemplate_.Cut));

    dataTemplate_ = std::move(data);
    BuildLineEdits(dataTemplate_);
    SetPreview(lbl_data, *lineRow_,
               dataTemplate_.Text.empty()
                   ? std::string(kNotFound)
                   : TTemplateExcerpt::PreviewOf(dataTemplate_.Text, dataTemplate_.Cut));
    UpdateOccurrenceHints();
    RestoreRememberedRun();
    // The name follows the file even when its lines cannot be read: a name
    // left over from the previous file would have "&Go" overwrite that
    // file's output.
    if (!input.empty())
        lb_FileNameExcel->SetCaption(PathText(morvane::ProposedOutputName(input)));
}

bool TfMain::ConfirmRun(const QString& input, bool workbook)
{
    // Without a header line there is nothing to convert; a run would still
    // put a file of one stray cell where the earlier output was.
    if (morvane::EndsBeforeHeader(PathBytes(input))) {
        const QFileInfo file(input);
        Platform().MessageBox(this,
                              QStringLiteral("%1 has no header line, so there is nothing to convert. "
                                             "Nothing was written.")
                                  .arg(QDir::toNativeSeparators(file.fileName())),
                              QStringLiteral("Information"), IPlatform::TMessageStyle::Information);
        return false;
    }
    return !workbook || !OutputFormat().OneCellLines() || ConfirmOneCellLines();
}

bool TfMain::ConfirmOneCellLines()
{
    const QStringList buttons = {QStringLiteral("&Write it"), QStringLiteral("Cancel")};
    return Platform().Ask(this,
                          QStringLiteral("Every line would become a single cell: after the boxes, the first data "
                                         "line holds no \"%1\", the character that divides a line into cells. "
                                         "Write the workbook anyway?")
                              .arg(QLatin1Char(morvane::TWorkbookOptions().CellSeparator)),
                          QString::fromLatin1(kApplicationTitle), buttons)
        == 0;
}

void TfMain::ReportRunError(std::exception_ptr error, const QString& input, std::int64_t failedLine)
{
    const TErrorDescription description = DescribeError(error);
    if (failedLine <= 0 || !description.Reportable) {
        ReportError(this, error);
        return;
    }
    // Named as the converter names it, so the line can be found in the file.
    ShowErrorBox(WithErrorPeriod(description.Message) + "\n(line " + std::to_string(failedLine) + " of "
                 + PathBytes(QFileInfo(input).fileName()) + ")");
}

QString TfMain::OutputPathFor(const QString& shown, const QString& input)
{
    // The save dialog answers with the system's separators; only a name
    // without any folder is a proposed one, which belongs beside the PE
    // file, not in whatever the current folder happens to be.
    const QString path = QDir::fromNativeSeparators(shown);
    if (HasFolder(shown))
        return path;
    return QFileInfo(input).path() + QLatin1Char('/') + path;
}

bool TfMain::HasFolder(const QString& shown)
{
    return QDir::fromNativeSeparators(shown).contains(QLatin1Char('/'));
}

QString TfMain::StartFolder(IPlatform::TFolder which) const
{
    // The folder used last for the same kind of file, else the PE file's,
    // else the user's documents: never the folder the program happens to
    // run in (on Windows its installation folder).
    QString folder = ExistingFolder(Platform().RememberedFolder(which));
    if (folder.isEmpty() && which != IPlatform::TFolder::PeFile) {
        const QFileInfo pe(FileOpenEdit1->Filename());
        if (pe.isFile())
            folder = pe.absolutePath();
    }
    if (folder.isEmpty())
        folder = ExistingFolder(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
    return folder;
}

TWindowChoice TfMain::Choice() const
{
    TWindowChoice choice;
    morvane::TConversionSettings& c = choice.Settings;
    c.SeparatorSet = separatorSet_;
    c.HeaderReplacements = headerRow_->Texts();
    c.DataReplacements = lineRow_->Texts();
    c.RelativeTime = cb_RelativeTimeSeperator->Checked();
    c.RelativeTimeSeparator = relativeTimeSeparator_;
    c.AcrossMidnight = cb_AcrossMidnight->Checked();
    choice.Header = headerTemplate_.Text;
    choice.HeaderCut = headerTemplate_.Cut;
    choice.Input = FileOpenEdit1->Filename();
    return choice;
}

void TfMain::ApplyOptions(const morvane::TConversionSettings& settings)
{
    // Each edit's change handler takes its text into the window's values.
    ed_Seperator->SetText(settings.SeparatorSet);
    cb_RelativeTimeSeperator->SetChecked(settings.RelativeTime);
    ed_RelativeTimeSeperator->SetText(settings.RelativeTimeSeparator);
    cb_AcrossMidnight->SetChecked(settings.AcrossMidnight);
}

void TfMain::ApplyRows(const morvane::TConversionSettings& settings)
{
    // Boxes beyond a map take the settings' one replacement for every
    // occurrence, else their separator.
    headerRow_->ApplyTexts(settings.HeaderReplacements, settings.ReplacementBeyondList);
    lineRow_->ApplyTexts(settings.DataReplacements, settings.ReplacementBeyondList);
}

bool TfMain::RowsCurrent() const
{
    // The separator set or the file changed since the rows were built: their
    // boxes then stand for other occurrences.
    return rowsBasis_ && !templatesStale_ && rowsBasis_->Separators == separatorSet_;
}

void TfMain::MakeRowsCurrent()
{
    if (!RowsCurrent())
        ReadTemplatesAndBuildRows();
}

void TfMain::RestoreRememberedRun()
{
    EndNote();
    const std::optional<TRememberedBoxes::TRestore> restore =
        memory_->RowsRebuilt(headerTemplate_.Text, headerTemplate_.Cut, separatorSet_);
    if (!restore)
        return;
    {
        const QScopedValueRollback restoring(restoring_, true);
        ApplyOptions(restore->Settings);
        ApplyRows(restore->Settings);
    }
    if (!restore->When.empty()) {
        const QString note =
            QStringLiteral("Boxes as in your conversion of %1.").arg(QString::fromStdString(restore->When));
        headerRow_->SetNote(note);
        lineRow_->SetNote(note);
    }
}

void TfMain::EndNote()
{
    headerRow_->SetNote({});
    lineRow_->SetNote({});
}

void TfMain::OpenSettings(const morvane::TSavedSettings& file, const QString& name)
{
    if (templatesStale_)
        ReadTemplatesAndBuildRows();
    if (file.HeaderSeparators && !headerTemplate_.Text.empty() && !headerTemplate_.Cut) {
        const std::size_t count = morvane::CountSeparators(headerTemplate_.Text, file.Conversion.SeparatorSet);
        if (count != *file.HeaderSeparators) {
            Platform().MessageBox(this,
                                  QStringLiteral("%1 was made for a header with %2 separators, but the header "
                                                 "of this PE file has %3. Nothing was changed.")
                                      .arg(name)
                                      .arg(*file.HeaderSeparators)
                                      .arg(count),
                                  QStringLiteral("Information"), IPlatform::TMessageStyle::Information);
            return;
        }
    }
    // The rows are built for the file's separator set, then take the file's
    // options and boxes over whatever a rebuild brought back.
    ed_Seperator->SetText(file.Conversion.SeparatorSet);
    MakeRowsCurrent();
    ApplyOptions(file.Conversion);
    ApplyRows(file.Conversion);
    memory_->Adopt(file.Conversion, headerTemplate_.Text);
}

void TfMain::UpdateOccurrenceHints()
{
    // Boxes left over from an earlier file (their template came out empty)
    // get no occurrence: the hint then says what to do instead.
    const std::size_t limit = TTemplateExcerpt::kMaxBoxes;
    const auto header = morvane::OccurrenceFields(headerTemplate_.Text, separatorSet_, limit);
    const auto data = morvane::OccurrenceFields(dataTemplate_.Text, separatorSet_, limit);
    const std::size_t headerCount = morvane::CountSeparators(headerTemplate_.Text, separatorSet_);
    const std::size_t dataCount = morvane::CountSeparators(dataTemplate_.Text, separatorSet_);
    // Only a header with as many occurrences names the data's fields; a cut
    // line's count says nothing about the whole line.
    const bool headerNamesData =
        !header.empty() && headerCount == dataCount && !headerTemplate_.Cut && !dataTemplate_.Cut;

    QStringList hints;
    for (std::size_t k = 0; k < header.size(); ++k)
        hints.append(OccurrenceHint(header[k], k, headerCount, headerTemplate_.Cut, nullptr));
    headerRow_->SetOccurrenceHints(hints);
    hints.clear();
    for (std::size_t k = 0; k < data.size(); ++k)
        hints.append(OccurrenceHint(data[k], k, dataCount, dataTemplate_.Cut,
                                    headerNamesData ? &header[k] : nullptr));
    lineRow_->SetOccurrenceHints(hints);
}

bool TfMain::NamesTheInput(const QString& output) const
{
    // The same file by any name: symbolic links and, where the file system ignores
    // case, other spellings.
    const QFileInfo input(FileOpenEdit1->Filename());
    const QFileInfo chosen(output);
    return input.exists() && chosen.exists() && input == chosen;
}

QString TfMain::ExistingFolder(const QString& folder)
{
    return !folder.isEmpty() && QFileInfo(folder).isDir() ? folder : QString();
}

void TfMain::RememberFolderOf(IPlatform::TFolder which, const QString& file)
{
    // A PE file only once it is there: a path being typed passes through
    // names the user never meant. An output need not exist yet; its folder must.
    const QFileInfo info(file);
    if (file.isEmpty() || (which == IPlatform::TFolder::PeFile && !info.isFile()))
        return;
    const QString folder = info.absolutePath();
    if (!QFileInfo(folder).isDir())
        return;
    if (folder != Platform().RememberedFolder(which))
        Platform().RememberFolder(which, folder);
}

void TfMain::RefreshIfStale()
{
    if (!templatesStale_)
        return;
    // With the focus still on page 1 its exit follows at once and reads the
    // templates; reading them here too would read a huge file twice.
    const QWidget* focus = QApplication::focusWidget();
    if (focus && TabSheet4->isAncestorOf(focus))
        return;
    ReadTemplatesAndBuildRows();
}

void TfMain::SelectPage(TTabSheet* page)
{
    PageControl1->SetActivePage(page);
}

void TfMain::EditChange(TBevelEdit* sender, TReplacementRow& row, const TTemplateExcerpt& templ,
                        TBevelLabel* preview)
{
    const std::string text = sender->Text();
    if (text.size() > 1) {
        // Editing the text runs this handler again, which updates the
        // preview; as an edit it stays one the user can undo.
        sender->EditText(text.substr(0, 1));
        Platform().Beep();
        return;
    }
    const std::string mapped = morvane::MapLine(templ.Text, separatorSet_, row.Texts());
    SetPreview(preview, row, TTemplateExcerpt::PreviewOf(mapped, templ.Cut && !templ.Text.empty()));
}

// The first data line as the run writes it, for the note's count of cells.
void TfMain::ShowOutputFormat()
{
    std::string line = cb_RelativeTimeSeperator->Checked() ? "0" + relativeTimeSeparator_ : std::string();
    line += morvane::MapLine(dataTemplate_.Text, separatorSet_, lineRow_->Texts());
    outputFormat_->Show(lb_FileNameExcel->Caption(), !dataTemplate_.Text.empty(), line);
    if (batch_ && batch_->Active())
        outputFormat_->ShowBatch(batch_->Files().size(), lb_FileNameExcel->Caption());
}

void TfMain::SetPreview(TBevelLabel* label, TReplacementRow& row, const std::string& text)
{
    label->SetCaption(Windows1252::Decode(text));
    row.UpdateExtent();
}

// ------------------------------------------------------------------- events

void TfMain::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (centred_ || event->spontaneous())
        return;
    centred_ = true;
    if (const QScreen* screen = this->screen()) {
        const QRect available = screen->availableGeometry();
        move(available.center() - QPoint(width() / 2, height() / 2));
    }
}

void TfMain::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (size() == kClientSize || !HasNormalSize())
        return;
    // Any other size outside a maximized state came from dragging an edge.
    // The state can change just after the size, so it is looked at again
    // once the events of the moment are through.
    QTimer::singleShot(0, this, [this] {
        if (size() != kClientSize && HasNormalSize())
            resize(kClientSize);
    });
}

bool TfMain::HasNormalSize() const
{
    return !(windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen));
}

bool TfMain::eventFilter(QObject* watched, QEvent* event)
{
    if ((watched == Label9 || watched == Label10) && event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        const auto* label = static_cast<QWidget*>(watched);
        if (mouse->button() == Qt::LeftButton && label->rect().contains(mouse->position().toPoint())) {
            GuardedHandler(this, [this, watched] {
                if (watched == Label9)
                    Label9Click();
                else
                    Label10Click();
            })();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

bool TfMain::AcceptableDrop(const QMimeData* data, QString* path)
{
    const QStringList files = DroppedFiles(data);
    if (files.isEmpty())
        return false;
    if (path)
        *path = files.first();
    return true;
}

QStringList TfMain::DroppedFiles(const QMimeData* data)
{
    // Only existing files, every one of them: a folder or a web address among
    // them refuses the whole drop rather than leaving part of it out unseen.
    if (!data || !data->hasUrls())
        return {};
    QStringList files;
    for (const QUrl& url : data->urls()) {
        if (!url.isLocalFile() || !QFileInfo(url.toLocalFile()).isFile())
            return {};
        files.append(url.toLocalFile());
    }
    return files;
}

void TfMain::dragEnterEvent(QDragEnterEvent* event)
{
    if (AcceptableDrop(event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void TfMain::dragMoveEvent(QDragMoveEvent* event)
{
    if (AcceptableDrop(event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void TfMain::dropEvent(QDropEvent* event)
{
    const QStringList files = DroppedFiles(event->mimeData());
    if (files.isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    ChooseInputFiles(files);
}
