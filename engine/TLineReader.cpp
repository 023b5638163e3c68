#include "TLineReader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "EInOutError.h"
#include "LineRules.h"
#include "TLineScanner.h"

namespace morvane {

namespace {

// The line at the start of the n bytes at p, as TLineScanner finds it.
template <typename V>
struct TFirstLine {
    static TLineSpan Run(const unsigned char* p, std::size_t n)
    {
        const TBlockScanner<V> blocks;
        TLineScanner<V> scanner(blocks, p, n);
        scanner.SkipPlainBlocks();
        return scanner.Next();
    }
};

TLineSpan FirstLine(const unsigned char* p, std::size_t n)
{
    return AtProcessWidth<TFirstLine>(p, n);
}

std::string ReadFailureMessage(const std::string& path, int error)
{
    return "Cannot read the PE file \"" + path + "\": " + TOsFile::ErrorText(error);
}

} // namespace

TLineReader::TLineReader(TReadFailure onReadFailure, std::size_t readSize)
    : onReadFailure_(onReadFailure)
    , readSize_(std::max<std::size_t>(readSize, 1))
    // A whole number of chunks, so that a refill can always reach the next
    // chunk boundary.
    , capacity_((std::max<std::size_t>(readSize_, kChunk) + kChunk - 1) / kChunk * kChunk)
    // As large as a read, and so as small as tests make the reads, but
    // never shorter than a clock text.
    , pieceSize_(std::max<std::size_t>(readSize_, 16))
{
}

TLineReader::~TLineReader() = default;

TOpened TLineReader::Open(const std::string& path, TReadStart start)
{
    file_.Close();
    identity_ = {};
    size_ = 0;
    if (!file_.OpenForReading(path, start.WaitForWriter))
        return {file_.Error()};
    if (!buffer_)
        buffer_ = std::make_unique<unsigned char[]>(capacity_);
    path_ = path;
    identity_ = file_.Identity();
    size_ = file_.Kind() == TOsFile::TKind::Regular ? file_.Size() : 0;
    pos_ = len_ = 0;
    bufferOffset_ = 0;
    endOfFile_ = false;
    end_ = -1;
    endedAtEnd_ = false;
    endMark_ = -1;
    cutLines_ = 0;
    examinedEnd_ = 0;
    if (start.From != 0) {
        if (!file_.Seek(start.From)) {
            const TOpened failed{file_.Error()};
            file_.Close();
            identity_ = {};
            size_ = 0;
            return failed;
        }
        bufferOffset_ = examinedEnd_ = start.From;
    }
    if (start.AtNextLine) {
        try {
            SkipPastLf();
        } catch (const EInOutError&) {
            // The reader that reads up to here meets the failure itself.
            pos_ = len_;
            endOfFile_ = true;
        }
    }
    return {};
}

bool TLineReader::EndAt(std::int64_t end)
{
    const std::int64_t known = bufferOffset_ + static_cast<std::int64_t>(len_);
    if (end >= 0 && end < known) {
        assert(end >= Offset() && "EndAt drops no byte before the read position");
        // Bytes fetched past the end go, and are fetched again when it is lifted.
        if (!file_.Seek(end))
            return false;
        len_ = static_cast<std::size_t>(end - bufferOffset_);
        endOfFile_ = false;
    }
    end_ = end;
    // Ended at an earlier end, it reads on to a later one.
    if (endedAtEnd_ && (end < 0 || end > known))
        endOfFile_ = endedAtEnd_ = false;
    return true;
}

// Skips the bytes up to the next LF and the LF, as bytes and not as lines;
// where the input ends first, the reader is at its end.
void TLineReader::SkipPastLf()
{
    for (;;) {
        if (const void* lf = std::memchr(buffer_.get() + pos_, kLF, len_ - pos_)) {
            pos_ = static_cast<std::size_t>(static_cast<const unsigned char*>(lf) - buffer_.get()) + 1;
            Examined(Offset());
            return;
        }
        pos_ = len_;
        if (!Fill())
            return;
    }
}

// Called only when every buffered byte is consumed. Reads until the buffer
// ends on a chunk boundary or the file ends, so the bytes known always reach
// the end of the chunk of the furthest byte examined.
bool TLineReader::Fill()
{
    if (!file_.IsOpen() || endOfFile_)
        return false;
    bufferOffset_ += static_cast<std::int64_t>(len_);
    pos_ = len_ = 0;
    ReadToChunkBoundary();
    return len_ > 0;
}

// Reads behind the buffered bytes until the buffer ends on a chunk boundary
// or the file ends, so the bytes known always reach the end of the chunk of
// the furthest byte examined.
void TLineReader::ReadToChunkBoundary()
{
    do {
        // Never past the last chunk boundary that fits: the buffer's start
        // need not lie on one once buffered bytes were moved to the front.
        const std::size_t room = capacity_ - len_;
        const auto overhang = static_cast<std::size_t>(
            (bufferOffset_ + static_cast<std::int64_t>(len_ + room)) % kChunk);
        // A request for nothing would read as the end of the file.
        assert(room > overhang && "the read buffer keeps room up to the next chunk boundary");
        std::size_t want = std::min(readSize_, room - overhang);
        if (end_ >= 0) {
            const std::int64_t left = end_ - (bufferOffset_ + static_cast<std::int64_t>(len_));
            if (left <= 0) {
                endOfFile_ = endedAtEnd_ = true;
                break;
            }
            want = std::min(want, static_cast<std::size_t>(left));
        }
        const std::int64_t got = file_.Read(buffer_.get() + len_, want);
        if (got > 0) {
            len_ += static_cast<std::size_t>(got);
        } else if (got == 0) {
            endOfFile_ = true;
            // A file cut while it is read would otherwise give an output
            // whose last line stops in the middle, as if nothing were wrong.
            const std::int64_t reached = bufferOffset_ + static_cast<std::int64_t>(len_);
            if (onReadFailure_ == TReadFailure::Raise && file_.Kind() == TOsFile::TKind::Regular && reached < size_)
                throw EInOutError("The PE file \"" + path_ + "\" became shorter while it was read: it ended at byte " +
                                  std::to_string(reached) + " of the " + std::to_string(size_) +
                                  " it had when the run began");
        } else {
            const int error = file_.Error();
            endOfFile_ = true;
            if (onReadFailure_ == TReadFailure::Raise)
                throw EInOutError(ReadFailureMessage(path_, error));
        }
    } while (!endOfFile_ && (bufferOffset_ + static_cast<std::int64_t>(len_)) % kChunk != 0);
}

// A line on the general path. It stays a view of the read buffer while it is
// one unbroken run of bytes there; a dropped CR, or a refill that replaces
// the buffer's bytes, moves it into the scratch string.
class TLineReader::TLinePieces {
public:
    TLinePieces(const unsigned char* buffer, std::size_t begin, std::string& scratch, std::size_t maxLength)
        : buffer_(buffer)
        , scratch_(scratch)
        , maxLength_(maxLength)
        , viewBegin_(begin)
    {
    }

    std::size_t Room() const { return maxLength_ - std::min(maxLength_, Length()); }

    // Adds the buffer's bytes [from, to), as far as maxLength allows.
    void Take(std::size_t from, std::size_t to)
    {
        assert(from <= to && "a line's piece ends before it starts");
        const std::size_t room = maxLength_ - std::min(maxLength_, Length());
        if (to - from > room)
            to = from + room;
        if (to == from)
            return;
        if (!inScratch_ && (viewLength_ == 0 || viewBegin_ + viewLength_ == from)) {
            if (viewLength_ == 0)
                viewBegin_ = from;
            viewLength_ += to - from;
            return;
        }
        MoveToScratch();
        scratch_.append(Bytes(from), to - from);
    }

    // Before the buffer's bytes are replaced.
    void MoveToScratch()
    {
        if (inScratch_ || viewLength_ == 0)
            return;
        scratch_.assign(Bytes(viewBegin_), viewLength_);
        inScratch_ = true;
    }

    std::string_view View() const
    {
        if (inScratch_)
            return scratch_;
        return {Bytes(viewBegin_), viewLength_};
    }

private:
    std::size_t Length() const { return inScratch_ ? scratch_.size() : viewLength_; }
    const char* Bytes(std::size_t at) const { return reinterpret_cast<const char*>(buffer_) + at; }

    const unsigned char* buffer_;
    std::string& scratch_;
    std::size_t maxLength_;
    std::size_t viewBegin_;
    std::size_t viewLength_ = 0;
    bool inScratch_ = false;
};

// Most lines lie whole in the buffer and end in LF or CR LF: those are handed
// out at once. Anything else is left to the general path.
bool TLineReader::TakeWholeBufferedLine(std::string_view& line, std::size_t maxLength)
{
    if (pos_ == len_)
        return false;
    const TLineSpan span = FirstLine(buffer_.get() + pos_, len_ - pos_);
    if (span.Kind != TLineKind::Line || span.Text > maxLength)
        return false;
    line = {reinterpret_cast<const char*>(buffer_.get()) + pos_, span.Text};
    pos_ += span.End();
    Examined(Offset());
    return true;
}

std::string_view TLineReader::ReadLinePiece(std::string& scratch, bool& ended)
{
    scratch.clear();
    ended = true;
    if (!file_.IsOpen())
        return {};
    std::string_view whole;
    if (TakeWholeBufferedLine(whole, pieceSize_))
        return whole;
    TLinePieces line(buffer_.get(), pos_, scratch, pieceSize_);
    for (;;) {
        const TStop stop = TakeUpToControl(line);
        if (stop == TStop::PieceFull) {
            ended = false;
            break;
        }
        if (stop != TStop::Control || EndsLineAtControl(line))
            break;
    }
    Examined(Offset());
    return line.View();
}

// Takes the line's bytes up to its break, which it consumes, or up to a CR
// or Ctrl-Z the line rules must look at, which it leaves unconsumed, or
// until the line's piece is full.
TLineReader::TStop TLineReader::TakeUpToControl(TLinePieces& line)
{
    for (;;) {
        if (pos_ == len_ && !RefillUnder(line))
            return TStop::InputEnd;
        const TLineSpan span = FirstLine(buffer_.get() + pos_, len_ - pos_);
        const std::size_t at = pos_ + span.Text;
        const std::size_t to = std::min(at, pos_ + line.Room());
        line.Take(pos_, to);
        pos_ = to;
        if (to < at)
            return TStop::PieceFull;
        if (span.Kind == TLineKind::Line) {
            pos_ += span.Break;
            return TStop::LineEnd;
        }
        // A lone CR, a Ctrl-Z, or a CR on the last byte fetched.
        if (pos_ < len_)
            return TStop::Control;
    }
}

// Consumes the CR or Ctrl-Z that TakeUpToControl stopped at; true when it
// ends the line.
bool TLineReader::EndsLineAtControl(TLinePieces& line)
{
    if (buffer_[pos_] == kCR)
        return EndsLineAtCR(line);
    CutLineAtCtrlZ(line);
    return true;
}

// A CR with its LF right behind it ends the line; a lone CR is dropped and
// what follows is read as usual.
bool TLineReader::EndsLineAtCR(TLinePieces& line)
{
    ++pos_;
    // The CR's next byte may come only with the next fill.
    if (pos_ == len_ && !RefillUnder(line))
        return true;
    if (CrHasItsLf(buffer_[pos_])) {
        ++pos_;
        return true;
    }
    Examined(Offset() + 1);
    return false;
}

// At the start of a chunk a Ctrl-Z stays where it is and ends the input;
// elsewhere it cuts the line and the rest of the physical line is skipped.
void TLineReader::CutLineAtCtrlZ(TLinePieces& line)
{
    Examined(Offset() + 1);
    if (CtrlZAt(Offset(), false, kChunk) == TCtrlZ::EndsInput)
        return;
    ++pos_;
    // The skip may refill the buffer under the line.
    line.MoveToScratch();
    if (SkipRestOfLine())
        ++cutLines_;
}

bool TLineReader::RefillUnder(TLinePieces& line)
{
    line.MoveToScratch();
    return Fill();
}

// True when the skip dropped anything a line would have kept: a CR never
// is, being part of the break or dropped anyway.
bool TLineReader::SkipRestOfLine()
{
    bool dropped = false;
    for (;;) {
        if (pos_ == len_ && !Fill())
            return dropped;
        const unsigned char b = buffer_[pos_];
        if (b == kCtrlZ) {
            // It stands where the next line starts.
            Examined(Offset() + 1);
            return dropped;
        }
        ++pos_;
        if (b == kLF)
            return dropped;
        dropped |= b != kCR;
    }
}

bool TLineReader::AtEnd()
{
    if (!file_.IsOpen())
        return true;
    if (pos_ == len_ && !Fill())
        return true;
    Examined(Offset() + 1);
    if (buffer_[pos_] != kCtrlZ || CtrlZAt(Offset(), true, kChunk) != TCtrlZ::EndsInput)
        return false;
    endMark_ = Offset();
    return true;
}

TEndMark TLineReader::ExamineEndMark()
{
    TEndMark mark;
    if (endMark_ < 0 || !file_.IsOpen())
        return mark;
    mark.Offset = endMark_;
    // The mark itself is not counted; it is where the reader stands.
    std::size_t from = pos_ + 1;
    try {
        for (;;) {
            for (std::size_t i = from; i < len_ && !mark.NonBlankAfter; ++i) {
                const unsigned char b = buffer_[i];
                mark.NonBlankAfter = !(b == ' ' || b == '\t' || b == kLF || b == kCR || b == '\f' ||
                                       b == '\v' || b == 0 || b == kCtrlZ);
            }
            mark.BytesAfter += static_cast<std::int64_t>(len_ - std::min(from, len_));
            pos_ = len_;
            if (!Fill())
                break;
            from = 0;
        }
    } catch (const EInOutError&) {
        // What could be read is what is told of.
    }
    return mark;
}

bool TLineReader::FetchBehindBuffered()
{
    const std::size_t kept = len_ - pos_;
    // The buffer must keep room to reach the next chunk boundary.
    if (!file_.IsOpen() || endOfFile_ || kept + kChunk > capacity_)
        return false;
    std::memmove(buffer_.get(), buffer_.get() + pos_, kept);
    bufferOffset_ += static_cast<std::int64_t>(pos_);
    pos_ = 0;
    len_ = kept;
    const std::size_t before = len_;
    ReadToChunkBoundary();
    return len_ > before;
}

void ReadLine(TLineReader& reader, std::string& line, std::size_t maxLength)
{
    // Most lines come as one piece straight from the read buffer; `scratch`
    // holds only the ones that had to be assembled.
    std::string scratch;
    bool ended = false;
    line.clear();
    while (!ended) {
        const std::string_view piece = reader.ReadLinePiece(scratch, ended);
        line.append(piece.substr(0, maxLength - std::min(maxLength, line.size())));
    }
}

} // namespace morvane
