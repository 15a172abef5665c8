#include <gtest/gtest.h>

#include "tests/support/text_metrics.h"

namespace {

using namespace vantrel::testsupport;

TEST(TextMetrics, EditDistanceCountsSingleByteEdits) {
    EXPECT_EQ(editDistance("", ""), 0u);
    EXPECT_EQ(editDistance("abc", ""), 3u);
    EXPECT_EQ(editDistance("kitten", "sitting"), 3u);
    EXPECT_EQ(editDistance("flaw", "lawn"), 2u);
}

TEST(TextMetrics, TextAroundTheMessageCostsNothing) {
    EXPECT_EQ(bestMatchDistance("hello", "     \r\nN0CALL: hello     "), 0u);
    EXPECT_EQ(bestMatchDistance("hello", "xx: hallo  "), 1u);
    EXPECT_EQ(bestMatchDistance("hello", ""), 5u);
    EXPECT_DOUBLE_EQ(characterErrorRate("hello world", "N0CALL: hello w0rld  "), 1.0 / 11);
    EXPECT_DOUBLE_EQ(characterErrorRate("hello", "nothing like it"), characterErrorRate("hello", "nothing like it"));
    EXPECT_LE(characterErrorRate("hello", "zzzzzzzz"), 1.0);
}

}  // namespace
