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
    // The bar keeps narrower than the terminal the stream shows on, asking
    // its width at every draw, for the user may widen the window meanwhile.
    TTerminalProgress(std::FILE* stream, std::string label);
    // The bar keeps narrower than `columns`; 0 lets it be as wide as it is.
    TTerminalProgress(std::FILE* stream, std::string label, int columns);

    // Whether the stream shows on a terminal or console, where the bar's
    // carriage returns redraw one line; a file or the null device is none.
    static bool IsTerminal(std::FILE* stream);
    // The width in characters of the terminal or console the stream shows
    // on; 0 when it shows on none or does not say.
    static int Columns(std::FILE* stream);

    // The bar's line, without its carriage return: "<label> [###   ]  42% <text>".
    // With `columns` above 0 it takes fewer: a line as wide as the terminal
    // moves the cursor to the next line, and each redraw would add one. The
    // label (the input file) then loses its start, then the bar its width.
    static std::string Line(const std::string& label, int percent, const std::string& text, int columns);

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
    // Below 0: ask the stream at every draw.
    int columns_ = -1;
    bool visible_ = false;
    std::int64_t maximum_ = 0;
    // Values below this cannot move the bar; saves the division per line.
    std::int64_t nextValue_ = 0;
    int percent_ = -1;
    // Characters of the line drawn last, which a shorter one blanks out.
    int drawnWidth_ = 0;
};

} // namespace morvane
