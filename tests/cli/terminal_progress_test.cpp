#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "TTerminalProgress.h"

namespace morvane {
namespace {

// Everything the bar printed, read back from a temporary stream.
std::string Printed(std::FILE* stream)
{
    std::fflush(stream);
    std::rewind(stream);
    std::string text;
    for (int c; (c = std::fgetc(stream)) != EOF;)
        text += static_cast<char>(c);
    return text;
}

std::size_t Count(const std::string& text, char c)
{
    std::size_t n = 0;
    for (char t : text)
        n += t == c;
    return n;
}

TEST(TerminalProgress, DrawsOncePerPercentWhateverTheNumberOfValues)
{
    struct Case {
        std::int64_t maximum;
        std::int64_t step;
        std::size_t draws; // including the final one at SetPercent
    };
    const std::vector<Case> cases = {
        {1000, 1, 101 + 1}, // every percent once, then "finished"
        {7, 1, 8 + 1},      // few blocks: only the percents reached
        {100000, 3, 101 + 1},
        {-1, 1, 1},         // an unreadable input: no value can draw
        {0, 1, 1},
    };
    for (const Case& c : cases) {
        std::FILE* stream = std::tmpfile();
        ASSERT_NE(stream, nullptr);
        {
            TTerminalProgress bar(stream, "in.pe");
            bar.SetText("");
            bar.Show();
            bar.SetValue(0);
            bar.SetMaximum(c.maximum);
            for (std::int64_t v = 0; v <= c.maximum; v += c.step) {
                bar.SetValue(v);
                bar.SetValue(v); // repeated values are common and must be free
            }
            bar.SetValue(c.maximum);
            bar.SetText("finished");
            bar.SetPercent(100);
        }
        const std::string text = Printed(stream);
        std::fclose(stream);
        // "finished" itself redraws once more.
        EXPECT_EQ(Count(text, '\r'), c.draws + (c.maximum > 0 ? 1 : 0)) << "maximum " << c.maximum;
        const std::string tail = "100% finished\n";
        ASSERT_GE(text.size(), tail.size());
        EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
    }
}

TEST(TerminalProgress, ClearedLineIsDrawnAgainAtTheNextValue)
{
    std::FILE* stream = std::tmpfile();
    ASSERT_NE(stream, nullptr);
    {
        TTerminalProgress bar(stream, "x");
        bar.SetText("");
        bar.Show();
        bar.SetMaximum(100);
        bar.SetValue(40);
        bar.ClearLine();
        bar.ClearLine(); // nothing drawn since: nothing to wipe
        bar.SetValue(40);
    }
    const std::string at40 = "\rx [" + std::string(12, '#') + std::string(18, ' ') + "]  40% ";
    EXPECT_EQ(Printed(stream), at40 + "\r\x1B[K" + at40);
    std::fclose(stream);
}

TEST(TerminalProgress, HiddenBarPrintsNothingUntilShown)
{
    std::FILE* stream = std::tmpfile();
    ASSERT_NE(stream, nullptr);
    {
        TTerminalProgress bar(stream, "x");
        bar.SetMaximum(10);
        bar.SetValue(5);
    }
    EXPECT_EQ(Printed(stream), "");
    std::fclose(stream);
}

// The line stays narrower than the terminal: one as wide moves the cursor to
// the next line, and every redraw would add a line.
TEST(TerminalProgress, LineKeepsNarrowerThanTheTerminal)
{
    const std::string bar42 = "[" + std::string(12, '#') + std::string(18, ' ') + "]";
    struct Case {
        std::string label;
        std::string text;
        int columns;
        std::string line;
    };
    const std::vector<Case> cases = {
        {"in.pe", "", 0, "in.pe " + bar42 + "  42% "},     // width unknown: as it is
        {"in.pe", "", 80, "in.pe " + bar42 + "  42% "},    // room enough
        {"in.pe", "", 45, "in.pe " + bar42 + "  42% "},    // 44 characters in 45 columns
        {"in.pe", "", 44, "\u2026.pe " + bar42 + "  42% "},  // the name loses its start
        {"C:\\data\\Gr\xC3\xBC\xC3\x9F""e-2026.pe", "", 52,
         "\u2026\xC3\xBC\xC3\x9F""e-2026.pe " + bar42 + "  42% "}, // "ü" and "ß" are one column each
        {"in.pe", "", 30, "[" + std::string(8, '#') + std::string(13, ' ') + "]  42% "}, // no room for the name
        {"in.pe", "", 12, "[####      "}, // the narrowest bar, cut at the end
        {"in.pe", "finished", 40, "[" + std::string(9, '#') + std::string(14, ' ') + "]  42% finished"},
    };
    for (const Case& c : cases) {
        const std::string line = TTerminalProgress::Line(c.label, 42, c.text, c.columns);
        EXPECT_EQ(line, c.line) << c.columns << " columns";
        if (c.columns > 0) {
            int width = 0;
            for (const char b : line)
                width += (static_cast<unsigned char>(b) & 0xC0) != 0x80;
            EXPECT_LT(width, c.columns) << line;
        }
    }
}

TEST(TerminalProgress, DrawsWithinTheColumnsItWasGiven)
{
    std::FILE* stream = std::tmpfile();
    ASSERT_NE(stream, nullptr);
    {
        TTerminalProgress bar(stream, "a-rather-long-name.pe", 45);
        bar.SetText("");
        bar.Show();
        bar.SetPercent(100);
    }
    EXPECT_EQ(Printed(stream), "\r\u2026e.pe [" + std::string(30, '#') + "] 100% ");
    std::fclose(stream);
}

} // namespace
} // namespace morvane
