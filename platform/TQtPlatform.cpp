#include "TQtPlatform.h"

#include "TQtFileOpenDialog.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QShowEvent>
#include <QUrl>

#include <algorithm>
#include <cstdio>
#include <vector>
#include <memory>

namespace {

// The information box stands in the middle of its owner's screen, as the
// desktop places a system message box, not over the owner window.
class TScreenCentredMessageBox : public QMessageBox {
public:
    using QMessageBox::QMessageBox;

protected:
    void showEvent(QShowEvent* event) override
    {
        // The box takes its final size here, so it is placed after that.
        QMessageBox::showEvent(event);
        if (event->spontaneous())
            return;
        const QWidget* owner = parentWidget();
        const QScreen* screen = owner ? owner->screen() : QGuiApplication::primaryScreen();
        if (screen)
            move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));
    }
};

// One file of the user's own, whatever the application object is called.
QSettings UserSettings()
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("morvane"),
                     QStringLiteral("morvane"));
}

QString FolderKey(IPlatform::TFolder which)
{
    switch (which) {
    case IPlatform::TFolder::PeFile: return QStringLiteral("Folders/PeFile");
    case IPlatform::TFolder::Output: return QStringLiteral("Folders/Output");
    case IPlatform::TFolder::Settings: break;
    }
    return QStringLiteral("Folders/Settings");
}

} // namespace

IPlatform::TButton TQtPlatform::MessageBox(QWidget* parent, const QString& text,
                                           const QString& caption, TMessageStyle style)
{
    const QMessageBox::Icon icon =
        style == TMessageStyle::Error ? QMessageBox::Critical : QMessageBox::Information;
    std::unique_ptr<QMessageBox> owned =
        style == TMessageStyle::Information
            ? std::make_unique<TScreenCentredMessageBox>(icon, caption, text, QMessageBox::Ok, parent)
            : std::make_unique<QMessageBox>(icon, caption, text, QMessageBox::Ok, parent);
    QMessageBox& box = *owned;
    // Messages carry file names and file contents: never let them be read as markup.
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::Ok);
    box.setEscapeButton(QMessageBox::Ok);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
    return TButton::Ok;
}

int TQtPlatform::Ask(QWidget* parent, const QString& text, const QString& caption, const QStringList& buttons)
{
    TScreenCentredMessageBox box(QMessageBox::Question, caption, text, QMessageBox::NoButton, parent);
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(Qt::ApplicationModal);
    std::vector<QAbstractButton*> added;
    for (qsizetype k = 0; k < buttons.size(); ++k) {
        // The last answer changes nothing, so it is the one a closed box gives.
        const QMessageBox::ButtonRole role = k + 1 == buttons.size() ? QMessageBox::RejectRole
                                             : k == 0                ? QMessageBox::AcceptRole
                                                                     : QMessageBox::ActionRole;
        added.push_back(box.addButton(buttons[k], role));
    }
    if (added.empty())
        return -1;
    box.setDefaultButton(qobject_cast<QPushButton*>(added.front()));
    box.setEscapeButton(added.back());
    box.exec();
    const auto pressed = std::find(added.begin(), added.end(), box.clickedButton());
    return pressed == added.end() ? static_cast<int>(added.size()) - 1 : static_cast<int>(pressed - added.begin());
}

void TQtPlatform::LastResortBox(const QString& text, const QString& caption)
{
    // Without a widget application there is nothing to draw a box with; the
    // terminal is then the only place the text can still reach.
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
        const QByteArray bytes = (caption + QStringLiteral(": ") + text).toLocal8Bit();
        std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stderr);
        std::fflush(stderr);
        return;
    }
    QMessageBox box(QMessageBox::Critical, caption, text, QMessageBox::Ok, nullptr);
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

std::optional<QString> TQtPlatform::SaveFileName(QWidget* parent, const TSaveDialogRequest& request)
{
    // An empty title lets the dialog use its own ("Save As").
    QFileDialog dialog(parent, request.Title);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // Choosing an existing file asks before it is taken: the run replaces it.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    dialog.setSizeGripEnabled(true);
    if (!request.InitialDir.isEmpty())
        dialog.setDirectory(request.InitialDir);
    if (!request.Filter.isEmpty())
        dialog.setNameFilters(request.Filter.split(QStringLiteral(";;")));
    if (!request.DefaultExt.isEmpty())
        dialog.setDefaultSuffix(request.DefaultExt);
    // A name typed without a suffix takes the chosen filter's.
    const auto suffixOf = [](const QString& filter) {
        const qsizetype star = filter.indexOf(QStringLiteral("(*."));
        return star < 0 ? QString() : filter.mid(star + 3).section(QLatin1Char(')'), 0, 0).section(QLatin1Char(' '), 0, 0);
    };
    for (const QString& filter : dialog.nameFilters()) {
        if (!request.DefaultExt.isEmpty() && suffixOf(filter) == request.DefaultExt)
            dialog.selectNameFilter(filter);
    }
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, suffixOf](const QString& filter) {
        if (const QString suffix = suffixOf(filter); !suffix.isEmpty())
            dialog.setDefaultSuffix(suffix);
    });
    if (!request.FileName.isEmpty())
        dialog.selectFile(request.FileName);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty() || chosen.first().isEmpty())
        return std::nullopt;
    // Shown as the system writes paths: with backslashes on Windows.
    return QDir::toNativeSeparators(chosen.first());
}

std::unique_ptr<IFileOpenDialog> TQtPlatform::CreateFileOpenDialog()
{
    return std::make_unique<TQtFileOpenDialog>();
}

void TQtPlatform::Beep()
{
    QApplication::beep();
}

void TQtPlatform::OpenUrl(const QString& url)
{
    // Nothing handling the address is not worth a message.
    QDesktopServices::openUrl(QUrl(url, QUrl::TolerantMode));
}

QString TQtPlatform::RememberedFolder(TFolder which)
{
    return UserSettings().value(FolderKey(which)).toString();
}

void TQtPlatform::RememberFolder(TFolder which, const QString& folder)
{
    QSettings settings = UserSettings();
    if (settings.value(FolderKey(which)).toString() == folder)
        return;
    settings.setValue(FolderKey(which), folder);
}

QString TQtPlatform::ConfigurationFolder()
{
    const QString folder = QFileInfo(UserSettings().fileName()).absolutePath();
    return QDir().mkpath(folder) ? folder : QString();
}
