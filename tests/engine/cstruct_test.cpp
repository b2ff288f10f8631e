#include <gtest/gtest.h>

#include "cstruct.h"

namespace {

// Memos are cut to 20 characters by the stated rule and never repeat.
TEST(CStructMemo, LongPathsAreCutAndRepeatsNumbered) {
    std::unordered_set<std::string> taken;
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"header_block", "time", "seconds"}, "time.seconds"},
        {{"a_much_longer_name[12]"}, "a_much_longer_na[12]"},
        {{"outer", "a_much_longer_name[12][3]"}, "a_much_longer[12][3]"},
        {{"x", "union_of_many:alpha|beta|gamma"}, "union_of_many:alpha|"},
        {{"x", "union_of_many:alpha|beta|delta"}, "union_of_many:alph~2"},
        {{"s", "time", "seconds"}, "s.time.seconds"},
        {{"t", "time", "seconds"}, "t.time.seconds"},
        {{"header_block2", "time", "seconds"}, "time.seconds~2"},
        {{"header_block3", "time", "seconds"}, "time.seconds~3"},
    };
    for (const auto& [path, memo] : cases)
        EXPECT_EQ(vm::memoFromPath(path, taken), memo);
}

} // namespace
