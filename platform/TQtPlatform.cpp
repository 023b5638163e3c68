#include "TQtPlatform.h"

#include "TQtFileOpenDialog.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QScreen>
#include <QSettings>
#include <QShowEvent>
#include <QUrl>

#include <cstdio>
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
    return which == IPlatform::TFolder::PeFile ? QStringLiteral("Folders/PeFile")
                                               : QStringLiteral("Folders/Output");
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
    const QString start = request.FileName.isEmpty() ? lastSaveFileName_ : request.FileName;
    if (!start.isEmpty())
        dialog.selectFile(start);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty() || chosen.first().isEmpty())
        return std::nullopt;
    // Shown as the system writes paths: with backslashes on Windows.
    lastSaveFileName_ = QDir::toNativeSeparators(chosen.first());
    return lastSaveFileName_;
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
