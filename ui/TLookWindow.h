#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "TPlotBuckets.h"
#include "TPlotScan.h"
#include "TPlotView.h"

class QLabel;
class QListWidget;
class QListWidgetItem;
class QProgressBar;
class QTimer;
class TBevelButton;
class TRememberedLookFields;

// "Look…": a window of its own showing the fields of a PE file over its
// relative time. The file is read on a thread of its own; the window shows
// how far it got and closing it stops the reading at once. Dragging across
// the plot reads that span again, every line of it; Esc or "Whole file"
// goes back out. Whatever is wrong with the file is said in the plot's
// place, never in a box.
class TLookWindow : public QWidget {
    Q_OBJECT
public:
    struct TInput {
        std::string Path;
        QString ShownPath;
        std::string SeparatorSet;
        bool AcrossMidnight = false;
        // Where the choice of fields per header is kept; none, it is not.
        std::shared_ptr<TRememberedLookFields> Remembered;
    };

    explicit TLookWindow(TInput input, QWidget* parent = nullptr);
    ~TLookWindow() override;
    TLookWindow(const TLookWindow&) = delete;
    TLookWindow& operator=(const TLookWindow&) = delete;

    QListWidget* Fields() const { return fields_; }
    TPlotView* Plot() const { return plot_; }
    TBevelButton* WholeButton() const { return whole_; }
    TBevelButton* SaveButton() const { return save_; }
    QProgressBar* Progress() const { return progress_; }
    QLabel* Status() const { return status_; }
    // A reading is under way.
    bool Reading() const { return job_ != nullptr; }
    // The spans zoomed into, the innermost last.
    const std::vector<std::pair<std::int64_t, std::int64_t>>& Spans() const { return spans_; }

    void SavePicture();

protected:
    void closeEvent(class QCloseEvent* event) override;
    void keyPressEvent(class QKeyEvent* event) override;

private:
    struct TJob;

    void ReadHead();
    void ChoiceChanged();
    std::vector<std::size_t> Chosen() const;
    void StartWhole();
    void StartSpan(std::int64_t from, std::int64_t to);
    void Start(std::optional<std::pair<std::int64_t, std::int64_t>> span);
    void Poll();
    void Finished(TJob& job);
    void Stop();
    void ShowWhole();
    void ZoomTo(std::int64_t from, std::int64_t to);
    void Back();
    TPlotData DataOf(const morvane::TPlotBuckets& buckets, std::int64_t from, std::int64_t to) const;

    TInput input_;
    morvane::TPlotHead head_;
    QListWidget* fields_ = nullptr;
    TPlotView* plot_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QLabel* status_ = nullptr;
    TBevelButton* whole_ = nullptr;
    TBevelButton* save_ = nullptr;
    QTimer* poll_ = nullptr;
    std::shared_ptr<TJob> job_;
    std::shared_ptr<const morvane::TPlotBuckets> wholeBuckets_;
    std::vector<std::size_t> plotted_;
    std::vector<std::pair<std::int64_t, std::int64_t>> spans_;
    bool filling_ = false;
    std::jthread thread_; // last: joined before the rest goes
};
