#include "engine/stepping.h"

#include <gtest/gtest.h>

#include <cstring>

#include "engine/feather_masks.h"
#include "engine/prn_reader.h"

namespace {

struct SteppingCase {
    std::uint32_t passes;
    std::uint8_t ink_mode, rotary, edge;
    std::uint32_t s, w, h, o, l, delay;
};

class SteppingRows : public ::testing::TestWithParam<SteppingCase> {};

TEST_P(SteppingRows, ApplyTheRowOfTheGroup) {
    const SteppingCase& c = GetParam();
    g_layer_split_row = 12345;
    g_bidir_pass_delay_ms = 999;
    g_pass_count = c.passes;
    g_ink_mode = c.ink_mode;
    g_rotary_mode = c.rotary;
    g_edge_kind = c.edge;
    select_stepping();
    EXPECT_EQ(g_stepping_valid, 1);
    EXPECT_EQ(g_step_rows, c.s);
    EXPECT_EQ(g_window_start_row, c.w);
    EXPECT_EQ(g_head_rows, c.h);
    EXPECT_EQ(g_overlap_rows, c.o);
    EXPECT_EQ(g_layer_split_row, c.l);  // single-layer rows leave L as it was
    EXPECT_EQ(g_bidir_pass_delay_ms, c.delay);
    EXPECT_EQ(g_not_2vanish, c.ink_mode == 4 ? 0 : 1);
    EXPECT_LE(g_window_start_row + g_step_rows, 2867u);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SteppingRows,
    ::testing::Values(SteppingCase{8, 4, 0, EDGE_GAUSSIAN, 87, 1305, 174, 87, 12345, 110},
                      SteppingCase{4, 13, 0, EDGE_SHARP, 71, 639, 178, 17, 88, 230},
                      SteppingCase{8, 5, 1, EDGE_SHARP, 29, 667, 89, 15, 44, 70},
                      SteppingCase{8, 5, 1, EDGE_SMOOTH, 29, 667, 89, 15, 44, 70},
                      SteppingCase{8, 5, 1, EDGE_GAUSSIAN, 29, 667, 89, 15, 44, 70},
                      SteppingCase{16, 1, 1, EDGE_BRAILLE, 87, 1305, 87, 0, 12345, 0},
                      SteppingCase{4, 14, 1, EDGE_SMOOTH, 31, 649, 86, 11, 42, 180},
                      SteppingCase{16, 99, 0, EDGE_GAUSSIAN, 61, 2806, 180, 28, 89, 0},
                      SteppingCase{10, 15, 0, EDGE_SHARP, 149, 1639, 179, 30, 12345, 999},
                      SteppingCase{10, 6, 1, EDGE_SMOOTH, 75, 1725, 180, 14, 90, 999}));

TEST(Stepping, TenPassesKeepThePreviousDelay) {
    g_rotary_mode = 0;
    g_edge_kind = EDGE_SHARP;
    g_ink_mode = 1;
    g_pass_count = 8;
    select_stepping();
    EXPECT_EQ(g_bidir_pass_delay_ms, 265u);
    g_pass_count = 10;
    select_stepping();
    EXPECT_EQ(g_step_rows, 149u);
    EXPECT_EQ(g_bidir_pass_delay_ms, 265u);
}

struct NoRowCase {
    std::uint32_t passes;
    std::uint8_t ink_mode, edge;
};

class SteppingWithoutRow : public ::testing::TestWithParam<NoRowCase> {};

// Pairs without a row keep every value and report that no valid stepping applies.
TEST_P(SteppingWithoutRow, KeepsTheValuesAndReportsNoValidStepping) {
    g_rotary_mode = 0;
    g_edge_kind = EDGE_SHARP;
    g_ink_mode = 1;
    g_pass_count = 4;
    select_stepping();
    ASSERT_EQ(g_stepping_valid, 1);
    g_pass_count = GetParam().passes;
    g_ink_mode = GetParam().ink_mode;
    g_edge_kind = GetParam().edge;
    select_stepping();
    EXPECT_EQ(g_stepping_valid, 0);
    EXPECT_EQ(g_step_rows, 143u);
    EXPECT_EQ(g_window_start_row, 572u);
    EXPECT_EQ(g_head_rows, 179u);
    EXPECT_EQ(g_overlap_rows, 36u);
}

INSTANTIATE_TEST_SUITE_P(Pairs, SteppingWithoutRow,
                         ::testing::Values(NoRowCase{0, 1, EDGE_SHARP},     // no pass count yet
                                           NoRowCase{6, 1, EDGE_SHARP},     // unknown pass count
                                           NoRowCase{4, 5, EDGE_BRAILLE},   // Braille two-layer
                                           NoRowCase{10, 1, EDGE_BRAILLE},  // Braille 10 passes
                                           NoRowCase{4, 1, 7}));            // unknown edge kind

// The overlap of a row is its head rows less a constant of the row: the lines fed per pass for
// single-layer rows, a fixed count for the flatbed and 10-pass two-layer rows; Braille rows do
// not overlap. The feathering tables have one row per overlap row of the flatbed stepping
// (single-layer) or one more (two-layer). These relations catch a mistyped number in any row.
TEST(Stepping, EveryRowAgreesWithItsOverlapRuleAndItsMaskTable) {
    const std::uint32_t passes[] = {4, 8, 10, 16};
    // Two-layer head rows less overlap, by pass count and edge kind.
    const std::uint32_t two_layer_n[4][3] = {
        {161, 149, 136}, {169, 161, 149}, {171, 166, 159}, {169, 161, 152}};
    for (int p = 0; p < 4; ++p) {
        for (bool single : {true, false}) {
            for (bool rotary : {false, true}) {
                for (std::uint8_t edge = EDGE_SHARP; edge <= EDGE_BRAILLE; ++edge) {
                    const SteppingRow* row = find_stepping_row(passes[p], single, rotary, edge);
                    const bool braille = edge == EDGE_BRAILLE;
                    SCOPED_TRACE(testing::Message()
                                 << passes[p] << " passes, single " << single << ", rotary "
                                 << rotary << ", edge " << int{edge});
                    if (braille && (!single || passes[p] == 10)) {
                        EXPECT_EQ(row, nullptr);
                        continue;
                    }
                    ASSERT_NE(row, nullptr);
                    EXPECT_LE(row->window_start_row + row->step_rows, 2867u);
                    EXPECT_LE(row->head_rows, 180u);
                    if (braille) {
                        EXPECT_EQ(row->overlap_rows, 0u);
                    } else if (single) {
                        EXPECT_EQ(row->overlap_rows, row->head_rows - row->step_rows);
                    } else if (!rotary || passes[p] == 10) {
                        EXPECT_EQ(row->overlap_rows, row->head_rows - two_layer_n[p][edge]);
                    }
                    if (!single) {
                        EXPECT_LT(row->layer_split_row + 1, row->head_rows);
                    }
                    if (passes[p] == 10) {
                        const SteppingRow* other = find_stepping_row(10, single, !rotary, edge);
                        ASSERT_NE(other, nullptr);
                        EXPECT_EQ(std::memcmp(row, other, sizeof *row), 0);  // one row serves both
                        EXPECT_LT(row->delay_ms, 0);                         // names no delay
                    } else {
                        EXPECT_GE(row->delay_ms, 0);
                    }
                    if (!rotary && !braille && passes[p] != 10) {
                        const FeatherMaskTable* t = feather_mask_table(single, passes[p], edge);
                        ASSERT_NE(t, nullptr);
                        EXPECT_EQ(t->rows_per_block, row->overlap_rows + (single ? 0 : 1));
                    }
                }
            }
        }
    }
    // The one two-layer rotary row whose window start stands apart from its neighbours.
    EXPECT_EQ(find_stepping_row(4, false, true, EDGE_SMOOTH)->window_start_row, 649u);
}

TEST(Stepping, LayerGroups) {
    for (int mode = 0; mode < 256; ++mode) {
        const bool single = mode == 1 || mode == 2 || mode == 3 || mode == 4 || mode == 15;
        EXPECT_EQ(is_single_layer_ink_mode(static_cast<std::uint8_t>(mode)), single) << mode;
    }
}

}  // namespace
