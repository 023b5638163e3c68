#include "TOutputFormatNote.h"

#include <QDir>
#include <QLabel>
#include <QWidget>

#include <algorithm>

#include "ConvertToWorkbook.h"

TOutputFormatNote::TOutputFormatNote(QWidget* page) : QObject(page), label_(new QLabel(page))
{
    // Two lines in the strip between the output name and the bar, clear of
    // "&Go": one line at the window's font cut the cell count off.
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(11);
    label_->setFont(font);
    label_->setWordWrap(true);
    label_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label_->setGeometry(48, 182, 255, 26);
    label_->setObjectName(QStringLiteral("lbl_OutputFormat"));
}

QString TOutputFormatNote::DialogFilter()
{
    return QStringLiteral("CSV file (*.csv);;Excel workbook (*.xlsx)");
}

bool TOutputFormatNote::WritesWorkbook(const QString& outputName)
{
    return outputName.endsWith(QStringLiteral(".xlsx"), Qt::CaseInsensitive);
}

QString TOutputFormatNote::DialogSuffix(const QString& outputName)
{
    return WritesWorkbook(outputName) ? QStringLiteral("xlsx") : QStringLiteral("csv");
}

void TOutputFormatNote::Show(const QString& outputName, bool hasDataLine, const std::string& mappedDataLine)
{
    oneCellLines_ = false;
    if (!WritesWorkbook(outputName)) {
        label_->setText(tr("Go writes a CSV file."));
        return;
    }
    if (!hasDataLine) {
        label_->setText(tr("Go writes an Excel workbook."));
        return;
    }
    const char separator = morvane::TWorkbookOptions().CellSeparator;
    const auto cells = std::count(mappedDataLine.begin(), mappedDataLine.end(), separator) + 1;
    oneCellLines_ = cells == 1;
    label_->setText(cells == 1 ? tr("Go writes an Excel workbook: the first data line gives 1 cell (no \"%1\").")
                                     .arg(QLatin1Char(separator))
                               : tr("Go writes an Excel workbook: the first data line gives %1 cells.").arg(cells));
}

void TOutputFormatNote::ShowBatch(qsizetype files, const QString& firstOutput)
{
    // The one-cell question looks at the first file's line, which the note
    // then no longer counts.
    const bool workbook = WritesWorkbook(firstOutput);
    const bool beside = !QDir::fromNativeSeparators(firstOutput).contains(QLatin1Char('/'));
    const QString kind = workbook ? tr("Excel workbooks") : tr("CSV files");
    label_->setText(beside ? tr("Go writes %1 %2, each beside its PE file.").arg(files).arg(kind)
                           : tr("Go writes %1 %2 into the folder above, each named after its PE file.")
                                 .arg(files)
                                 .arg(kind));
}
