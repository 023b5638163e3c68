#include "TLineWriter.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "EInOutError.h"

namespace morvane {

namespace {

// Disk space set aside ahead of the writes: little for a small output,
// doubling up to this much for a large one.
constexpr std::int64_t kFirstReserve = 1 << 20;
constexpr std::int64_t kLargestReserve = 64 << 20;
// The code a failed write to a sink reports; the sink's own exception is
// what the caller gets.
constexpr int kSinkFailed = -1;

std::string SameFileMessage(const std::string& path)
{
    return "The output file \"" + path + "\" is the PE file itself";
}

std::string CreateFailureMessage(const std::string& path, int error)
{
    return "Cannot create the output file \"" + path + "\": " + TOsFile::ErrorText(error);
}

} // namespace

TLineWriter::TLineWriter(std::size_t bufferSize)
    : capacity_(std::max<std::size_t>(bufferSize, 2))
    , behind_([this](const char* data, std::size_t n) { return WriteAll(data, n); })
{
}

TLineWriter::~TLineWriter()
{
    // A destructor cannot report, and a sink is finished only by a run that
    // says it succeeded; callers that care call Close().
    CloseAfterFailure();
}

void TLineWriter::Open(const std::string& path, const TFileIdentity& mustNotBe, const std::string& shownAs,
                       bool existing)
{
    Close();
    const std::string& name = shownAs.empty() ? path : shownAs;
    // Checked before the open, so that an input the user may not write is
    // still reported as what it is...
    if (TOsFile::IdentityOf(path).SameFileAs(mustNotBe))
        throw EInOutError(SameFileMessage(name));

    // ...and again on what was really opened, which is not emptied until it
    // has passed.
    if (!file_.OpenForWriting(path, !existing))
        throw EInOutError(CreateFailureMessage(name, file_.Error()));
    if (file_.Kind() == TOsFile::TKind::Directory) {
        file_.Close();
        throw EInOutError(CreateFailureMessage(name, TOsFile::DirectoryError()));
    }
    if (file_.Identity().SameFileAs(mustNotBe)) {
        file_.Close();
        throw EInOutError(SameFileMessage(name));
    }
    // Emptying a file that is empty already is not only useless: some file
    // systems take it as a sign to write everything out at close.
    if (file_.Kind() == TOsFile::TKind::Regular && file_.Size() > 0 && !file_.Truncate()) {
        const int error = file_.Error();
        file_.Close();
        throw EInOutError(CreateFailureMessage(name, error));
    }

    if (!buffers_)
        buffers_ = std::make_unique<char[]>(2 * capacity_);
    buffer_ = buffers_.get();
    used_ = 0;
    path_ = name;
    reserving_ = file_.Kind() == TOsFile::TKind::Regular;
    written_ = reservedEnd_ = 0;
    reserveStep_ = kFirstReserve;
    open_ = true;
}

void TLineWriter::Open(ILineSink& sink)
{
    Close();
    if (!buffers_)
        buffers_ = std::make_unique<char[]>(2 * capacity_);
    buffer_ = buffers_.get();
    used_ = 0;
    path_.clear();
    reserving_ = false;
    written_ = reservedEnd_ = 0;
    sink_ = &sink;
    sinkError_ = nullptr;
    open_ = true;
}

void TLineWriter::ReserveSpaceFor(std::size_t n)
{
    const std::int64_t end = written_ + static_cast<std::int64_t>(n);
    while (reserving_ && end > reservedEnd_) {
        // The file keeps its size; a file system that cannot do this, or a
        // disk without the room, is simply written as it comes.
        if (!file_.Reserve(reservedEnd_, reserveStep_)) {
            reserving_ = false;
            return;
        }
        reservedEnd_ += reserveStep_;
        reserveStep_ = std::min(reserveStep_ * 2, kLargestReserve);
    }
}

void TLineWriter::ReleaseUnusedSpace()
{
    if (reservedEnd_ > 0)
        file_.ReleaseReserve(written_);
    reservedEnd_ = 0;
}

void TLineWriter::Write(std::string_view text)
{
    // An empty piece may come without any storage behind it.
    if (!open_ || text.empty())
        return;
    // Small pieces are gathered; a large one goes to the file as it is
    // rather than being copied first.
    const bool large = text.size() >= capacity_ / 4 && text.size() >= 4096;
    if (!large && text.size() <= capacity_ - used_) {
        std::memcpy(buffer_ + used_, text.data(), text.size());
        used_ += text.size();
        return;
    }
    Flush();
    if (large || text.size() >= capacity_) {
        // The caller's bytes go out at once, behind those handed over.
        int error = behind_.Wait();
        if (error == 0)
            error = WriteAll(text.data(), text.size());
        if (error != 0)
            RaiseWriteError(error);
        return;
    }
    std::memcpy(buffer_, text.data(), text.size());
    used_ = text.size();
}

void TLineWriter::WriteLine(std::string_view text)
{
    Write(text);
    Write("\r\n");
}

void TLineWriter::Flush()
{
    const std::size_t n = used_;
    used_ = 0;
    if (n == 0)
        return;
    // A failure of the write before drops this buffer too: the file must
    // not go on behind a gap.
    if (const int error = behind_.Wait())
        RaiseWriteError(error);
    behind_.Start(buffer_, n);
    buffer_ = buffer_ == buffers_.get() ? buffers_.get() + capacity_ : buffers_.get();
}

int TLineWriter::WriteAll(const char* data, std::size_t n)
{
    if (!open_)
        return 0;
    if (sink_) {
        try {
            sink_->Write(data, n);
            return 0;
        } catch (...) {
            sinkError_ = std::current_exception();
            return kSinkFailed;
        }
    }
    ReserveSpaceFor(n);
    written_ += static_cast<std::int64_t>(n);
    return file_.Write(data, n) ? 0 : file_.Error();
}

void TLineWriter::RaiseWriteError(int error)
{
    if (sinkError_)
        std::rethrow_exception(sinkError_);
    throw EInOutError("Cannot write the output file \"" + path_ + "\": " + TOsFile::ErrorText(error));
}

void TLineWriter::Close()
{
    if (!open_)
        return;
    int error = behind_.Wait();
    // An output written whole at its close is not worth room set aside
    // first: the write itself meets a full disk, and reserving and giving
    // back cost a small file more than its bytes do.
    if (reservedEnd_ == 0)
        reserving_ = false;
    if (error == 0)
        error = WriteAll(buffer_, used_);
    used_ = 0;
    open_ = false;
    if (ILineSink* const sink = std::exchange(sink_, nullptr)) {
        if (error == 0) {
            try {
                sink->Finish();
            } catch (...) {
                sinkError_ = std::current_exception();
                error = kSinkFailed;
            }
        }
    } else {
        ReleaseUnusedSpace();
        if (!file_.Close() && error == 0)
            error = file_.Error();
    }
    if (error != 0)
        RaiseWriteError(error);
}

void TLineWriter::CloseAfterFailure() noexcept
{
    if (!sink_) {
        try {
            Close();
        } catch (...) {
            // The failure that ended the run is the one to report.
        }
        return;
    }
    behind_.Wait();
    used_ = 0;
    open_ = false;
    sink_ = nullptr;
    sinkError_ = nullptr;
}

} // namespace morvane
