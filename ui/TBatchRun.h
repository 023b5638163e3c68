#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

#include "TConversionSettings.h"
#include "TSavedSettings.h"

namespace morvane {
class TRememberedSettings;
}
class QLabel;
class QWidget;
class TConversionRun;
class TSegmentProgress;

// Several PE files converted by one "&Go": a day's files, a month's. The
// window shows the first file's rows; each file is converted with the boxes
// remembered for its own header, else with those on screen when its header
// has as many separators, else it is skipped. One question before the run
// when outputs exist, one summary after it.
class TBatchRun : public QObject {
    Q_OBJECT
public:
    // What the window has the user chose for every file.
    struct TRequest {
        // The separator set, both rows' boxes and the relative time options
        // on screen; the options hold for every file.
        morvane::TConversionSettings Screen;
        // Separators in the header the boxes were built for.
        std::size_t HeaderSeparators = 0;
        // Where the outputs go; empty: each beside its PE file.
        QString OutputFolder;
        bool Workbook = false;
    };

    // What one file is converted with, or why it is skipped.
    struct TChoice {
        std::optional<morvane::TConversionSettings> Settings;
        std::string SkipReason;
    };

    // The line saying so goes on `page1`; the files are converted by `run`,
    // which shows them on `bar`.
    TBatchRun(QWidget* page1, TConversionRun& run, TSegmentProgress& bar);

    // Fewer than two files end the batch: one file is converted as always.
    void SetFiles(const QStringList& files);
    const QStringList& Files() const { return files_; }
    bool Active() const { return files_.size() > 1; }
    QLabel* Note() const { return note_; }

    // The output of `input` in `folder` (empty: the input's own folder).
    static QString OutputFor(const QString& input, const QString& folder, bool workbook);
    // `header` is the file's first line as the window keeps it (Text, Cut);
    // empty with `noHeaderLine` for a file that has none.
    static TChoice ChoiceFor(const std::string& header, bool headerCut, bool noHeaderLine, const TRequest& request,
                             const morvane::TRememberedSettings* remembered);

    // Converts every file, asking first where outputs exist, and tells the
    // outcome in one box. `remembered` may be null (nothing remembered); it
    // is read on the run's thread and must not change meanwhile. `remember`
    // keeps a header's last converted run, on the window's thread, once the
    // run is over.
    void Go(QWidget* window, const TRequest& request, const morvane::TRememberedSettings* remembered,
            const std::function<void(const morvane::TSavedSettings&)>& remember);

signals:
    void filesChanged();

private:
    void ShowNote();

    TConversionRun& run_;
    TSegmentProgress& bar_;
    QLabel* note_;
    QStringList files_;
};
