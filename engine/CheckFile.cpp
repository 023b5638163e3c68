#include "CheckFile.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <exception>
#include <memory>
#include <new>
#include <optional>
#include <thread>
#include <vector>

#include "EInOutError.h"
#include "EOutOfMemory.h"
#include "THalfThread.h"
#include "TLineBatch.h"
#include "TLineMapper.h"
#include "TLocaleTimeSettings.h"
#include "TVectorWidth.h"
#include "TimeOfDay.h"

namespace morvane {

namespace {

constexpr std::size_t kClockTextLength = 8;

// The rules a data line is held to, and the count of what broke them.
class TLineCheck {
public:
    TLineCheck(const TConversionSettings& settings, const TCheckFindingHandler& onFinding,
               TCheckSummary& summary)
        : mapper_(settings.SeparatorSet, {})
        , relativeTime_(settings.RelativeTime)
        , plainClock_(PlainClockFormApplies(LocaleTimeSettings()))
        , clockSeparator_(LocaleTimeSettings().ClockSeparator)
        , onFinding_(onFinding)
        , summary_(summary)
    {
    }

    // The separators of a batch's lines, counted in one pass.
    void CountSeparators(const TLineBatch& batch, std::uint32_t* separators) const
    {
        mapper_.CountSeparatorsOfLines(batch.Base, batch.Lf, batch.Count, separators);
    }

    // The line at hand, a piece at a time: its clock is in the first.
    // `keepReading` is asked between two pieces; when it answers false the
    // line is left unchecked, and so false is answered.
    template <typename TKeepReading>
    bool Check(TLineReader& reader, std::string& scratch, TKeepReading keepReading)
    {
        const std::int64_t cutBefore = reader.CutLines();
        bool ended = false;
        const std::string_view first = reader.ReadLinePiece(scratch, ended);
        const std::size_t firstLength = std::min(first.size(), kClockTextLength);
        char clock[kClockTextLength];
        std::copy_n(first.data(), firstLength, clock);
        std::size_t separators = mapper_.CountSeparators(first.data(), first.size());
        while (!ended) {
            if (!keepReading())
                return false;
            const std::string_view piece = reader.ReadLinePiece(scratch, ended);
            separators += mapper_.CountSeparators(piece.data(), piece.size());
        }
        // Only the clock's bytes matter beyond the count.
        Check({clock, firstLength}, separators, reader.CutLines() != cutBefore);
        return true;
    }

    // The header line, read past; only a cut is looked for.
    void SkipHeader(TLineReader& reader, std::string& scratch)
    {
        bool ended = false;
        do
            reader.ReadLinePiece(scratch, ended);
        while (!ended);
        if (reader.CutLines() > 0)
            ReportCut(1);
    }

    void Check(std::string_view line, std::size_t separators, bool cut = false)
    {
        ++summary_.DataLines;
        const std::int64_t number = summary_.DataLines + 1;
        if (cut)
            ReportCut(number);
        if (relativeTime_) {
            const std::string_view clock = line.substr(0, kClockTextLength);
            std::int32_t milliseconds = 0;
            const bool plain = plainClock_ && clock.size() == kClockTextLength &&
                               TryPlainClock(clock.data(), clockSeparator_, milliseconds);
            if (!plain && !TryMillisecondOfDayFromBytes(clock, milliseconds)) {
                TCheckFinding finding;
                finding.Kind = TCheckFinding::TKind::ClockText;
                finding.Line = number;
                finding.ClockText = clock;
                Report(finding);
            }
        }
        if (!sawFirstLine_) {
            firstLineSeparators_ = separators;
            sawFirstLine_ = true;
        } else if (separators != firstLineSeparators_) {
            TCheckFinding finding;
            finding.Kind = TCheckFinding::TKind::SeparatorCount;
            finding.Line = number;
            finding.Separators = separators;
            finding.FirstLineSeparators = firstLineSeparators_;
            Report(finding);
        }
    }

    // A check of a later part of the input, held to the first line's count.
    void FollowFirstLineOf(const TLineCheck& other)
    {
        firstLineSeparators_ = other.firstLineSeparators_;
        sawFirstLine_ = other.sawFirstLine_;
    }

    // `line` is the number the line behind the mark would have had.
    void CheckEndMark(const TEndMark& mark, std::int64_t line)
    {
        if (!mark.NonBlankAfter)
            return;
        TCheckFinding finding;
        finding.Kind = TCheckFinding::TKind::EndMark;
        finding.Line = line;
        finding.Mark = mark;
        Report(finding);
    }

private:
    void ReportCut(std::int64_t line)
    {
        TCheckFinding finding;
        finding.Kind = TCheckFinding::TKind::CutLine;
        finding.Line = line;
        Report(finding);
    }

    void Report(const TCheckFinding& finding)
    {
        ++summary_.Findings;
        if (onFinding_)
            onFinding_(finding);
    }

    const TLineMapper mapper_;
    const bool relativeTime_;
    const bool plainClock_;
    const char clockSeparator_;
    const TCheckFindingHandler& onFinding_;
    TCheckSummary& summary_;
    std::size_t firstLineSeparators_ = 0;
    bool sawFirstLine_ = false;
};

// The lines from the reader's position to the end of its input, each
// checked. `afterLine` is told after each; when it answers false the check
// stops there, at a line's start, and so answers false too. A line that
// comes in pieces asks `keepReading` between them; when that answers false
// the check stops within the line and answers false.
template <typename TAfterLine, typename TKeepReading>
bool CheckLines(TLineReader& reader, TLineCheck& check, std::string& scratch, TAfterLine afterLine,
                TKeepReading keepReading)
{
    while (!reader.AtEnd()) {
        // Whole plain lines are looked at where they lie in the read buffer;
        // anything else goes through the reader's line rules.
        TLineBatch batch;
        batch.Find(reader.Buffered().data(), reader.Buffered().size());
        if (batch.Count > 0) {
            std::uint32_t separators[TLineBatch::kMaxLines];
            check.CountSeparators(batch, separators);
            for (std::size_t i = 0; i < batch.Count; ++i) {
                check.Check({reinterpret_cast<const char*>(batch.Text(i)), batch.TextLength(i)}, separators[i]);
                reader.ConsumeBuffered(batch.Span(i, i));
                if (!afterLine())
                    return false;
            }
        } else if (!batch.MetSpecial && reader.FetchBehindBuffered()) {
            continue;
        } else {
            if (!check.Check(reader, scratch, keepReading) || !afterLine())
                return false;
        }
    }
    return true;
}

// For the reader on the caller's thread, which reads its lines whole.
bool WholeLines()
{
    return true;
}

// Checks the lines from the reader's position to where its reading ends:
// the input's end, or the line's start the reader was told to end at
// (EndAt). `afterLine` and `keepReading` are asked as CheckLines asks them;
// where either stops the range, there is no end mark. Otherwise the reader
// reads to the input's end again, and a Ctrl-Z that ended the input within
// the range is looked behind to there.
template <typename TAfterLine, typename TKeepReading>
std::optional<TEndMark> CheckRange(TLineReader& reader, TLineCheck& check, TAfterLine afterLine,
                                   TKeepReading keepReading)
{
    std::string scratch;
    if (!CheckLines(reader, check, scratch, afterLine, keepReading))
        return std::nullopt;
    reader.EndAt(-1);
    return reader.ExamineEndMark();
}

// A range checked alone, its progress told after every line.
std::optional<TEndMark> CheckRangeAlone(TLineReader& reader, TLineCheck& check, IProgressSink& sink)
{
    return CheckRange(
        reader, check,
        [&] {
            sink.SetValue(reader.PositionInBlocks());
            return true;
        },
        WholeLines);
}

// A finding of the second half, kept until the first has told its own.
struct THeldFinding {
    TCheckFinding Finding;
    std::string ClockText;
};

// What the second half gave, numbered within it.
struct THalfResult {
    TCheckSummary Summary;
    std::vector<THeldFinding> Held;
    // None where it stopped at a line's start holding as many findings as
    // it may, or was stopped.
    std::optional<TEndMark> Mark;
    std::exception_ptr Error;
};

// The first half's summary and the second half's findings in file order:
// the second's follow the first's, numbered on from its lines. The clock
// texts stay in `second`.
struct TMerged {
    TCheckSummary Summary;
    std::vector<TCheckFinding> Findings;
};

TMerged Merge(const TCheckSummary& first, const THalfResult& second)
{
    TMerged merged{first, {}};
    merged.Findings.reserve(second.Held.size());
    for (const THeldFinding& held : second.Held) {
        TCheckFinding finding = held.Finding;
        finding.Line += first.DataLines;
        finding.ClockText = held.ClockText;
        merged.Findings.push_back(finding);
    }
    merged.Summary.DataLines += second.Summary.DataLines;
    merged.Summary.Findings += static_cast<std::int64_t>(merged.Findings.size());
    return merged;
}

// The second half of a large input, checked on a thread of its own from the
// first line that starts in it, while the caller checks the first half. Its
// findings are held until the first half's are told; past kMaxHeld of them
// it stops, and the caller goes on from there with the same reader.
class TSecondHalf {
public:
    static constexpr std::size_t kMaxHeld = 4096;
    // Lines between two looks at the other thread.
    static constexpr std::uint32_t kLinesPerStep = 1024;

    explicit TSecondHalf(std::size_t readSize) : reader_(TLineReader::TReadFailure::Raise, readSize) {}

    // False when the input has no line that starts in its second half, the
    // path no longer leads to the file `first` reads, or no thread can be
    // started.
    bool Start(const std::string& path, const TLineReader& firstReader, const TLineCheck& first,
               const TConversionSettings& settings, const std::function<void()>& beforeRun)
    {
        if (!THalfThread::OpenSecondHalf(reader_, path, firstReader))
            return false;
        start_ = reader_.Offset();
        startBlocks_ = reader_.PositionInBlocks();
        check_.emplace(settings, handler_, result_.Summary);
        check_->FollowFirstLineOf(first);
        beforeRun_ = beforeRun;
        // Without a thread the caller checks it all, as if there were one
        // processor.
        return thread_.Start([this](const std::stop_token& stop) { Run(stop); });
    }

    // Where the second half begins, the first ends.
    std::int64_t From() const { return start_; }
    // Blocks read so far, for the progress.
    std::int64_t Blocks() const { return blocks_.load(std::memory_order_relaxed); }
    // Whether the half is done, waiting for it at most `time`.
    bool WaitFor(std::chrono::milliseconds time) { return thread_.WaitFor(time); }
    // After the wait: what it gave, and the reader it stopped with where it
    // holds as many findings as it may, for the caller to go on with.
    const THalfResult& Result()
    {
        thread_.Join();
        return result_;
    }
    TLineReader& Reader() { return reader_; }

private:
    void Run(const std::stop_token& stop)
    {
        try {
            if (beforeRun_)
                beforeRun_();
            std::uint32_t lines = 0;
            // Within a long line, every piece is a step: a piece of a read's
            // size takes longer than many lines.
            const auto step = [&] {
                blocks_.store(reader_.PositionInBlocks() - startBlocks_, std::memory_order_relaxed);
                return !stop.stop_requested();
            };
            result_.Mark = CheckRange(
                reader_, *check_,
                [&] {
                    // The other thread looks every few milliseconds; a line
                    // is a few nanoseconds.
                    if (++lines % kLinesPerStep == 0 && !step())
                        return false;
                    return result_.Held.size() < kMaxHeld;
                },
                step);
        } catch (const std::bad_alloc&) {
            result_.Error = std::make_exception_ptr(EOutOfMemory());
        } catch (...) {
            result_.Error = std::current_exception();
        }
    }

    TLineReader reader_;
    THalfResult result_;
    const TCheckFindingHandler handler_ = [this](const TCheckFinding& finding) {
        result_.Held.push_back({finding, std::string(finding.ClockText)});
    };
    std::optional<TLineCheck> check_;
    std::int64_t start_ = -1;
    std::int64_t startBlocks_ = 0;
    std::atomic<std::int64_t> blocks_{0};
    std::function<void()> beforeRun_;
    THalfThread thread_; // last
};

// A second half started on the input `reader` reads, which then ends where
// that half begins; none where the input is too small, the processor has one
// core or the second half cannot start. Its state, written at every line on
// its own thread, lies away from the caller's stack.
std::unique_ptr<TSecondHalf> SplitOff(const std::string& inputPath, TLineReader& reader, const TLineCheck& check,
                                      const TConversionSettings& settings, const TCheckFileOptions& options)
{
    if (options.SecondThreadFrom <= 0 || reader.Size() < options.SecondThreadFrom ||
        std::thread::hardware_concurrency() < 2)
        return nullptr;
    auto second = std::make_unique<TSecondHalf>(options.ReadSize);
    if (!second->Start(inputPath, reader, check, settings, options.BeforeSecondHalf) ||
        second->From() <= reader.Offset() || !reader.EndAt(second->From()))
        return nullptr;
    return second;
}

} // namespace

std::string EndMarkMessage(const TEndMark& mark)
{
    return "stopped at the end-of-file mark at byte " + std::to_string(mark.Offset) + "; " +
           std::to_string(mark.BytesAfter) + (mark.BytesAfter == 1 ? " byte" : " bytes") +
           " after it were not converted";
}

std::string TCheckFinding::Message() const
{
    if (Kind == TKind::EndMark)
        return EndMarkMessage(Mark);
    if (Kind == TKind::ClockText)
        return InvalidTimeMessage(ClockText);
    if (Kind == TKind::CutLine)
        return "cut at a Ctrl-Z; the rest of the line is not converted";
    return std::to_string(Separators) + (Separators == 1 ? " separator" : " separators") +
           " where the first data line has " + std::to_string(FirstLineSeparators);
}

TCheckSummary CheckFile(const std::string& inputPath, const TConversionSettings& settings, IProgressSink& sink,
                        const TCheckFindingHandler& onFinding, const TCheckFileOptions& options)
{
    TVectorWidth::Process();
    TLineReader reader(TLineReader::TReadFailure::Raise, options.ReadSize);
    if (const TOpened opened = reader.Open(inputPath, {.WaitForWriter = options.WaitForWriter}); !opened)
        throw EInOutError::CannotOpenPeFile(inputPath, opened.Error);

    sink.SetText("");
    sink.Show();
    sink.SetValue(0);
    sink.SetMaximum(SizeInBlocks(reader));

    TCheckSummary summary;
    std::exception_ptr error;
    try {
        TLineCheck check(settings, onFinding, summary);
        std::string scratch;
        check.SkipHeader(reader, scratch);
        sink.SetValue(reader.PositionInBlocks());
        // The first data line sets the count the others are held to.
        CheckLines(
            reader, check, scratch,
            [&] {
                sink.SetValue(reader.PositionInBlocks());
                return false;
            },
            WholeLines);

        const std::unique_ptr<TSecondHalf> second = SplitOff(inputPath, reader, check, settings, options);
        summary.Halves = second != nullptr;
        TEndMark mark;
        if (!second) {
            mark = *CheckRangeAlone(reader, check, sink);
        } else {
            // The second half's position moves in steps of many lines.
            std::uint32_t lines = 0;
            const auto progress = [&] { sink.SetValue(reader.PositionInBlocks() + second->Blocks()); };
            mark = *CheckRange(
                reader, check,
                [&] {
                    if (++lines % TSecondHalf::kLinesPerStep == 0)
                        progress();
                    return true;
                },
                WholeLines);
            // A Ctrl-Z that ended the input in the first half leaves no second.
            if (mark.Offset < 0) {
                while (!second->WaitFor(std::chrono::milliseconds(20)))
                    progress();
                const THalfResult& half = second->Result();
                const TMerged merged = Merge(summary, half);
                if (onFinding)
                    for (const TCheckFinding& finding : merged.Findings)
                        onFinding(finding);
                summary = merged.Summary;
                if (half.Error)
                    std::rethrow_exception(half.Error);
                // Where it held as many findings as it may, the rest is
                // checked here, from the file both halves have open.
                mark = half.Mark ? *half.Mark : *CheckRangeAlone(second->Reader(), check, sink);
            }
        }
        check.CheckEndMark(mark, summary.DataLines + 2);
    } catch (const std::bad_alloc&) {
        error = std::make_exception_ptr(EOutOfMemory());
    } catch (...) {
        error = std::current_exception();
    }

    sink.SetText("finished");
    sink.SetPercent(100);
    if (error)
        std::rethrow_exception(error);
    return summary;
}

} // namespace morvane
