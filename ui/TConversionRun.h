#pragma once

#include "IProgressSink.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>

class QEventLoop;
class QWidget;
class TSegmentProgress;

// Runs one conversion on a thread of its own while the window's thread goes
// on handling events, so the window repaints, the bar moves and the desktop
// never finds the window "not responding". Run() still returns only when the
// run has ended, as a plain call would.
//
// While a run is under way every key, click, wheel turn and drop anywhere in
// the application is dropped, never carried out afterwards: a second click
// on "Go" must not start a second run that rewrites the output. Esc stops
// the run; closing the window stops it and then closes the window.
class TConversionRun : public QObject {
    Q_OBJECT
public:
    using TWork = std::function<void(morvane::IProgressSink&)>;

    static const char* const kStoppedCaption;
    // What the bar reads once the error of a failed run has been shown.
    static const char* const kFailedCaption;

    // The run shows its progress on `bar`; closing `window` stops it.
    TConversionRun(QWidget& window, TSegmentProgress& bar);
    ~TConversionRun() override;
    TConversionRun(const TConversionRun&) = delete;
    TConversionRun& operator=(const TConversionRun&) = delete;

    // Runs `work` on the run's thread with a sink that reaches the bar, and
    // returns once it has ended: true when it ran to its end, false when it
    // was stopped or the window closed (the bar then reads kStoppedCaption)
    // or a run was already under way. Otherwise an error the work raises is
    // raised here again, on the window's thread, once the bar shows
    // everything the work reported.
    bool Run(const TWork& work);
    bool Running() const { return running_; }
    // The last run ended because its window was being closed.
    bool CloseRequested() const { return closeRequested_; }
    // The work's next progress report raises the stop; nothing when idle.
    void Stop();

signals:
    // The run is under way and input is being dropped.
    void started();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class TShared;
    class TWorkerSink;

    void WorkEnded();

    QPointer<QWidget> window_;
    TSegmentProgress& bar_;
    std::shared_ptr<TShared> shared_;
    QEventLoop* loop_ = nullptr;
    bool running_ = false;
    bool workEnded_ = false;
    bool closeRequested_ = false;
    // A change of the regional settings was held back during the run.
    bool localeChanged_ = false;
};
