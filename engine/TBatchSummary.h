#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace morvane {

// What became of each file of a batch, told at its end in one text: a count
// line ("12 files: 10 converted, 1 failed, 1 skipped") and one line per file
// that was not converted, saying why.
class TBatchSummary {
public:
    // Reasons beyond this many are counted, not listed: a box of ten
    // thousand lines helps nobody.
    static constexpr std::size_t kShownReasons = 20;

    explicit TBatchSummary(std::size_t files) : files_(files) {}

    void Converted() { ++converted_; }
    // `name` as the user knows the file; `reason` says why, e.g.
    // "line 4: '12:3x:00' is not a valid time".
    void Failed(const std::string& name, const std::string& reason);
    void Skipped(const std::string& name, const std::string& reason);
    // The user stopped the batch: the files not reached are told as one.
    void Stopped() { stopped_ = true; }

    std::size_t ConvertedCount() const { return converted_; }
    std::size_t FailedCount() const { return failed_; }
    std::size_t SkippedCount() const { return skipped_; }

    // The count line, then the reasons, each line ending in "\n".
    std::string Text(std::size_t shownReasons = kShownReasons) const;

private:
    std::size_t files_;
    std::size_t converted_ = 0;
    std::size_t failed_ = 0;
    std::size_t skipped_ = 0;
    bool stopped_ = false;
    std::vector<std::string> reasons_;
};

} // namespace morvane
