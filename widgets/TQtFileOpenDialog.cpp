#include "TQtFileOpenDialog.h"

#include <QDir>
#include <QFileDialog>

TQtFileOpenDialog::TQtFileOpenDialog() = default;
TQtFileOpenDialog::~TQtFileOpenDialog() = default;

QStringList TQtFileOpenDialog::NameFilters(const QString& filter)
{
    QStringList result;
    const QStringList parts = filter.split(u'|');
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString description = parts[i].trimmed();
        QStringList patterns = parts[i + 1].split(u';', Qt::SkipEmptyParts);
        for (QString& p : patterns)
            p = p.trimmed();
        patterns.removeAll(QString());
        if (patterns.isEmpty())
            continue;
        // QFileDialog reads the patterns from the last bracket pair; a
        // description that already ends in them would show them twice.
        const QString bracketed = QStringLiteral("(%1)").arg(patterns.join(u' '));
        if (description.endsWith(bracketed))
            result.append(description);
        else
            result.append(QStringLiteral("%1 %2").arg(description.isEmpty() ? patterns.join(u' ') : description,
                                                     bracketed));
    }
    return result;
}

void TQtFileOpenDialog::Configure(QFileDialog& dialog) const
{
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (options_ & ofAllowMultiSelect)
        dialog.setFileMode(QFileDialog::ExistingFiles);
    else if (options_ & (ofPathMustExist | ofFileMustExist))
        dialog.setFileMode(QFileDialog::ExistingFile);
    else
        dialog.setFileMode(QFileDialog::AnyFile);
    QFileDialog::Options qtOptions;
    if (options_ & ofNoDereferenceLinks)
        qtOptions |= QFileDialog::DontResolveSymlinks;
    dialog.setOptions(qtOptions);
    dialog.setFilter(dialog.filter() | ((options_ & ofForceShowHidden) ? QDir::Hidden : QDir::Filters()));
    if (!title_.isEmpty())
        dialog.setWindowTitle(title_);
    if (!initialDir_.isEmpty())
        dialog.setDirectory(initialDir_);
    const QStringList filters = NameFilters(filter_);
    if (!filters.isEmpty())
        dialog.setNameFilters(filters);
    QString ext = defaultExt_;
    while (ext.startsWith(u'.'))
        ext.remove(0, 1);
    dialog.setDefaultSuffix(ext);
}

bool TQtFileOpenDialog::Execute(QWidget* parent)
{
    QFileDialog dialog(parent);
    Configure(dialog);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty())
        return false;
    // As the system writes paths: with backslashes on Windows.
    fileNames_.clear();
    for (const QString& file : chosen)
        fileNames_.append(QDir::toNativeSeparators(file));
    fileName_ = fileNames_.first();
    return true;
}
