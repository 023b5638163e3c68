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
        {"C:\\data\\run1.pe", "run1 (XLS).csv"},
        {"C:\\data\\run.1.pe", "run.1 (XLS).csv"},
        {"C:\\data.old\\run1", "run1 (XLS).csv"},
        {"/home/ana/data/run1.pe", "run1 (XLS).csv"},
        {"/home/ana/data.old/run1", "run1 (XLS).csv"},
        {"run1.pe", "run1 (XLS).csv"},
        {"run1", "run1 (XLS).csv"},
        {"C:run1.txt", "run1 (XLS).csv"},
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
