#include "engine/channel_arrangement.h"

#include <gtest/gtest.h>

#include "engine_state.h"

namespace {

using engine_test::Job;

class ChannelArrangement : public ::testing::Test {
  protected:
    void arrange(Job job) {
        engine_test::start_job(job);
        engine_test::fill_window(42, g_window_start_row + g_step_rows);
        copy_lines_for_mode();
    }
    static bool blank(int plane, int row) {
        for (std::uint32_t c = 0; c < g_row_bytes; ++c) {
            if (g_pass_planes[plane][row][c])
                return false;
        }
        return true;
    }
    static bool same(int plane, int row, int input, int window_row) {
        return std::memcmp(g_pass_planes[plane][row], g_input_planes[input][window_row],
                           g_row_bytes) == 0;
    }
};

TEST_F(ChannelArrangement, EvenPlanesReadRowITimesPOddPlanesHalfAPitchAbove) {
    arrange({.ink_mode = 1});
    EXPECT_TRUE(same(1, 10, 1, 40));  // "Cyan" from input Cyan
    EXPECT_TRUE(same(0, 10, 0, 38));  // "Black"
    EXPECT_TRUE(blank(0, 0));
    EXPECT_TRUE(same(1, 0, 1, 0));
    EXPECT_TRUE(same(3, 178, 3, 712));
    EXPECT_TRUE(blank(4, 10));  // no white in ink mode 1
}

TEST_F(ChannelArrangement, TwoLayerSplitRow) {
    // Two-layer 4-pass flatbed Sharp: L 88, H 178.
    arrange({.ink_mode = 7});
    ASSERT_EQ(g_layer_split_row, 88u);
    for (int plane = 0; plane < 8; ++plane) {
        EXPECT_TRUE(blank(plane, 88)) << plane;
    }
    EXPECT_TRUE(same(5, 87, 4, 348));  // white, first layer
    EXPECT_TRUE(same(1, 89, 1, 356));  // colour, second layer
    EXPECT_TRUE(blank(5, 89));
    arrange({.ink_mode = 5});
    EXPECT_TRUE(same(5, 88, 4, 352));
    EXPECT_TRUE(same(7, 88, 4, 352));
    EXPECT_TRUE(same(2, 177, 2, 706));
}

TEST_F(ChannelArrangement, ThinnedVarnishKeepsOneSmallDotInFour) {
    const std::uint8_t first_twelve[] = {0x04, 0x01, 0x40, 0x10, 0x04, 0x01,
                                         0x10, 0x01, 0x04, 0x10, 0x40, 0x01};
    for (std::uint32_t i = 0; i < 12; ++i) {
        EXPECT_EQ(thinned_varnish_mask(i), first_twelve[i]) << i;
    }
    arrange({.ink_mode = 9});
    for (std::uint32_t c = 0; c < g_row_bytes; ++c) {
        EXPECT_EQ(g_pass_planes[7][6][c], g_input_planes[5][24][c] & 0x10);
        EXPECT_EQ(g_pass_planes[6][6][c], g_input_planes[5][22][c] & 0x10);
    }
    EXPECT_TRUE(same(0, 89, 0, 354));
}

TEST_F(ChannelArrangement, ModesWithoutAndWithEveryPlane) {
    arrange({.ink_mode = 14});
    for (int plane = 0; plane < 8; ++plane) {
        for (int row = 0; row < 180; ++row) {
            ASSERT_TRUE(blank(plane, row));
        }
    }
    // "8White" takes two-layer stepping (H 178) but fills all eight planes over all rows.
    arrange({.ink_mode = 13});
    ASSERT_EQ(g_head_rows, 178u);
    for (int plane = 0; plane < 8; ++plane) {
        EXPECT_TRUE(same(plane, 177, 4, 708 - (plane % 2 == 0 ? 2 : 0))) << plane;
        EXPECT_TRUE(blank(plane, 178));
    }
    arrange({.ink_mode = 15});
    EXPECT_TRUE(same(3, 100, 3, 400));
    EXPECT_TRUE(same(5, 100, 4, 400));
    EXPECT_TRUE(blank(6, 100));
}

}  // namespace
