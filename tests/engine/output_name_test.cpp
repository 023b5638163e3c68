#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "OutputName.h"

namespace morvane {
namespace {

TEST(ProposedOutputName, ReplacesExtensionAndDropsFolder)
{
    struct Case {
        std::string input;
        std::string expected;
    };
    const std::vector<Case> cases = {
#if defined(_WIN32)
        {"C:\\data\\run1.pe", "run1 (XLS).csv"},
        {"C:\\data\\run.1.pe", "run.1 (XLS).csv"},
        {"C:\\data.old\\run1", "run1 (XLS).csv"},
        {"C:run1.txt", "run1 (XLS).csv"},
#else
        // Ordinary name characters here: two inputs that differ only in
        // front of them must not share one output.
        {"x:1.pe", "x:1 (XLS).csv"},
        {"/data/a\\b.pe", "a\\b (XLS).csv"},
        {"/data/C:\\data.old\\run1", "C:\\data (XLS).csv"},
#endif
        {"/home/ana/data/run1.pe", "run1 (XLS).csv"},
        {"/home/ana/data.old/run1", "run1 (XLS).csv"},
        {"run1.pe", "run1 (XLS).csv"},
        {"run1", "run1 (XLS).csv"},
        {"/tmp/.hidden", " (XLS).csv"},
        {"/tmp/trailing.", "trailing (XLS).csv"},
        {"", " (XLS).csv"},
        {"/tmp/dir/", " (XLS).csv"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ProposedOutputName(c.input), c.expected) << c.input;
}

} // namespace
} // namespace morvane
