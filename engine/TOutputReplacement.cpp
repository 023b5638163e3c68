#include "TOutputReplacement.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "EInOutError.h"
#include "TOsFile.h"

namespace morvane {

namespace {

// The new files a handler may have to remove. A handler can neither lock
// nor allocate, so the names sit in fixed storage, each published by its
// flag once it is complete.
constexpr int kSlots = 8;
constexpr std::size_t kSlotPath = 4096;
struct TSlot {
    std::atomic<bool> Used {false};
    std::atomic<bool> Named {false};
    // The file is being made or copied over its output.
    std::atomic<bool> Busy {false};
    char Path[kSlotPath] {};
};
TSlot gSlots[kSlots];
// A handler ran: the program is ending.
std::atomic<bool> gEnding {false};

#ifdef _WIN32
constexpr char kSeparator = '\\';
#else
constexpr char kSeparator = '/';
#endif

int TakeSlot()
{
    for (int i = 0; i < kSlots; ++i) {
        bool expected = false;
        if (gSlots[i].Used.compare_exchange_strong(expected, true))
            return i;
    }
    // More runs at once than slots: such a file is only left behind when a
    // signal ends the program.
    return -1;
}

void Publish(int slot, const std::string& path)
{
    if (slot < 0 || path.size() >= kSlotPath)
        return;
    std::memcpy(gSlots[slot].Path, path.c_str(), path.size() + 1);
    gSlots[slot].Named.store(true);
}

void Unpublish(int slot)
{
    if (slot >= 0)
        gSlots[slot].Named.store(false);
}

void GiveBackSlot(int slot)
{
    if (slot < 0)
        return;
    gSlots[slot].Named.store(false);
    gSlots[slot].Used.store(false);
}

// A stretch in which the run makes its new file or copies it over the
// output. A handler waits for it to end rather than miss a file that is
// being made or leave an output half copied; the ending signals are held
// meanwhile, so that their handler never waits for its own thread.
class TBusyStretch {
public:
    explicit TBusyStretch(int slot) noexcept
        : slot_(slot)
        , held_(TOsFile::HoldEndingSignals())
    {
        if (slot_ >= 0)
            gSlots[slot_].Busy.store(true);
    }
    ~TBusyStretch()
    {
        if (slot_ >= 0)
            gSlots[slot_].Busy.store(false);
        TOsFile::ReleaseEndingSignals(held_);
    }
    TBusyStretch(const TBusyStretch&) = delete;
    TBusyStretch& operator=(const TBusyStretch&) = delete;

    // Asked only once Busy is set: a handler that set the flag earlier is
    // seen here, and one that sets it later sees Busy and waits.
    static bool Ending() { return gEnding.load(); }

private:
    int slot_;
    unsigned held_;
};

std::string SameFileMessage(const std::string& path)
{
    return "The output file \"" + path + "\" is the PE file itself";
}

std::string CreateFailureMessage(const std::string& path, int error)
{
    return "Cannot create the output file \"" + path + "\": " + TOsFile::ErrorText(error);
}

std::string ReplaceFailureMessage(const std::string& path, const std::string& reason)
{
    return "Cannot replace the output file \"" + path + "\": " + reason;
}

std::string EndingMessage(const std::string& path)
{
    return "The output file \"" + path + "\" was left as it was: the program is being ended";
}

// A name of its own for every attempt, from the clock, the thread and a
// count, so that runs side by side never meet.
std::string NewFileName(const std::string& target, unsigned attempt)
{
    static std::atomic<unsigned> counter {0};
    const std::size_t slash = target.find_last_of(
#ifdef _WIN32
        "/\\"
#else
        "/"
#endif
    );
    const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    const auto seed = static_cast<unsigned long long>(
                          std::chrono::steady_clock::now().time_since_epoch().count()) ^
                      std::hash<std::thread::id>{}(std::this_thread::get_id()) ^
                      (static_cast<unsigned long long>(counter.fetch_add(1)) << 40) ^ attempt;
    char tag[17];
    static const char kHex[] = "0123456789abcdef";
    for (int i = 0; i < 16; ++i)
        tag[i] = kHex[(seed >> (4 * i)) & 0xf];
    tag[16] = '\0';
    // Hidden where a leading dot hides, and never taken for a finished
    // output by its extension.
    return folder + "." + name + "." + tag + ".part";
}

std::string NameOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of(
#ifdef _WIN32
        "/\\"
#else
        "/"
#endif
    );
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Makes a new file named after `like` in its folder: 0 with its name in
// `path` and its identity in `made`, or the system's reason. The name is
// published for the handlers before the file exists, so that no moment
// passes in which it exists unknown to them.
int MakeNewFile(int slot, const std::string& like, int mode, const std::string& outputPath, std::string& path,
                TFileIdentity& made)
{
    for (unsigned attempt = 0;; ++attempt) {
        const std::string candidate = NewFileName(like, attempt);
        int error = 0;
        {
            const TBusyStretch busy(slot);
            if (TBusyStretch::Ending())
                throw EInOutError(EndingMessage(outputPath));
            Publish(slot, candidate);
            error = TOsFile::CreateNew(candidate, mode, &made);
            if (error != 0)
                Unpublish(slot);
        }
        if (error == 0) {
            path = candidate;
            return 0;
        }
        if (error != TOsFile::ExistsError() || attempt >= 100)
            return error;
    }
}

} // namespace

TOutputReplacement::TOutputReplacement(const std::string& outputPath, const TFileIdentity& mustNotBe)
    : outputPath_(outputPath)
    , target_(outputPath)
    , writePath_(outputPath)
    , mustNotBe_(mustNotBe)
{
    if (TOsFile::IdentityOf(outputPath).SameFileAs(mustNotBe))
        throw EInOutError(SameFileMessage(outputPath));
    // What the name opens decides, not the text of its links: /dev/stdout
    // leads through a link whose text names no file to a pipe, written as
    // it comes like any FIFO.
    if (const TOsFile::TPathInfo opened = TOsFile::InfoOf(outputPath);
        opened.Exists && opened.Kind != TOsFile::TKind::Regular)
        return;
    target_ = TOsFile::FollowLinks(outputPath);
    const TOsFile::TPathInfo info = TOsFile::InfoOf(target_);
    if (info.Exists && info.Kind != TOsFile::TKind::Regular)
        return;

    if (info.Exists) {
        // A file the user may not write is refused as it always was, rather
        // than replaced by renaming over it.
        TOsFile probe;
        if (!probe.OpenForWriting(target_))
            throw EInOutError(CreateFailureMessage(outputPath, probe.Error()));
        if (probe.Identity().SameFileAs(mustNotBe))
            throw EInOutError(SameFileMessage(outputPath));
    }
    slot_ = TakeSlot();
    try {
        const int error = MakeNewFile(slot_, target_, info.Exists ? static_cast<int>(info.Mode) : -1, outputPath_,
                                      writePath_, made_);
        if (error != 0 && !info.Exists)
            throw EInOutError(CreateFailureMessage(outputPath, error));
        if (error != 0) {
            // A file the user may write in a folder where nothing new may be
            // made: writing it in place would lose it to a failed run, so the
            // new output is made where temporary files go and copied over it.
            const std::string temporary = TOsFile::TemporaryFolder();
            const int elsewhere = temporary.empty()
                                      ? error
                                      : MakeNewFile(slot_, temporary + kSeparator + NameOf(target_), 0600,
                                                    outputPath_, writePath_, made_);
            if (elsewhere != 0) {
                throw EInOutError(CreateFailureMessage(outputPath, error) +
                                  "; nor can a new output be made in the folder for temporary files \"" +
                                  temporary + "\": " + TOsFile::ErrorText(elsewhere));
            }
            copies_ = true;
        }
    } catch (...) {
        GiveBackSlot(slot_);
        throw;
    }
    pending_ = true;
}

TOutputReplacement::~TOutputReplacement()
{
    if (pending_)
        TOsFile::RemoveNow(writePath_.c_str());
    GiveBackSlot(slot_);
}

void TOutputReplacement::Commit(std::int64_t writtenSize)
{
    if (!pending_)
        return;
    if (gEnding.load())
        throw EInOutError(EndingMessage(outputPath_));
    // What is replaced is checked again: the earlier look may be long past.
    if (TOsFile::IdentityOf(target_).SameFileAs(mustNotBe_))
        throw EInOutError(SameFileMessage(outputPath_));

    // Only the file made for this run, holding what the run wrote, takes the
    // output's place: whatever stands at its name otherwise is no output.
    TOsFile written;
    const bool opened = written.OpenForReading(writePath_);
    const bool ours = opened && written.Identity().SameFileAs(made_);
    if (!ours || (writtenSize >= 0 ? written.Size() != writtenSize : written.Size() == 0)) {
        if (!ours) {
            // Someone else's file: it stays.
            pending_ = false;
            GiveBackSlot(slot_);
            slot_ = -1;
        }
        throw EInOutError(ReplaceFailureMessage(
            outputPath_, "the new file \"" + writePath_ + "\" is not the one this run wrote (" +
                             (opened ? std::to_string(written.Size()) + " bytes" : TOsFile::ErrorText(written.Error())) +
                             ")"));
    }
    if (copies_) {
        CopyOver(written);
        written.Close();
        TOsFile::RemoveNow(writePath_.c_str());
    } else {
        written.Close();
        if (const int error = TOsFile::PutInPlace(writePath_, target_))
            throw EInOutError(ReplaceFailureMessage(outputPath_, TOsFile::ErrorText(error)));
    }
    pending_ = false;
    GiveBackSlot(slot_);
    slot_ = -1;
}

void TOutputReplacement::CopyOver(TOsFile& written)
{
    const TBusyStretch busy(slot_);
    if (TBusyStretch::Ending())
        throw EInOutError(EndingMessage(outputPath_));
    TOsFile output;
    const auto fail = [&](int error) {
        throw EInOutError(ReplaceFailureMessage(outputPath_, TOsFile::ErrorText(error)));
    };
    if (!output.OpenForWriting(target_, false))
        fail(output.Error());
    if (output.Identity().SameFileAs(mustNotBe_))
        throw EInOutError(SameFileMessage(outputPath_));
    // Room for all of it first, so that the earlier output is never given
    // up for a copy that cannot end. Over the longer of the two, as Windows
    // cuts a file whose room is set below its size.
    const std::int64_t size = written.Size();
    const std::int64_t room = std::max(size, output.Size());
    if (room > 0 && !output.Reserve(0, room)) {
        throw EInOutError(ReplaceFailureMessage(outputPath_, "no room for its " + std::to_string(size) +
                                                                 " bytes can be set aside: " +
                                                                 TOsFile::ErrorText(output.Error())));
    }
    std::vector<char> buffer(1 << 20);
    for (;;) {
        const std::int64_t got = written.Read(buffer.data(), buffer.size());
        if (got < 0)
            fail(written.Error());
        if (got == 0)
            break;
        if (!output.Write(buffer.data(), static_cast<std::size_t>(got)))
            fail(output.Error());
    }
    if (!output.Truncate(size) || !output.Close())
        fail(output.Error());
}

void TOutputReplacement::RemoveTemporaries() noexcept
{
    gEnding.store(true);
    for (TSlot& slot : gSlots) {
        while (slot.Busy.load())
            TOsFile::WaitBriefly();
        if (slot.Named.load())
            TOsFile::RemoveNow(slot.Path);
    }
}

} // namespace morvane
