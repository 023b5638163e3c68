#include "CheckFile.h"

#include <algorithm>
#include <exception>
#include <new>

#include "EInOutError.h"
#include "EOutOfMemory.h"
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
    void Check(TLineReader& reader, std::string& scratch)
    {
        bool ended = false;
        const std::string_view first = reader.ReadLinePiece(scratch, ended);
        const std::size_t firstLength = std::min(first.size(), kClockTextLength);
        char clock[kClockTextLength];
        std::copy_n(first.data(), firstLength, clock);
        std::size_t separators = mapper_.CountSeparators(first.data(), first.size());
        while (!ended) {
            const std::string_view piece = reader.ReadLinePiece(scratch, ended);
            separators += mapper_.CountSeparators(piece.data(), piece.size());
        }
        // Only the clock's bytes matter beyond the count.
        Check({clock, firstLength}, separators);
    }

    // The header line, read past.
    static void Skip(TLineReader& reader, std::string& scratch)
    {
        bool ended = false;
        do
            reader.ReadLinePiece(scratch, ended);
        while (!ended);
    }

    void Check(std::string_view line, std::size_t separators)
    {
        ++summary_.DataLines;
        const std::int64_t number = summary_.DataLines + 1;
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
        if (summary_.DataLines == 1) {
            firstLineSeparators_ = separators;
        } else if (separators != firstLineSeparators_) {
            TCheckFinding finding;
            finding.Kind = TCheckFinding::TKind::SeparatorCount;
            finding.Line = number;
            finding.Separators = separators;
            finding.FirstLineSeparators = firstLineSeparators_;
            Report(finding);
        }
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
};

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
    return std::to_string(Separators) + (Separators == 1 ? " separator" : " separators") +
           " where the first data line has " + std::to_string(FirstLineSeparators);
}

TCheckSummary CheckFile(const std::string& inputPath, const TConversionSettings& settings, IProgressSink& sink,
                        const TCheckFindingHandler& onFinding, const TCheckFileOptions& options)
{
    TVectorWidth::Process();
    TLineReader reader(TLineReader::TReadFailure::Raise, options.ReadSize);
    if (!reader.Open(inputPath, options.WaitForWriter))
        throw EInOutError::CannotOpenPeFile(inputPath, reader.OpenError());

    sink.SetText("");
    sink.Show();
    sink.SetValue(0);
    sink.SetMaximum(reader.SizeInBlocks());

    TCheckSummary summary;
    std::exception_ptr error;
    try {
        TLineCheck check(settings, onFinding, summary);
        std::string scratch;
        check.Skip(reader, scratch);
        sink.SetValue(reader.PositionInBlocks());

        while (!reader.AtEnd()) {
            // Whole plain lines are looked at where they lie in the read
            // buffer; anything else goes through the reader's line rules.
            TLineBatch batch;
            batch.Find(reader.Buffered(), reader.BufferedSize());
            std::uint32_t separators[TLineBatch::kMaxLines];
            if (batch.Count > 0)
                check.CountSeparators(batch, separators);
            for (std::size_t i = 0; i < batch.Count; ++i) {
                check.Check({reinterpret_cast<const char*>(batch.Text(i)), batch.TextLength(i)}, separators[i]);
                reader.ConsumeBuffered(batch.Span(i, i));
                sink.SetValue(reader.PositionInBlocks());
            }
            if (batch.Count > 0)
                continue;
            if (!batch.MetSpecial && reader.FetchBehindBuffered())
                continue;
            check.Check(reader, scratch);
            sink.SetValue(reader.PositionInBlocks());
        }
        check.CheckEndMark(reader.ExamineEndMark(), summary.DataLines + 2);
    } catch (const std::bad_alloc&) {
        error = std::make_exception_ptr(EOutOfMemory());
    } catch (...) {
        error = std::current_exception();
    }

    reader.Close();
    sink.SetText("finished");
    sink.SetPercent(100);
    if (error)
        std::rethrow_exception(error);
    return summary;
}

} // namespace morvane
