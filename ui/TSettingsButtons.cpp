#include "TSettingsButtons.h"

#include "ErrorReporting.h"
#include "FileSystemNames.h"
#include "TBevelButton.h"
#include "TSettingsFile.h"

#include <QFileInfo>
#include <QWidget>

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

TSettingsButtons::TSettingsButtons(QWidget* page, QWidget* window, THost host)
    : QObject(window)
    , window_(window)
    , host_(std::move(host))
{
    // Below the last control of page 1, in the room the layout leaves there;
    // made after every other control, so last in the tab order.
    btn_SaveSettings = new TBevelButton(QStringLiteral("Save settings\u2026"), page);
    btn_SaveSettings->setGeometry(56, 205, 125, 24);
    btn_SaveSettings->setObjectName(QStringLiteral("btn_SaveSettings"));
    btn_OpenSettings = new TBevelButton(QStringLiteral("Open settings\u2026"), page);
    btn_OpenSettings->setGeometry(196, 205, 125, 24);
    btn_OpenSettings->setObjectName(QStringLiteral("btn_OpenSettings"));
    connect(btn_SaveSettings, &TBevelButton::OnClick, this,
            GuardedHandler(window, [this] { btn_SaveSettingsClick(); }));
    connect(btn_OpenSettings, &TBevelButton::OnClick, this,
            GuardedHandler(window, [this] { btn_OpenSettingsClick(); }));
}

void TSettingsButtons::btn_SaveSettingsClick()
{
    IPlatform& platform = CurrentPlatform();
    IPlatform::TSaveDialogRequest request;
    request.Title = QStringLiteral("Save settings");
    // Its own name and folder: the output's dialog has others.
    request.FileName = lastName_;
    request.InitialDir = host_.StartFolder(IPlatform::TFolder::Settings);
    request.Filter = QString::fromLatin1(kSaveFilter);
    request.DefaultExt = QStringLiteral("ini");
    const std::optional<QString> chosen = platform.SaveFileName(window_, request);
    if (!chosen)
        return;
    lastName_ = QFileInfo(*chosen).fileName();
    RememberFolderOf(*chosen);
    morvane::TSettingsFile::Save(PathBytes(*chosen), host_.CurrentChoice().Saved());
}

void TSettingsButtons::btn_OpenSettingsClick()
{
    IPlatform& platform = CurrentPlatform();
    const std::unique_ptr<IFileOpenDialog> dialog = platform.CreateFileOpenDialog();
    dialog->SetOptions(ofHideReadOnly | ofPathMustExist | ofFileMustExist);
    dialog->SetTitle(QStringLiteral("Open settings"));
    dialog->SetInitialDir(host_.StartFolder(IPlatform::TFolder::Settings));
    dialog->SetFilter(QString::fromLatin1(kOpenFilter));
    dialog->SetDefaultExt(QStringLiteral("ini"));
    if (!dialog->Execute(window_))
        return;
    const QString path = dialog->FileName();
    RememberFolderOf(path);
    // An unreadable or damaged file raises here, before anything changed.
    host_.Open(morvane::TSettingsFile::Load(PathBytes(path)), QFileInfo(path).fileName());
}
