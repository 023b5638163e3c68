#include "TBatchSummary.h"

namespace morvane {

void TBatchSummary::Failed(const std::string& name, const std::string& reason)
{
    ++failed_;
    reasons_.push_back(name + ": " + reason);
}

void TBatchSummary::Skipped(const std::string& name, const std::string& reason)
{
    ++skipped_;
    reasons_.push_back(name + ": skipped: " + reason);
}

std::string TBatchSummary::Text(std::size_t shownReasons) const
{
    std::string text = std::to_string(files_) + (files_ == 1 ? " file: " : " files: ") + std::to_string(converted_)
        + " converted, " + std::to_string(failed_) + " failed, " + std::to_string(skipped_) + " skipped";
    const std::size_t reached = converted_ + failed_ + skipped_;
    if (stopped_ && reached < files_)
        text += "; stopped before the other " + std::to_string(files_ - reached);
    text += "\n";
    for (std::size_t k = 0; k < reasons_.size() && k < shownReasons; ++k)
        text += reasons_[k] + "\n";
    if (reasons_.size() > shownReasons)
        text += "\u2026 and " + std::to_string(reasons_.size() - shownReasons) + " more\n";
    return text;
}

} // namespace morvane
