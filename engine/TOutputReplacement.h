#pragma once

#include <cstdint>
#include <string>

#include "TFileIdentity.h"

namespace morvane {

class TOsFile;

// The file a run writes, put in the place of its output only once the run
// has succeeded, so that a run that fails or is stopped leaves the earlier
// output as it was.
//
// An output that does not exist yet or is a regular file is written as a
// new file beside it (beside the file a symbolic link leads to, which keeps
// the link) and renamed over it at Commit, with the earlier output's
// permissions. Anything else (/dev/null, a FIFO, a terminal, a pipe named
// /dev/stdout) cannot be replaced and is written as it is.
//
// An earlier output in a folder where no new file may be made is built in
// the folder for temporary files instead and copied over the earlier one at
// Commit, once room for all of it is set aside; where not even that folder
// takes a new file, the run is refused before anything is written.
class TOutputReplacement {
public:
    // Raises EInOutError naming the output when it leads to the file
    // `mustNotBe`, when the earlier output may not be written, when the new
    // file can be made neither beside it nor in the folder for temporary
    // files, or when the program is being ended.
    explicit TOutputReplacement(const std::string& outputPath, const TFileIdentity& mustNotBe = {});
    // Removes the new file unless Commit put it in place.
    ~TOutputReplacement();
    TOutputReplacement(const TOutputReplacement&) = delete;
    TOutputReplacement& operator=(const TOutputReplacement&) = delete;

    // Where the run writes: the new file, created empty, or the output.
    const std::string& WritePath() const { return writePath_; }
    const std::string& OutputPath() const { return outputPath_; }
    // Whether the run writes the output itself.
    bool WritesInPlace() const { return writePath_ == outputPath_; }
    // Whether WritePath is a new file this replacement made (the writer then
    // opens it without creating it, so that it is never made again once a
    // handler took it away).
    bool WritesNewFile() const { return pending_; }

    // Puts the written file in place of the output; raises EInOutError
    // naming the output and the system's reason. The file at WritePath must
    // still be the one made for the run and hold what the run wrote:
    // `writtenSize` bytes when the writer counted them, else at least one
    // (no output of ours is empty, so an empty one means the writes went
    // elsewhere). Anything else is left where it is and the run fails.
    void Commit(std::int64_t writtenSize = -1);

    // Removes every new file not yet put in place, first waiting for one
    // being made or copied over its output; for the handlers of the signals
    // and console events that end the program, so it does only what such a
    // handler may. Afterwards no new file is made and none is put in place.
    static void RemoveTemporaries() noexcept;

private:
    // Copies the written file over the output, room set aside first.
    void CopyOver(TOsFile& written);

    std::string outputPath_;
    std::string target_; // the output, links followed
    std::string writePath_;
    TFileIdentity mustNotBe_;
    TFileIdentity made_;   // the new file, as it was created
    bool pending_ = false; // a new file exists that is not in place yet
    bool copies_ = false;  // it is copied over the output, not renamed
    int slot_ = -1;        // in the list RemoveTemporaries goes through
};

} // namespace morvane
