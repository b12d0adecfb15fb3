// A test program whose one test skips, for the test of the common main's rule on skips.
#include <gtest/gtest.h>

TEST(SkipProbe, Skips) {
    GTEST_SKIP() << "nothing to test here";
}
