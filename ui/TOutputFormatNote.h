#pragma once

#include <QObject>
#include <QString>

#include <string>

class QLabel;
class QWidget;

// Says on the output page what "&Go" will write: a CSV file, or, for a name
// ending in .xlsx, a workbook and how many cells the first data line gives,
// so that a line which would land in one cell shows before the run.
class TOutputFormatNote : public QObject {
    Q_OBJECT
public:
    // The note goes into the free strip under the output name.
    explicit TOutputFormatNote(QWidget* page);

    // The save dialog's filters, the CSV file's first.
    static QString DialogFilter();
    // The suffix the save dialog starts with for the name shown.
    static QString DialogSuffix(const QString& outputName);
    static bool WritesWorkbook(const QString& outputName);

    // `mappedDataLine` is the first data line as the run writes it, cell in
    // front and all.
    void Show(const QString& outputName, bool hasDataLine, const std::string& mappedDataLine);
    // For several PE files: how many, in which format, and where.
    void ShowBatch(qsizetype files, const QString& firstOutput);
    QLabel* Label() const { return label_; }
    // True when the last Show was for a workbook whose first data line
    // gives a single cell: every line would most likely land in one cell.
    bool OneCellLines() const { return oneCellLines_; }

private:
    QLabel* label_;
    bool oneCellLines_ = false;
};
