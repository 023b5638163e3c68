#include "TConversionRun.h"

#include "Exception.h"
#include "TProgressBarSink.h"
#include "TSegmentProgress.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QKeyEvent>
#include <QScopeGuard>
#include <QTimer>
#include <QWidget>

#include <atomic>
#include <cstdint>
#include <exception>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

const char* const TConversionRun::kStoppedCaption = "stopped";
const char* const TConversionRun::kFailedCaption = "failed";

namespace {

// Often enough for the bar to move smoothly, rarely enough to cost the run
// nothing.
constexpr int kProgressIntervalMs = 30;

// Raised inside the work by its sink when the user stopped the run; the
// engine closes its files and lets it through like any error.
class EConversionStopped : public morvane::Exception {
public:
    EConversionStopped() : Exception("The conversion was stopped.") {}
};

// One sink call other than SetValue, in the order the work made them.
struct TSinkCall {
    enum class TKind { Text, Show, Maximum, Value, Percent };
    TKind Kind;
    std::int64_t Number = 0;
    std::string Text;
};

bool IsUserInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::NonClientAreaMouseButtonRelease:
    case QEvent::NonClientAreaMouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::InputMethod:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
        return true;
    default:
        return false;
    }
}

} // namespace

// What the two threads share. SetValue comes once per line, on gigabyte
// files hundreds of millions of times: it is one atomic store, and the
// window's thread picks the latest value up on a timer. The rare calls are
// queued under a lock, each after the value it followed, so the bar sees
// them in the order the work made them.
class TConversionRun::TShared {
public:
    std::atomic<bool> Stop{false};
    std::atomic<std::int64_t> Value{0};
    std::mutex Mutex;
    std::vector<TSinkCall> Calls;  // guarded by Mutex
};

class TConversionRun::TWorkerSink final : public morvane::IProgressSink {
public:
    explicit TWorkerSink(TShared& shared) : shared_(shared) {}

    void SetText(const std::string& text) override { Queue({TSinkCall::TKind::Text, 0, text}); }
    void Show() override { Queue({TSinkCall::TKind::Show, 0, {}}); }
    void SetMaximum(std::int64_t maximum) override { Queue({TSinkCall::TKind::Maximum, maximum, {}}); }
    void SetPercent(int percent) override { Queue({TSinkCall::TKind::Percent, percent, {}}); }

    void SetValue(std::int64_t value) override
    {
        if (shared_.Stop.load(std::memory_order_relaxed)) {
            stopped_ = true;
            throw EConversionStopped();
        }
        latest_ = value;
        shared_.Value.store(value, std::memory_order_relaxed);
    }

private:
    void Queue(TSinkCall call)
    {
        // A stopped run's closing "finished" would tell the user a lie.
        if (stopped_)
            return;
        const std::lock_guard<std::mutex> lock(shared_.Mutex);
        if (!queuedAny_ || latest_ != queuedValue_) {
            shared_.Calls.push_back({TSinkCall::TKind::Value, latest_, {}});
            queuedValue_ = latest_;
            queuedAny_ = true;
        }
        shared_.Calls.push_back(std::move(call));
    }

    TShared& shared_;
    std::int64_t latest_ = 0;
    std::int64_t queuedValue_ = 0;
    bool queuedAny_ = false;
    bool stopped_ = false;
};

TConversionRun::TConversionRun(QWidget& window, TSegmentProgress& bar)
    : QObject(&window)
    , window_(&window)
    , bar_(bar)
{
}

TConversionRun::~TConversionRun() = default;

void TConversionRun::Stop()
{
    if (shared_)
        shared_->Stop.store(true, std::memory_order_relaxed);
}

bool TConversionRun::Run(const TWork& work)
{
    if (running_)
        return false;
    running_ = true;
    workEnded_ = false;
    closeRequested_ = false;
    localeChanged_ = false;
    const auto idle = qScopeGuard([this] {
        qApp->removeEventFilter(this);
        loop_ = nullptr;
        shared_.reset();
        running_ = false;
        if (localeChanged_)
            QCoreApplication::postEvent(QCoreApplication::instance(), new QEvent(QEvent::LocaleChange));
    });
    shared_ = std::make_shared<TShared>();
    TProgressBarSink barSink(bar_);
    std::int64_t applied = 0;
    bool appliedAny = false;
    // Replays the queued calls, then the latest value when it is newer.
    const auto applyProgress = [&] {
        std::vector<TSinkCall> calls;
        {
            const std::lock_guard<std::mutex> lock(shared_->Mutex);
            calls.swap(shared_->Calls);
        }
        for (const TSinkCall& call : calls) {
            switch (call.Kind) {
            case TSinkCall::TKind::Text: barSink.SetText(call.Text); break;
            case TSinkCall::TKind::Show: barSink.Show(); break;
            case TSinkCall::TKind::Maximum: barSink.SetMaximum(call.Number); break;
            case TSinkCall::TKind::Percent: barSink.SetPercent(static_cast<int>(call.Number)); break;
            case TSinkCall::TKind::Value:
                barSink.SetValue(call.Number);
                applied = call.Number;
                appliedAny = true;
                break;
            }
        }
        const std::int64_t value = shared_->Value.load(std::memory_order_relaxed);
        if (appliedAny && value != applied) {
            barSink.SetValue(value);
            applied = value;
        }
    };

    QEventLoop loop;
    loop_ = &loop;
    QTimer timer;
    timer.setInterval(kProgressIntervalMs);
    connect(&timer, &QTimer::timeout, this, applyProgress);

    std::exception_ptr error;
    TWorkerSink sink(*shared_);
    qApp->installEventFilter(this);
    std::thread worker([this, &work, &sink, &error] {
        try {
            work(sink);
        } catch (...) {
            error = std::current_exception();
        }
        // Queued: it reaches the loop even when the work ends before the
        // loop has started.
        QMetaObject::invokeMethod(this, &TConversionRun::WorkEnded, Qt::QueuedConnection);
    });
    auto joinWorker = qScopeGuard([&] {
        Stop();
        worker.join();
    });
    timer.start();
    emit started();
    // A handler of started() may have let the end through already.
    if (!workEnded_)
        loop.exec();
    joinWorker.dismiss();
    worker.join();
    timer.stop();
    qApp->removeEventFilter(this);
    applyProgress();

    const bool stopped = [&] {
        if (!error)
            return false;
        try {
            std::rethrow_exception(error);
        } catch (const EConversionStopped&) {
            return true;
        } catch (...) {
            return false;
        }
    }();
    if (closeRequested_ && window_)
        QTimer::singleShot(0, window_.data(), [window = window_] {
            if (window)
                window->close();
        });
    // A window being closed shows no more boxes: what went wrong in a run
    // the user walked away from left the earlier output as it was.
    if (stopped || (closeRequested_ && error)) {
        bar_.SetCaption(QString::fromLatin1(kStoppedCaption));
        return false;
    }
    if (error)
        std::rethrow_exception(error);
    return true;
}

void TConversionRun::WorkEnded()
{
    workEnded_ = true;
    if (loop_)
        loop_->quit();
}

bool TConversionRun::eventFilter(QObject* watched, QEvent* event)
{
    if (!running_)
        return QObject::eventFilter(watched, event);
    // A change of the regional settings reloads the time settings the run
    // is reading on its own thread: it waits until the run has ended.
    if (event->type() == QEvent::LocaleChange && watched == QCoreApplication::instance()) {
        localeChanged_ = true;
        return true;
    }
    if (event->type() == QEvent::Close && watched == window_) {
        closeRequested_ = true;
        Stop();
        event->ignore();
        return true;
    }
    if (!IsUserInput(event->type()))
        return QObject::eventFilter(watched, event);
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape)
        Stop();
    // Accepted, so that no shortcut takes the key and no parent gets it.
    event->accept();
    return true;
}
