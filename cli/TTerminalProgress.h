#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "IProgressSink.h"

namespace morvane {

// A one-line progress bar on a terminal. It draws only when the shown
// percentage changes, so the per-line SetValue calls of a run cost a
// comparison each.
class TTerminalProgress : public IProgressSink {
public:
    TTerminalProgress(std::FILE* stream, std::string label);

    // Whether the stream shows on a terminal or console, where the bar's
    // carriage returns redraw one line; a file or the null device is none.
    static bool IsTerminal(std::FILE* stream);

    void SetText(const std::string& text) override;
    void Show() override;
    void SetMaximum(std::int64_t maximum) override;
    void SetValue(std::int64_t value) override;
    void SetPercent(int percent) override;

    // Wipes the bar off its line, so that a message can be written there;
    // the next value draws it again below the message.
    void ClearLine();

private:
    void Draw(int percent);

    std::FILE* stream_;
    std::string label_;
    std::string text_;
    bool visible_ = false;
    std::int64_t maximum_ = 0;
    // Values below this cannot move the bar; saves the division per line.
    std::int64_t nextValue_ = 0;
    int percent_ = -1;
};

} // namespace morvane
