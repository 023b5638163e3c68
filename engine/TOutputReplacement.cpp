#include "TOutputReplacement.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include "EInOutError.h"
#include "TOsFile.h"

namespace morvane {

namespace {

// The new files a signal handler may have to remove. A handler can neither
// lock nor allocate, so the names sit in fixed storage, each published by
// its flag once it is complete.
constexpr int kSlots = 8;
constexpr std::size_t kSlotPath = 4096;
struct TSlot {
    std::atomic<bool> Used {false};
    std::atomic<bool> Named {false};
    char Path[kSlotPath] {};
};
TSlot gSlots[kSlots];

int TakeSlot(const std::string& path)
{
    if (path.size() >= kSlotPath)
        return -1;
    for (int i = 0; i < kSlots; ++i) {
        bool expected = false;
        if (gSlots[i].Used.compare_exchange_strong(expected, true)) {
            std::memcpy(gSlots[i].Path, path.c_str(), path.size() + 1);
            gSlots[i].Named.store(true);
            return i;
        }
    }
    // More runs at once than slots: such a file is only left behind when a
    // signal ends the program.
    return -1;
}

void GiveBackSlot(int slot)
{
    if (slot < 0)
        return;
    gSlots[slot].Named.store(false);
    gSlots[slot].Used.store(false);
}

std::string SameFileMessage(const std::string& path)
{
    return "The output file \"" + path + "\" is the PE file itself";
}

std::string CreateFailureMessage(const std::string& path, int error)
{
    return "Cannot create the output file \"" + path + "\": " + TOsFile::ErrorText(error);
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

} // namespace

TOutputReplacement::TOutputReplacement(const std::string& outputPath, const TFileIdentity& mustNotBe)
    : outputPath_(outputPath)
    , target_(TOsFile::FollowLinks(outputPath))
    , writePath_(outputPath)
    , mustNotBe_(mustNotBe)
{
    if (TOsFile::IdentityOf(target_).SameFileAs(mustNotBe))
        throw EInOutError(SameFileMessage(outputPath));
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
    for (unsigned attempt = 0;; ++attempt) {
        const std::string candidate = NewFileName(target_, attempt);
        const int error = TOsFile::CreateNew(candidate, info.Exists ? static_cast<int>(info.Mode) : -1);
        if (error == 0) {
            writePath_ = candidate;
            pending_ = true;
            break;
        }
        if (error == TOsFile::ExistsError() && attempt < 100)
            continue;
        // A file the user may write in a folder where nothing new may be
        // made is written in place, as it always was.
        if (info.Exists)
            return;
        throw EInOutError(CreateFailureMessage(outputPath, error));
    }
    slot_ = TakeSlot(writePath_);
}

TOutputReplacement::~TOutputReplacement()
{
    if (pending_)
        TOsFile::RemoveNow(writePath_.c_str());
    GiveBackSlot(slot_);
}

void TOutputReplacement::Commit()
{
    if (!pending_)
        return;
    // What is replaced is checked again: the earlier look may be long past.
    if (TOsFile::IdentityOf(target_).SameFileAs(mustNotBe_))
        throw EInOutError(SameFileMessage(outputPath_));
    if (const int error = TOsFile::PutInPlace(writePath_, target_))
        throw EInOutError("Cannot replace the output file \"" + outputPath_ + "\": " + TOsFile::ErrorText(error));
    pending_ = false;
    GiveBackSlot(slot_);
    slot_ = -1;
}

void TOutputReplacement::RemoveTemporaries() noexcept
{
    for (TSlot& slot : gSlots) {
        if (slot.Named.load())
            TOsFile::RemoveNow(slot.Path);
    }
}

} // namespace morvane
