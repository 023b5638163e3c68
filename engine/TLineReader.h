#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "TFileIdentity.h"
#include "TOsFile.h"

namespace morvane {

// Reads a PE file as lines. LF or CR LF ends a line, a lone CR is dropped, and
// a Ctrl-Z cuts its line; where it stands at the start of a 128-byte chunk of
// the file, the input ends there. Progress is reported in 128-byte chunks as
// if the file were fetched one chunk at a time, while the operating system is
// actually asked for large blocks.
// Where an input ended at a Ctrl-Z, and what the rule left unread behind it.
struct TEndMark {
    std::int64_t Offset = -1; // of the Ctrl-Z from the start of the file; -1 when none ended the input
    std::int64_t BytesAfter = 0;
    // Anything behind the mark but blanks, line ends, NULs and more Ctrl-Zs,
    // the padding old programs filled a file's last record with.
    bool NonBlankAfter = false;
};

// How TLineReader::Open starts reading.
struct TReadStart {
    // For a part of the input read on another thread: offsets, chunks and
    // positions stay those of the whole file. Where it is not 0 the input
    // must be able to seek, or the open fails.
    std::int64_t From = 0;
    // Where set, the read starts at the first line that starts behind From,
    // which may fall anywhere in a line: a part read on another thread
    // starts so. Where none does, or the reading up to one fails, the reader
    // is at the end of its input (the reader of the part before meets the
    // failure itself).
    bool AtNextLine = false;
    // A FIFO is read as `cat` reads it, once its writer came.
    bool WaitForWriter = false;
};

// What TLineReader::Open gives: true once open, else the operating system's
// reason (a directory fails with TOsFile::DirectoryError()).
struct TOpened {
    int Error = 0;
    explicit operator bool() const { return Error == 0; }
};

class TLineReader {
public:
    // What a failing read of the operating system means.
    enum class TReadFailure {
        EndOfInput, // the input ends there, quietly
        Raise,      // EInOutError naming the file and the reason
    };

    // Large enough that the system calls hardly count, small enough that
    // the run's buffers stay in the processor's cache and its memory small.
    static constexpr std::size_t kDefaultReadSize = 128 * 1024;
    // Progress counts, and a Ctrl-Z ends the input at the start of, chunks
    // of this many bytes.
    static constexpr std::int64_t kChunk = 128;

    // readSize bounds each request to the operating system; tests make it tiny
    // to prove the observable rules do not depend on it.
    explicit TLineReader(TReadFailure onReadFailure = TReadFailure::EndOfInput,
                         std::size_t readSize = kDefaultReadSize);
    ~TLineReader();
    TLineReader(const TLineReader&) = delete;
    TLineReader& operator=(const TLineReader&) = delete;

    // Never raises. On failure the reader stays closed, and so reads as an
    // empty file of size 0. The file stays open until the next Open or the
    // reader's end.
    [[nodiscard]] TOpened Open(const std::string& path, TReadStart start = {});
    // Reads nothing at or past `end` (a line's start at or behind the read
    // position), as if the input ended there; a later end, or -1 for the
    // real end, reads on to it. False, with nothing changed, when the file
    // cannot seek.
    bool EndAt(std::int64_t end);
    // Where the next line starts.
    std::int64_t Offset() const { return bufferOffset_ + static_cast<std::int64_t>(pos_); }
    // The input's size at the open; 0 where it has none (a FIFO).
    std::int64_t Size() const { return size_; }
    TFileIdentity Identity() const { return identity_; }

    // The line at hand a piece at a time, each at most as long as a read
    // (never under 16 bytes) after the line rules, so that a line of any
    // length passes through bounded memory; `ended` tells whether the line
    // ended with this piece. A line that fits one piece comes without
    // copying where it lies whole in the read buffer; otherwise it is
    // assembled in `scratch`. Valid until the next call.
    std::string_view ReadLinePiece(std::string& scratch, bool& ended);

    bool AtEnd();
    // Lines so far whose Ctrl-Z cut off more than their line break: a
    // Ctrl-Z that does not end the input drops the rest of its line, and
    // the run tells the user so.
    std::int64_t CutLines() const { return cutLines_; }
    // After AtEnd answered yes at a Ctrl-Z: where it stands, and what follows
    // it, read to the end of the input (a failed read ends the count there).
    // Offset is -1 when the input ended otherwise.
    TEndMark ExamineEndMark();
    // -1 while closed.
    std::int64_t PositionInBlocks() const
    {
        if (!file_.IsOpen())
            return -1;
        // Bytes known always reach the end of the furthest examined byte's
        // chunk, or the end of the file. (Offsets are never negative, and
        // unsigned they divide by shifting; this runs once a line.)
        constexpr auto chunk = static_cast<std::uint64_t>(kChunk);
        const std::uint64_t chunkEnd = (static_cast<std::uint64_t>(examinedEnd_) + chunk - 1) / chunk * chunk;
        const std::uint64_t known = static_cast<std::uint64_t>(bufferOffset_) + len_;
        return static_cast<std::int64_t>((chunkEnd < known ? chunkEnd : known) / chunk);
    }

    // For a caller that takes whole lines straight out of the read buffer:
    // the fetched bytes not yet consumed. They stay where they are until a
    // read or AtEnd has to fetch more, or FetchBehindBuffered moves them.
    std::span<const unsigned char> Buffered() const
    {
        return {buffer_.get() + pos_, file_.IsOpen() ? len_ - pos_ : 0};
    }
    // Consumes n buffered bytes that end just behind a line's LF, as
    // reading the lines in them would have.
    void ConsumeBuffered(std::size_t n)
    {
        assert(n > 0 && n <= Buffered().size() && "ConsumeBuffered takes only buffered bytes");
        assert(Buffered()[n - 1] == '\n' && "ConsumeBuffered must end just behind a line's LF");
        pos_ += n;
        Examined(Offset());
    }

    // Moves the buffered bytes to the front of the buffer and fetches more
    // behind them, so that a line cut by the end of the buffer can be taken
    // whole from it. False, with nothing changed, when there is no room for
    // that or the file has nothing more; the line rules and positions are
    // the same either way.
    bool FetchBehindBuffered();

private:
    class TLinePieces;

    bool TakeWholeBufferedLine(std::string_view& line, std::size_t maxLength);
    enum class TStop { LineEnd, Control, InputEnd, PieceFull };
    TStop TakeUpToControl(TLinePieces& line);
    bool EndsLineAtControl(TLinePieces& line);
    bool EndsLineAtCR(TLinePieces& line);
    void CutLineAtCtrlZ(TLinePieces& line);
    bool RefillUnder(TLinePieces& line);

    void SkipPastLf();
    bool Fill();
    void ReadToChunkBoundary();
    bool SkipRestOfLine();
    void Examined(std::int64_t end)
    {
        if (end > examinedEnd_)
            examinedEnd_ = end;
    }

    TReadFailure onReadFailure_;
    std::size_t readSize_;
    std::size_t capacity_;
    std::size_t pieceSize_;
    std::unique_ptr<unsigned char[]> buffer_;

    std::string path_;
    TOsFile file_;
    TFileIdentity identity_;
    std::int64_t size_ = 0;

    std::size_t pos_ = 0;           // next byte to consume
    std::size_t len_ = 0;           // valid bytes in the buffer
    std::int64_t bufferOffset_ = 0; // file offset of buffer_[0]
    bool endOfFile_ = false;
    std::int64_t end_ = -1;     // EndAt's, or -1
    bool endedAtEnd_ = false;   // endOfFile_ came from end_
    std::int64_t endMark_ = -1;
    std::int64_t cutLines_ = 0;
    // One past the furthest byte the line rules have looked at; the 128-byte
    // chunks up to it are the ones "fetched".
    std::int64_t examinedEnd_ = 0;
};

// The next line, for the few a run reads whole (a header, a template), built
// on the pieces. Reuses the capacity of `line`. Bytes past maxLength are
// dropped, but the whole line is still consumed.
void ReadLine(TLineReader& reader, std::string& line, std::size_t maxLength = std::string::npos);

// The progress's whole: the input's size in the chunks PositionInBlocks counts.
inline std::int64_t SizeInBlocks(const TLineReader& reader)
{
    return reader.Size() / TLineReader::kChunk;
}

} // namespace morvane
