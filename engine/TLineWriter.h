#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <string_view>

#include "ILineSink.h"
#include "TFileIdentity.h"
#include "TOsFile.h"
#include "TWriteBehind.h"

namespace morvane {

// Writes the output file line by line, each line ending in CR LF, through a
// buffer that goes to the file whenever it is full and at Close. A full
// buffer is written behind, while the other of two fills; a failed write is
// raised by the next call that writes out or by Close, and nothing handed
// over after it reaches the file. Every failure raises EInOutError naming
// the file and the reason.
class TLineWriter {
public:
    // Each of the two buffers.
    static constexpr std::size_t kDefaultBufferSize = 256 * 1024;

    explicit TLineWriter(std::size_t bufferSize = kDefaultBufferSize);
    // Closes without raising; call Close() to learn of a failed last write.
    ~TLineWriter();
    TLineWriter(const TLineWriter&) = delete;
    TLineWriter& operator=(const TLineWriter&) = delete;

    // Creates the file or empties it. When the path leads to the file
    // `mustNotBe` (by any name or link) nothing is created or emptied and the
    // open fails, so that a run can never destroy its own input. Messages
    // name the file `shownAs` when given: the output a new file stands for.
    // With `existing`, a file that is not there is not made again but fails
    // the open.
    void Open(const std::string& path, const TFileIdentity& mustNotBe = {}, const std::string& shownAs = {},
              bool existing = false);
    // Hands the buffers to `sink` instead of a file; Close then finishes it.
    // The sink must outlive the writer's use of it.
    void Open(ILineSink& sink);
    bool IsOpen() const { return open_; }
    // The most that one Reserve can give.
    std::size_t BufferSize() const { return capacity_; }
    // The most a Reserve can give without writing the buffer out first.
    std::size_t Room() const { return capacity_ - used_; }
    // The bytes that went to the file, once it is closed.
    std::int64_t BytesWritten() const { return written_; }

    void Write(std::string_view text);
    void WriteLine(std::string_view text);
    // Lets `fill(char* destination)` produce the n bytes of a line straight
    // into the buffer, then ends the line.
    template <typename Fill>
    void WriteLineWith(std::size_t n, Fill&& fill)
    {
        if (!open_)
            return;
        if (n + 2 > capacity_) {
            std::string line(n, '\0');
            fill(line.data());
            WriteLine(line);
            return;
        }
        if (capacity_ - used_ < n + 2)
            Flush();
        char* at = buffer_ + used_;
        fill(at);
        at[n] = '\r';
        at[n + 1] = '\n';
        used_ += n + 2;
    }

    // Room for n bytes at the end of the buffer, which is written out first
    // when it has too little left; null when the writer is closed or n
    // exceeds the whole buffer. Commit then keeps the first k of them.
    char* Reserve(std::size_t n)
    {
        if (!open_ || n > capacity_)
            return nullptr;
        if (capacity_ - used_ < n)
            Flush();
        reserved_ = n;
        return buffer_ + used_;
    }
    void Commit(std::size_t k)
    {
        assert(k <= reserved_ && "Commit keeps at most what the last Reserve gave");
        reserved_ = 0;
        used_ += k;
    }

    // Writes out the buffer and releases the file, or finishes the sink;
    // raises when either fails. The file is released in every case.
    void Close();
    // Closes after a failed run: a file keeps what was written before, as
    // with Close; a sink is left unfinished and gets nothing more. Never
    // raises.
    void CloseAfterFailure() noexcept;

private:
    void Flush();
    // 0, or the code of the failure.
    int WriteAll(const char* data, std::size_t n);
    void ReserveSpaceFor(std::size_t n);
    void ReleaseUnusedSpace();
    [[noreturn]] void RaiseWriteError(int error);

    std::size_t capacity_;
    std::unique_ptr<char[]> buffers_; // two of capacity_ bytes
    char* buffer_ = nullptr;          // the one being filled
    std::size_t used_ = 0;
    std::size_t reserved_ = 0; // by the last Reserve, until its Commit
    std::string path_;
    TOsFile file_;
    bool open_ = false;
    ILineSink* sink_ = nullptr;
    // What the sink raised, on whichever thread wrote to it; given to the
    // caller by the next call that writes out.
    std::exception_ptr sinkError_;
    // Disk space is set aside ahead of the writes to a regular file, which
    // spares the file system finding room page by page; what the output
    // does not use is given back at Close.
    bool reserving_ = false;
    std::int64_t written_ = 0;
    std::int64_t reservedEnd_ = 0;
    std::int64_t reserveStep_ = 0;
    // Last, so that its thread is gone before anything it uses.
    TWriteBehind behind_;
};

} // namespace morvane
