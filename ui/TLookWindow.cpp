#include "TLookWindow.h"

#include "ErrorReporting.h"
#include "IPlatform.h"
#include "TBevelButton.h"
#include "FileSystemNames.h"
#include "TRememberedLookFields.h"
#include "Windows1252.h"

#include <QCloseEvent>
#include <QFile>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QTimer>
#include <QVBoxLayout>

#include <new>

namespace {

// The file's own bytes, as the window's previews show them.
QString Bytes(const std::string& text)
{
    return Windows1252::Decode(text);
}

// A message names the file by the bytes the engine was given.
QString MessageText(const std::string& text)
{
#ifdef _WIN32
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
#else
    return QFile::decodeName(QByteArray(text.data(), static_cast<qsizetype>(text.size())));
#endif
}

} // namespace

// What the reading thread hands over: its progress as it goes, then the
// buckets or the message of what went wrong.
struct TLookWindow::TJob {
    std::atomic<std::int64_t> Done{0};
    std::atomic<std::int64_t> Size{0};
    std::atomic<bool> Ended{false};
    std::mutex Lock;
    std::optional<morvane::TPlotBuckets> Result;
    QString Error;
    std::optional<std::pair<std::int64_t, std::int64_t>> Span;
};

TLookWindow::TLookWindow(TInput input, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , input_(std::move(input))
{
    setObjectName(QStringLiteral("fLook"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Look at ") + input_.ShownPath);
    resize(960, 560);

    fields_ = new QListWidget(this);
    fields_->setObjectName(QStringLiteral("lst_Fields"));
    fields_->setMaximumWidth(220);
    plot_ = new TPlotView(this);
    plot_->setObjectName(QStringLiteral("plot"));
    progress_ = new QProgressBar(this);
    progress_->setRange(0, 1000);
    progress_->setTextVisible(false);
    progress_->setMaximumHeight(14);
    status_ = new QLabel(this);
    whole_ = new TBevelButton(QStringLiteral("&Whole file"), this);
    whole_->setObjectName(QStringLiteral("btn_Whole"));
    save_ = new TBevelButton(QStringLiteral("&Save picture\u2026"), this);
    save_->setObjectName(QStringLiteral("btn_SavePicture"));

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(progress_, 1);
    bottom->addWidget(status_, 2);
    bottom->addWidget(whole_);
    bottom->addWidget(save_);
    auto* right = new QVBoxLayout;
    right->addWidget(plot_, 1);
    right->addLayout(bottom);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(fields_);
    layout->addLayout(right, 1);

    poll_ = new QTimer(this);
    poll_->setInterval(30);
    connect(poll_, &QTimer::timeout, this, [this] { Poll(); });
    connect(fields_, &QListWidget::itemChanged, this, [this] {
        if (!filling_)
            ChoiceChanged();
    });
    connect(plot_, &TPlotView::spanWanted, this, [this](std::int64_t from, std::int64_t to) { ZoomTo(from, to); });
    connect(plot_, &TPlotView::backWanted, this, [this] { Back(); });
    connect(whole_, &TBevelButton::OnClick, this, [this] {
        spans_.clear();
        ShowWhole();
    });
    connect(save_, &TBevelButton::OnClick, this, GuardedHandler(this, [this] { SavePicture(); }));

    ReadHead();
    plot_->setFocus();
}

TLookWindow::~TLookWindow()
{
    Stop();
}

void TLookWindow::ReadHead()
{
    try {
        head_ = morvane::TPlotScan::ReadHead(input_.Path, input_.SeparatorSet);
    } catch (const morvane::Exception& error) {
        plot_->SetMessage(MessageText(error.Message()));
        progress_->hide();
        return;
    }
    std::vector<std::size_t> chosen;
    std::optional<std::vector<std::size_t>> remembered;
    if (input_.Remembered)
        remembered = input_.Remembered->Find(head_.Header, input_.SeparatorSet);
    if (remembered) {
        chosen = std::move(*remembered);
    } else {
        for (std::size_t k = 0; k < head_.Numeric.size(); ++k) {
            if (head_.Numeric[k]) {
                chosen.push_back(k);
                break;
            }
        }
    }
    filling_ = true;
    for (std::size_t k = 0; k < head_.Names.size(); ++k) {
        const QString name = head_.Names[k].empty() ? QStringLiteral("(field %1)").arg(k + 1) : Bytes(head_.Names[k]);
        auto* item = new QListWidgetItem(name, fields_);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        const bool on = std::find(chosen.begin(), chosen.end(), k) != chosen.end();
        item->setCheckState(on ? Qt::Checked : Qt::Unchecked);
    }
    filling_ = false;
    StartWhole();
}

std::vector<std::size_t> TLookWindow::Chosen() const
{
    std::vector<std::size_t> chosen;
    for (int k = 0; k < fields_->count(); ++k) {
        if (fields_->item(k)->checkState() == Qt::Checked)
            chosen.push_back(static_cast<std::size_t>(k));
    }
    return chosen;
}

void TLookWindow::ChoiceChanged()
{
    if (input_.Remembered)
        input_.Remembered->Remember(head_.Header, input_.SeparatorSet, Chosen());
    spans_.clear();
    StartWhole();
}

void TLookWindow::StartWhole()
{
    wholeBuckets_.reset();
    Start(std::nullopt);
}

void TLookWindow::StartSpan(std::int64_t from, std::int64_t to)
{
    Start(std::make_pair(from, to));
}

void TLookWindow::Start(std::optional<std::pair<std::int64_t, std::int64_t>> span)
{
    Stop();
    plotted_ = Chosen();
    if (plotted_.empty()) {
        plot_->SetMessage(QStringLiteral("Tick a field on the left to plot it."));
        status_->clear();
        progress_->hide();
        return;
    }
    morvane::TPlotScanOptions options;
    options.SeparatorSet = input_.SeparatorSet;
    options.AcrossMidnight = input_.AcrossMidnight;
    options.Fields = plotted_;
    auto job = std::make_shared<TJob>();
    job->Span = span;
    job_ = job;
    progress_->setValue(0);
    progress_->show();
    status_->setText(span ? QStringLiteral("Reading the span\u2026") : QStringLiteral("Reading the file\u2026"));
    const std::string path = input_.Path;
    const std::shared_ptr<const morvane::TPlotBuckets> whole = wholeBuckets_;
    thread_ = std::jthread([this, job, path, options, whole, span](std::stop_token stop) {
        const auto progress = [&](std::int64_t done, std::int64_t size) {
            job->Done.store(done, std::memory_order_relaxed);
            job->Size.store(size, std::memory_order_relaxed);
            return !stop.stop_requested();
        };
        std::optional<morvane::TPlotBuckets> result;
        QString error;
        try {
            if (span)
                result.emplace(morvane::TPlotScan::ReadSpan(path, options, *whole, span->first, span->second, progress));
            else
                result.emplace(morvane::TPlotScan::ReadWhole(path, options, progress));
        } catch (const morvane::Exception& e) {
            error = MessageText(e.Message());
        } catch (const std::bad_alloc&) {
            error = QStringLiteral("There is not enough memory to read the file.");
        }
        {
            const std::lock_guard lock(job->Lock);
            job->Result = std::move(result);
            job->Error = error;
        }
        job->Ended.store(true, std::memory_order_release);
        // The plot as soon as it is read, not at the next look of the timer;
        // the window joins this thread before it goes, which drops the call.
        QMetaObject::invokeMethod(this, [this] { Poll(); }, Qt::QueuedConnection);
    });
    poll_->start();
}

void TLookWindow::Stop()
{
    if (thread_.joinable()) {
        thread_.request_stop();
        thread_.join();
    }
    job_.reset();
    if (poll_)
        poll_->stop();
}

void TLookWindow::Poll()
{
    if (!job_)
        return;
    const std::int64_t size = job_->Size.load(std::memory_order_relaxed);
    if (size > 0)
        progress_->setValue(static_cast<int>(job_->Done.load(std::memory_order_relaxed) * 1000 / size));
    if (!job_->Ended.load(std::memory_order_acquire))
        return;
    thread_.join();
    const std::shared_ptr<TJob> job = std::move(job_);
    poll_->stop();
    Finished(*job);
}

void TLookWindow::Finished(TJob& job)
{
    const std::lock_guard lock(job.Lock);
    progress_->hide();
    if (!job.Result) {
        status_->clear();
        plot_->SetMessage(job.Error);
        return;
    }
    if (!job.Span) {
        wholeBuckets_ = std::make_shared<const morvane::TPlotBuckets>(std::move(*job.Result));
        ShowWhole();
        return;
    }
    plot_->SetData(DataOf(*job.Result, job.Span->first, job.Span->second));
    status_->setText(QStringLiteral("Every line of the span; Esc goes back out."));
}

void TLookWindow::ShowWhole()
{
    if (!wholeBuckets_) {
        StartWhole();
        return;
    }
    const morvane::TPlotBuckets& whole = *wholeBuckets_;
    plot_->SetData(DataOf(whole, 0, whole.To()));
    // A field without a single number is said, not drawn as nothing.
    QStringList empty;
    for (std::size_t k = 0; k < plotted_.size(); ++k) {
        std::int64_t count = 0;
        for (std::size_t b = 0; b < whole.Count(); ++b)
            count += whole.Value(b, k).Count;
        if (count == 0)
            empty << plot_->Data().Names[static_cast<int>(k)];
    }
    if (static_cast<std::size_t>(empty.size()) == plotted_.size())
        plot_->SetMessage(QStringLiteral("No number at all in ") + empty.join(QStringLiteral(", ")) +
                          QStringLiteral(": nothing to plot."));
    status_->setText(empty.isEmpty() ? QStringLiteral("The whole file; drag across the plot to look closer.")
                                     : QStringLiteral("No number at all in ") + empty.join(QStringLiteral(", ")) +
                                           QLatin1Char('.'));
}

TPlotData TLookWindow::DataOf(const morvane::TPlotBuckets& buckets, std::int64_t from, std::int64_t to) const
{
    TPlotData data;
    data.From = from;
    data.To = std::max(to, from + 1);
    data.Width = buckets.Width();
    data.StartClock = buckets.StartMilliseconds;
    const std::size_t used = std::min(buckets.Count(), buckets.BucketAt(data.To - 1) + 1);
    data.Series.resize(plotted_.size());
    for (std::size_t k = 0; k < plotted_.size(); ++k) {
        const std::size_t field = plotted_[k];
        data.Names << (field < head_.Names.size() && !head_.Names[field].empty() ? Bytes(head_.Names[field])
                                                                                  : QStringLiteral("(field %1)").arg(field + 1));
        data.Series[k].reserve(used);
        for (std::size_t b = 0; b < used; ++b) {
            const morvane::TValueBucket& v = buckets.Value(b, k);
            data.Series[k].push_back({v.Min, v.Max, v.First, v.Last, v.Count, v.Gaps});
        }
    }
    data.Marks.reserve(used);
    for (std::size_t b = 0; b < used; ++b) {
        const morvane::TLineBucket& line = buckets.Line(b);
        data.Marks.push_back(line.SeparatorMarks + line.ClockMarks);
        data.SeparatorMarks += line.SeparatorMarks;
        data.ClockMarks += line.ClockMarks;
    }
    return data;
}

void TLookWindow::ZoomTo(std::int64_t from, std::int64_t to)
{
    if (!wholeBuckets_ || Reading())
        return;
    // Never wider than the whole file, never narrower than a millisecond.
    const std::int64_t end = wholeBuckets_->To();
    from = std::clamp<std::int64_t>(from, 0, end - 1);
    to = std::clamp<std::int64_t>(to, from + 1, end);
    if (from == 0 && to == end) {
        spans_.clear();
        ShowWhole();
        return;
    }
    spans_.emplace_back(from, to);
    StartSpan(from, to);
}

void TLookWindow::Back()
{
    if (Reading() && job_->Span) {
        Stop();
        spans_.pop_back();
    } else if (!spans_.empty()) {
        spans_.pop_back();
    } else {
        return;
    }
    if (spans_.empty())
        ShowWhole();
    else
        StartSpan(spans_.back().first, spans_.back().second);
}

void TLookWindow::SavePicture()
{
    IPlatform::TSaveDialogRequest request;
    request.Title = QStringLiteral("Save picture");
    request.FileName = QStringLiteral("plot.png");
    request.Filter = QStringLiteral("PNG pictures (*.png);;All files (*)");
    request.DefaultExt = QStringLiteral("png");
    const std::optional<QString> chosen = CurrentPlatform().SaveFileName(this, request);
    if (!chosen)
        return;
    if (!plot_->grab().save(*chosen, "PNG"))
        throw morvane::Exception("The picture could not be written to " + PathBytes(*chosen) +
                                 ": the folder may be missing or not writable.");
}

void TLookWindow::closeEvent(QCloseEvent* event)
{
    // The reading stops at its next batch of lines, a moment away.
    Stop();
    QWidget::closeEvent(event);
}

void TLookWindow::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        Back();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}
