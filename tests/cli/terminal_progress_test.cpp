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

} // namespace
} // namespace morvane
