#include "text/text.h"

#include <gtest/gtest.h>

namespace quorvane {
namespace {

TEST(FindText, MatchesOnlyAtCharacterStarts) {
    // "\xB0\xA1" is one two-byte character; "\xA1" inside it is not a match.
    EXPECT_EQ(FindText("\xB0\xA1\xA1", "\xA1"), 3);
    EXPECT_EQ(FindText("abc", ""), 1);
    EXPECT_EQ(FindText("", ""), -1);
}

}  // namespace
}  // namespace quorvane
