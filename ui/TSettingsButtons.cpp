#include "TSettingsButtons.h"

#include "ErrorReporting.h"
#include "IPlatform.h"
#include "SeparatorMap.h"
#include "TBevelButton.h"
#include "TFileOpenEdit.h"
#include "TRememberedBoxes.h"
#include "TSettingsFile.h"
#include "TTabSheet.h"
#include "FileSystemNames.h"
#include "TWindowSettings.h"
#include "uMain.h"

#include <QFileInfo>

namespace {

const char kSaveFilter[] = "Morvane settings (*.ini);;All files (*)";
const char kOpenFilter[] = "Morvane settings (*.ini)|*.ini|All files|*";

void RememberFolderOf(const QString& file)
{
    const QString folder = QFileInfo(file).absolutePath();
    IPlatform& platform = CurrentPlatform();
    if (QFileInfo(folder).isDir() && folder != platform.RememberedFolder(IPlatform::TFolder::Settings))
        platform.RememberFolder(IPlatform::TFolder::Settings, folder);
}

} // namespace

TSettingsButtons::TSettingsButtons(TfMain* window, TRememberedBoxes& memory,
                                   std::function<void()> rebuildRows)
    : QObject(window)
    , window_(window)
    , memory_(memory)
    , rebuildRows_(std::move(rebuildRows))
{
    // Below the last control of page 1, in the room the layout leaves there;
    // made after every other control, so last in the tab order.
    btn_SaveSettings = new TBevelButton(QStringLiteral("Save settings\u2026"), window->TabSheet4);
    btn_SaveSettings->setGeometry(56, 205, 125, 24);
    btn_SaveSettings->setObjectName(QStringLiteral("btn_SaveSettings"));
    btn_OpenSettings = new TBevelButton(QStringLiteral("Open settings\u2026"), window->TabSheet4);
    btn_OpenSettings->setGeometry(196, 205, 125, 24);
    btn_OpenSettings->setObjectName(QStringLiteral("btn_OpenSettings"));
    connect(btn_SaveSettings, &TBevelButton::OnClick, this,
            GuardedHandler(window, [this] { btn_SaveSettingsClick(); }));
    connect(btn_OpenSettings, &TBevelButton::OnClick, this,
            GuardedHandler(window, [this] { btn_OpenSettingsClick(); }));
}

void TSettingsButtons::MakeRowsCurrent()
{
    if (!memory_.RowsCurrent())
        rebuildRows_();
}

void TSettingsButtons::btn_SaveSettingsClick()
{
    IPlatform& platform = CurrentPlatform();
    IPlatform::TSaveDialogRequest request;
    request.Title = QStringLiteral("Save settings");
    // Its own name and folder: the output's dialog has others.
    request.FileName = lastName_;
    request.InitialDir = window_->StartFolder(IPlatform::TFolder::Settings);
    request.Filter = QString::fromLatin1(kSaveFilter);
    request.DefaultExt = QStringLiteral("ini");
    const std::optional<QString> chosen = platform.SaveFileName(window_, request);
    if (!chosen)
        return;
    lastName_ = QFileInfo(*chosen).fileName();
    RememberFolderOf(*chosen);
    MakeRowsCurrent();
    morvane::TSettingsFile::Save(PathBytes(*chosen), TWindowSettings::Collect(*window_));
}

void TSettingsButtons::btn_OpenSettingsClick()
{
    IPlatform& platform = CurrentPlatform();
    const std::unique_ptr<IFileOpenDialog> dialog = platform.CreateFileOpenDialog();
    dialog->SetOptions(ofHideReadOnly | ofPathMustExist | ofFileMustExist);
    dialog->SetTitle(QStringLiteral("Open settings"));
    dialog->SetInitialDir(window_->StartFolder(IPlatform::TFolder::Settings));
    dialog->SetFilter(QString::fromLatin1(kOpenFilter));
    dialog->SetDefaultExt(QStringLiteral("ini"));
    if (!dialog->Execute(window_))
        return;
    const QString path = dialog->FileName();
    RememberFolderOf(path);
    // An unreadable or damaged file raises here, before anything changed.
    const morvane::TSavedSettings file = morvane::TSettingsFile::Load(PathBytes(path));

    if (window_->TemplatesStale())
        rebuildRows_();
    const TTemplateExcerpt& header = window_->HeaderTemplate();
    if (file.HeaderSeparators && !header.Text.empty() && !header.Cut) {
        const std::size_t count = morvane::CountSeparators(header.Text, file.Conversion.SeparatorSet);
        if (count != *file.HeaderSeparators) {
            platform.MessageBox(window_,
                                QStringLiteral("%1 was made for a header with %2 separators, but the header "
                                               "of this PE file has %3. Nothing was changed.")
                                    .arg(QFileInfo(path).fileName())
                                    .arg(*file.HeaderSeparators)
                                    .arg(count),
                                QStringLiteral("Information"), IPlatform::TMessageStyle::Information);
            return;
        }
    }
    // The rows are built for the file's separator set; a rebuild brings
    // back remembered options, which the file's then replace again.
    TWindowSettings::ApplyOptions(*window_, file.Conversion);
    MakeRowsCurrent();
    TWindowSettings::ApplyOptions(*window_, file.Conversion);
    TWindowSettings::ApplyRows(*window_, file.Conversion);
    memory_.Adopt(file.Conversion);
}
