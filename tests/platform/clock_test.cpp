#include "platform/clock.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

class ClockTest : public ::testing::Test {
  protected:
    void TearDown() override { platform::set_time_scale(1.0); }
};

double real_ms_of(void (*work)()) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

TEST_F(ClockTest, ScaleShortensSleepsAndSpeedsTheTickCount) {
    platform::set_time_scale(50.0);
    const std::uint32_t before = platform::tick_count();
    const double real = real_ms_of([] { platform::sleep_ms(1000); });
    const std::uint32_t elapsed = platform::tick_count() - before;
    EXPECT_GE(real, 15.0);
    EXPECT_LT(real, 500.0);
    EXPECT_GE(elapsed, 1000u);
    EXPECT_LT(elapsed, 10000u);
}

TEST_F(ClockTest, ChangingTheScaleNeverMovesTheTickCountBack) {
    platform::set_time_scale(100.0);
    platform::sleep_ms(500);
    const std::uint32_t fast = platform::tick_count();
    platform::set_time_scale(1.0);
    // A count that moved back would show as a difference near 2^32.
    EXPECT_LT(platform::tick_count() - fast, 100u);
}

TEST_F(ClockTest, TickCountWrapsAndDifferencesStayRight) {
    platform::set_time_scale(20.0);
    platform::set_tick_count(0xFFFFFFFFu - 100u);
    const std::uint32_t start = platform::tick_count();
    platform::sleep_ms(400);
    const std::uint32_t now = platform::tick_count();
    EXPECT_LT(now, start) << "the count should have wrapped";
    EXPECT_GE(static_cast<std::uint32_t>(now - start), 400u);
}

TEST_F(ClockTest, InvalidScaleFallsBackToRealTime) {
    platform::set_time_scale(0.0);
    EXPECT_EQ(platform::time_scale(), 1.0);
    platform::set_time_scale(-3.0);
    EXPECT_EQ(platform::time_scale(), 1.0);
}

}  // namespace
