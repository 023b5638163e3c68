#include "TBatchRun.h"

#include "ConvertFile.h"
#include "ConvertToWorkbook.h"
#include "EConvertError.h"
#include "ErrorReporting.h"
#include "FileSystemNames.h"
#include "IPlatform.h"
#include "MessageText.h"
#include "OutputName.h"
#include "SeparatorMap.h"
#include "TBatchSummary.h"
#include "TConversionRun.h"
#include "TLineReader.h"
#include "TRememberedSettings.h"
#include "TSegmentProgress.h"
#include "TSettingsFile.h"
#include "TTemplateExcerpt.h"

#include <QFileInfo>
#include <QHash>
#include <QLabel>

#include <exception>
#include <map>
#include <utility>
#include <vector>

namespace {

// Names shown on the page's line at most; the tool tip lists more.
constexpr int kNamesShown = 3;
constexpr int kNamesInTip = 30;

// The name a user knows a file by in the summary.
std::string ShownName(const QString& path)
{
    return PathBytes(QFileInfo(path).fileName());
}

QString OutputKey(const QString& path)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
#ifdef _WIN32
    // The same file on Windows whatever the case of its letters.
    return absolute.toCaseFolded();
#else
    return absolute;
#endif
}

// Passes the engine's reports on to the bar, but the bar's text says which
// file of how many is being converted, and a stop of the run is noted so the
// batch can tell it from a failed file.
class TFileSink final : public morvane::IProgressSink {
public:
    explicit TFileSink(morvane::IProgressSink& bar) : bar_(bar) {}

    void SetText(const std::string&) override {}
    void Show() override { bar_.Show(); }
    void SetMaximum(std::int64_t maximum) override { bar_.SetMaximum(maximum); }
    void SetPercent(int percent) override { bar_.SetPercent(percent); }
    void SetValue(std::int64_t value) override
    {
        try {
            bar_.SetValue(value);
        } catch (...) {
            stopped_ = true;
            throw;
        }
    }
    void Next(std::size_t k, std::size_t count)
    {
        bar_.SetText(std::to_string(k + 1) + " of " + std::to_string(count));
        // Where a stop asked for meanwhile ends the batch.
        SetValue(0);
    }
    bool Stopped() const { return stopped_; }

private:
    morvane::IProgressSink& bar_;
    bool stopped_ = false;
};

// A file's header line as the window keeps one, read with one open: false
// when the file cannot be opened (the run then names the system's reason);
// `none` for a file that ends before its first line.
bool ReadHeader(const std::string& path, TTemplateExcerpt& header, bool& none)
{
    morvane::TLineReader reader;
    if (!reader.Open(path))
        return false;
    none = reader.AtEnd();
    if (!none) {
        // One byte more than is kept tells whether the line went on.
        morvane::ReadLine(reader, header.Text, TTemplateExcerpt::kMaxBytes + 1);
        header.Cut = header.Text.size() > TTemplateExcerpt::kMaxBytes;
        if (header.Cut)
            header.Text.resize(TTemplateExcerpt::kMaxBytes);
    }
    return true;
}

enum class TOutcome { Pending, Converted, Failed, Skipped };

struct TFileResult {
    TOutcome Outcome = TOutcome::Pending;
    std::string Reason;
    std::optional<morvane::TSavedSettings> Remember;
};

} // namespace

TBatchRun::TBatchRun(QWidget* page1, TConversionRun& run, TSegmentProgress& bar)
    : QObject(page1)
    , run_(run)
    , bar_(bar)
    , note_(new QLabel(page1))
{
    // In the band between the separator box and the relative time options.
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(11);
    note_->setFont(font);
    QPalette navy = note_->palette();
    navy.setColor(QPalette::WindowText, QColor(0, 0, 128));
    note_->setPalette(navy);
    note_->setTextFormat(Qt::PlainText);
    note_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    note_->setGeometry(56, 72, 329, 30);
    note_->setObjectName(QStringLiteral("lbl_BatchFiles"));
    note_->hide();
}

void TBatchRun::SetFiles(const QStringList& files)
{
    QStringList unique = files;
    unique.removeDuplicates();
    const QStringList next = unique.size() > 1 ? unique : QStringList();
    if (next == files_)
        return;
    files_ = next;
    ShowNote();
    emit filesChanged();
}

void TBatchRun::ShowNote()
{
    if (!Active()) {
        note_->hide();
        note_->setToolTip({});
        return;
    }
    QStringList names;
    for (qsizetype k = 0; k < files_.size() && k < kNamesInTip; ++k)
        names.append(QFileInfo(files_[k]).fileName());
    const QString more = files_.size() > kNamesInTip
        ? QStringLiteral("\n\u2026 and %1 more").arg(files_.size() - kNamesInTip)
        : QString();
    QString shown = QStringList(names.mid(0, kNamesShown)).join(QStringLiteral(", "));
    if (files_.size() > kNamesShown)
        shown += QStringLiteral(", \u2026");
    // The names give way to the way back, which must show whole.
    const QString back = QStringLiteral("; for one file, type or choose it");
    const QFontMetrics metrics(note_->font());
    shown = metrics.elidedText(shown, Qt::ElideRight, note_->width() - metrics.horizontalAdvance(back) - 2);
    note_->setText(QStringLiteral("%1 files chosen: Go converts each.\n%2%3").arg(files_.size()).arg(shown, back));
    note_->setToolTip(names.join(QLatin1Char('\n')) + more);
    note_->show();
}

QString TBatchRun::OutputFor(const QString& input, const QString& folder, bool workbook)
{
    std::string name = morvane::ProposedOutputName(PathBytes(QFileInfo(input).fileName()));
    if (workbook)
        name = morvane::WorkbookPathFor(name);
    const QString base = folder.isEmpty() ? QFileInfo(input).path() : folder;
    return base + QLatin1Char('/') + PathText(name);
}

TBatchRun::TChoice TBatchRun::ChoiceFor(const std::string& header, bool headerCut, bool noHeaderLine,
                                        const TRequest& request, const morvane::TRememberedSettings* remembered)
{
    if (noHeaderLine)
        return {std::nullopt, "it has no header line"};
    if (remembered && !header.empty() && !headerCut) {
        if (const auto* entry = remembered->Find(header, request.Screen.SeparatorSet)) {
            morvane::TConversionSettings settings = entry->Settings.Conversion;
            settings.RelativeTime = request.Screen.RelativeTime;
            settings.RelativeTimeSeparator = request.Screen.RelativeTimeSeparator;
            settings.AcrossMidnight = request.Screen.AcrossMidnight;
            return {settings, {}};
        }
    }
    const std::size_t count = morvane::CountSeparators(header, request.Screen.SeparatorSet);
    if (count != request.HeaderSeparators) {
        return {std::nullopt, "its header has " + std::to_string(count) + " separators, the boxes are for "
                                  + std::to_string(request.HeaderSeparators)};
    }
    return {request.Screen, {}};
}

void TBatchRun::Go(QWidget* window, const TRequest& request, const morvane::TRememberedSettings* remembered,
                   const std::function<void(const morvane::TSavedSettings&)>& remember)
{
    IPlatform& platform = CurrentPlatform();
    const QStringList inputs = files_;
    QStringList outputs;
    outputs.reserve(inputs.size());
    for (const QString& input : inputs)
        outputs.append(OutputFor(input, request.OutputFolder, request.Workbook));

    // Two files into one output would have the second destroy the first's:
    // refused before anything is written, as is an output that is a PE file
    // of the batch.
    QHash<QString, qsizetype> firstInput;
    for (qsizetype k = 0; k < inputs.size(); ++k)
        firstInput.insert(OutputKey(inputs[k]), -1);
    QStringList clashes;
    for (qsizetype k = 0; k < outputs.size(); ++k) {
        const QString key = OutputKey(outputs[k]);
        const auto found = firstInput.constFind(key);
        if (found == firstInput.constEnd()) {
            firstInput.insert(key, k);
            continue;
        }
        const QString output = QDir::toNativeSeparators(outputs[k]);
        clashes.append(*found < 0 ? QStringLiteral("%1 would be written over the PE file %2")
                                        .arg(QFileInfo(inputs[k]).fileName(), output)
                                  : QStringLiteral("%1 and %2 would both be written to %3")
                                        .arg(QFileInfo(inputs[*found]).fileName(), QFileInfo(inputs[k]).fileName(),
                                             output));
    }
    if (!clashes.isEmpty()) {
        const qsizetype shown = std::min<qsizetype>(clashes.size(), morvane::TBatchSummary::kShownReasons);
        QString text = QStringLiteral("Nothing was converted:\n") + clashes.mid(0, shown).join(QLatin1Char('\n'));
        if (clashes.size() > shown)
            text += QStringLiteral("\n\u2026 and %1 more").arg(clashes.size() - shown);
        platform.MessageBox(window, text, QStringLiteral("Information"), IPlatform::TMessageStyle::Information);
        return;
    }

    std::vector<TFileResult> results(static_cast<std::size_t>(inputs.size()));
    qsizetype existing = 0;
    for (const QString& output : outputs)
        existing += QFileInfo::exists(output) ? 1 : 0;
    if (existing > 0) {
        const int answer = platform.Ask(
            window, QStringLiteral("%1 of the %2 outputs exist. Replace them?").arg(existing).arg(outputs.size()),
            ApplicationTitle(),
            {QStringLiteral("&Replace"), QStringLiteral("&Skip those"), QStringLiteral("Cancel")});
        if (answer != 0 && answer != 1)
            return;
        if (answer == 1) {
            for (qsizetype k = 0; k < outputs.size(); ++k) {
                if (QFileInfo::exists(outputs[k])) {
                    results[static_cast<std::size_t>(k)].Outcome = TOutcome::Skipped;
                    results[static_cast<std::size_t>(k)].Reason = "its output exists";
                }
            }
        }
    }

    std::vector<std::string> inputBytes;
    std::vector<std::string> outputBytes;
    for (qsizetype k = 0; k < inputs.size(); ++k) {
        inputBytes.push_back(PathBytes(inputs[k]));
        outputBytes.push_back(PathBytes(outputs[k]));
    }
    // The worker reads the memory of remembered runs; the window's thread
    // changes it only after the run, below.
    const bool ranToItsEnd = run_.Run([&](morvane::IProgressSink& sink) {
        TFileSink fileSink(sink);
        for (std::size_t k = 0; k < results.size(); ++k) {
            TFileResult& result = results[k];
            if (result.Outcome != TOutcome::Pending)
                continue;
            fileSink.Next(k, results.size());
            TTemplateExcerpt header;
            bool noHeaderLine = false;
            // A file that cannot be opened is run all the same: the run
            // names the system's reason.
            const TChoice choice = ReadHeader(inputBytes[k], header, noHeaderLine)
                ? ChoiceFor(header.Text, header.Cut, noHeaderLine, request, remembered)
                : TChoice{request.Screen, {}};
            if (!choice.Settings) {
                result.Outcome = TOutcome::Skipped;
                result.Reason = choice.SkipReason;
                continue;
            }
            std::int64_t failedLine = 0;
            morvane::TConvertFileOptions options;
            options.FailedLine = &failedLine;
            try {
                if (request.Workbook)
                    morvane::ConvertToWorkbook(inputBytes[k], outputBytes[k], *choice.Settings, {}, fileSink,
                                               options);
                else
                    morvane::ConvertFile(inputBytes[k], outputBytes[k], *choice.Settings, fileSink, options);
            } catch (...) {
                if (fileSink.Stopped())
                    throw;
                // One file's failure never stops the others.
                const TErrorDescription error = DescribeError(std::current_exception());
                result.Outcome = TOutcome::Failed;
                result.Reason = (failedLine > 0 ? "line " + std::to_string(failedLine) + ": " : std::string())
                    + (error.Message.empty() ? error.ClassName : error.Message);
                continue;
            }
            result.Outcome = TOutcome::Converted;
            morvane::TSavedSettings saved;
            saved.Conversion = *choice.Settings;
            if (!header.Text.empty() && !header.Cut) {
                morvane::TSettingsFile::SetHeader(saved, header.Text);
                result.Remember = std::move(saved);
            }
        }
    });

    // Each header's last run is what comes back for it: one write of the
    // memory per header, not per file, however many files share it.
    std::map<std::pair<std::string, std::string>, std::size_t> lastOfHeader;
    for (std::size_t k = 0; k < results.size(); ++k) {
        if (results[k].Outcome == TOutcome::Converted && results[k].Remember) {
            const morvane::TSavedSettings& run = *results[k].Remember;
            lastOfHeader[{run.Header, run.Conversion.SeparatorSet}] = k;
        }
    }
    morvane::TBatchSummary summary(results.size());
    for (std::size_t k = 0; k < results.size(); ++k) {
        const TFileResult& result = results[k];
        const std::string name = ShownName(inputs[static_cast<qsizetype>(k)]);
        switch (result.Outcome) {
        case TOutcome::Converted:
            summary.Converted();
            if (result.Remember && remember &&
                lastOfHeader[{result.Remember->Header, result.Remember->Conversion.SeparatorSet}] == k)
                remember(*result.Remember);
            break;
        case TOutcome::Failed: summary.Failed(name, result.Reason); break;
        case TOutcome::Skipped: summary.Skipped(name, result.Reason); break;
        case TOutcome::Pending: break;
        }
    }
    if (!ranToItsEnd)
        summary.Stopped();
    // A window being closed shows no more boxes.
    if (run_.CloseRequested())
        return;
    bar_.SetCaption(QString::fromLatin1(!ranToItsEnd                 ? TConversionRun::kStoppedCaption
                                        : summary.FailedCount() > 0 ? TConversionRun::kFailedCaption
                                                                    : "finished"));
    std::string text = summary.Text();
    if (!text.empty() && text.back() == '\n')
        text.pop_back();
    platform.MessageBox(window, MessageToQString(text), QStringLiteral("Information"),
                        IPlatform::TMessageStyle::Information);
}
