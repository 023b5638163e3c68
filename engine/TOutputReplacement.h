#pragma once

#include <string>

#include "TFileIdentity.h"

namespace morvane {

// The file a run writes, put in the place of its output only once the run
// has succeeded, so that a run that fails or is stopped leaves the earlier
// output as it was.
//
// An output that does not exist yet or is a regular file is written as a
// new file beside it (beside the file a symbolic link leads to, which keeps
// the link) and renamed over it at Commit, with the earlier output's
// permissions. Anything else (/dev/null, a FIFO, a terminal) cannot be
// replaced and is written as it is; so is a file in a folder where no new
// file may be made.
class TOutputReplacement {
public:
    // Raises EInOutError naming the output when it leads to the file
    // `mustNotBe`, when the earlier output may not be written, or when the
    // new file cannot be created beside it.
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

    // Puts the written file in place of the output; raises EInOutError
    // naming the output and the system's reason.
    void Commit();

    // Removes every new file not yet put in place; for the handlers of the
    // signals that end the program, so it does only what such a handler may.
    static void RemoveTemporaries() noexcept;

private:
    std::string outputPath_;
    std::string target_; // the output, links followed
    std::string writePath_;
    TFileIdentity mustNotBe_;
    bool pending_ = false; // a new file exists that is not in place yet
    int slot_ = -1;        // in the list RemoveTemporaries goes through
};

} // namespace morvane
