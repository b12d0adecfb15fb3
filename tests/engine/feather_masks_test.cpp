#include "engine/feather_masks.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "engine/pass_masks.h"
#include "engine_state.h"

namespace {

std::vector<int> kept_columns(const FeatherMaskTable& t, std::uint32_t index) {
    std::vector<int> kept;
    for (int x = 0; x < 200; ++x) {
        const unsigned field = (t.rows[index][x / 4] >> (6 - 2 * (x % 4))) & 3u;
        EXPECT_TRUE(field == 0 || field == 3);
        if (field == 3)
            kept.push_back(x);
    }
    return kept;
}

// The longest run of columns (around the circle) without a member of the set.
int longest_gap(const std::vector<int>& columns) {
    int gap = 0;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const int next = i + 1 < columns.size() ? columns[i + 1] : columns[0] + 200;
        gap = std::max(gap, next - columns[i] - 1);
    }
    return gap;
}

TEST(FeatherMaskTables, ShapesDensityAndScatter) {
    struct Shape {
        bool single;
        std::uint32_t passes;
        std::uint8_t edge;
        std::uint32_t n, blocks;
    };
    const Shape shapes[] = {
        {true, 4, 0, 36, 5},    {true, 4, 1, 60, 5},    {true, 4, 2, 76, 5},
        {true, 8, 0, 20, 9},    {true, 8, 1, 49, 9},    {true, 8, 2, 87, 8},
        {true, 16, 0, 20, 17},  {true, 16, 1, 36, 17},  {true, 16, 2, 49, 17},
        {false, 4, 0, 18, 5},   {false, 4, 1, 30, 5},   {false, 4, 2, 45, 5},
        {false, 8, 0, 10, 9},   {false, 8, 1, 18, 9},   {false, 8, 2, 29, 9},
        {false, 16, 0, 10, 17}, {false, 16, 1, 18, 17}, {false, 16, 2, 29, 17},
    };
    for (const Shape& s : shapes) {
        const FeatherMaskTable* t = feather_mask_table(s.single, s.passes, s.edge);
        ASSERT_NE(t, nullptr);
        ASSERT_EQ(t->rows_per_block, s.n);
        ASSERT_EQ(t->blocks, s.blocks);
        std::set<std::vector<int>> seen;
        for (std::uint32_t k = 0; k < t->row_count(); ++k) {
            const std::uint32_t r = k % s.n;
            const std::vector<int> kept = kept_columns(*t, k);
            ASSERT_EQ(kept.size(), 200u * (r + 1) / (s.n + 1)) << s.passes << " row " << k;
            // No two rows alike, and no clusters: the smaller of the kept and cleared sets
            // leaves no gap over three times its mean spacing (the fixed rows aside).
            EXPECT_TRUE(seen.insert(kept).second || kept.empty()) << k;
            const bool fixed = s.single && s.passes == 4 && s.edge == 0 && k <= s.n && r <= 1;
            std::vector<int> sparse = kept;
            if (kept.size() > 100) {
                sparse.clear();
                for (int x = 0, i = 0; x < 200; ++x) {
                    if (i < static_cast<int>(kept.size()) && kept[i] == x) {
                        ++i;
                    } else {
                        sparse.push_back(x);
                    }
                }
            }
            if (!fixed && sparse.size() >= 2) {
                EXPECT_LE(longest_gap(sparse), 3 * 200 / static_cast<int>(sparse.size()))
                    << s.passes << " row " << k;
            }
        }
    }
    EXPECT_EQ(feather_mask_table(true, 10, 0), nullptr);
    EXPECT_EQ(feather_mask_table(true, 4, EDGE_BRAILLE), nullptr);
    EXPECT_EQ(feather_mask_table(false, 16, EDGE_BRAILLE), nullptr);
    EXPECT_EQ(feather_mask_table(true, 16, EDGE_BRAILLE), feather_mask_table(true, 16, 0));
}

TEST(FeatherMaskTables, SampleRows) {
    const FeatherMaskTable* t = feather_mask_table(true, 4, EDGE_SHARP);
    EXPECT_EQ(kept_columns(*t, 0), (std::vector<int>{41, 67, 100, 134, 169}));
    EXPECT_EQ(kept_columns(*t, 36), (std::vector<int>{42, 43, 50, 64, 193}));
    EXPECT_EQ(kept_columns(*t, 1),
              (std::vector<int>{27, 64, 78, 81, 105, 124, 145, 158, 161, 162}));
    EXPECT_EQ(kept_columns(*t, 35).size(), 194u);
}

class PassMasks : public ::testing::Test {
  protected:
    // Every pass-plane row full of large dots.
    static void fill_planes() { std::memset(g_pass_planes, 0xFF, sizeof g_pass_planes); }
    static std::uint8_t byte(int plane, std::uint32_t row, std::uint32_t c) {
        return g_pass_planes[plane][row][c];
    }
};

// A line under the bottom overlap rows of one pass comes under the top rows P passes later
// with the same phase: between the two, each of its dots prints exactly once.
TEST_F(PassMasks, SingleLayerOverlapPrintsEveryDotOnce) {
    for (std::uint32_t passes : {4u, 8u, 16u}) {
        for (std::uint8_t edge : {EDGE_SHARP, EDGE_SMOOTH, EDGE_GAUSSIAN}) {
            engine_test::start_job({.row_bytes = 120, .pass_count = passes, .edge_kind = edge});
            g_pass_counter = 1000;
            std::vector<std::vector<std::uint8_t>> bottom;
            for (std::uint32_t pass = 0; pass <= passes; ++pass) {
                advance_pass();
                fill_planes();
                apply_pass_masks();
                const std::uint32_t h = g_head_rows, o = g_overlap_rows;
                for (std::uint32_t r = 0; r < o; ++r) {
                    for (std::uint32_t c = 0; c < 120; ++c) {
                        if (pass == 0) {
                            bottom.push_back({byte(1, h - o + r, c)});
                        } else if (pass == passes) {
                            const std::uint8_t first = bottom[r * 120 + c][0];
                            const std::uint8_t second = byte(1, r, c);
                            ASSERT_EQ(first & second, 0) << passes << " " << int{edge};
                            ASSERT_EQ(first | second, 0xFF) << passes << " " << int{edge};
                        }
                    }
                }
            }
        }
    }
}

TEST_F(PassMasks, PhasesOfTheFirstPassesAndTheVarnishPlanes) {
    // Ink mode 4 "2Vanish", 4 passes: planes 7 and 8 stay whole.
    engine_test::start_job({.row_bytes = 50, .pass_count = 4, .ink_mode = 4});
    const FeatherMaskTable* t = feather_mask_table(true, 4, EDGE_SHARP);
    g_pass_counter = 2;
    advance_pass();
    EXPECT_EQ(g_mask_phase, 2u);
    EXPECT_EQ(g_pass_counter, 3u);
    fill_planes();
    apply_pass_masks();
    // Top phase 0 while the counter is below P, bottom phase 2.
    EXPECT_EQ(byte(0, 0, 10), t->rows[0][10]);
    EXPECT_EQ(byte(5, 1, 33), t->rows[1][33]);
    EXPECT_EQ(byte(5, 143 + 3, 7), static_cast<std::uint8_t>(~t->rows[2 * 36 + 3][7]));
    EXPECT_EQ(byte(6, 0, 10), 0xFF);
    EXPECT_EQ(byte(7, 178, 10), 0xFF);
    // From the P-th pass on, top and bottom share the phase.
    g_pass_counter = 5;
    advance_pass();
    fill_planes();
    apply_pass_masks();
    EXPECT_EQ(byte(0, 0, 12), t->rows[1 * 36][12]);
    // 8 passes Gaussian: planes 7 and 8 are masked whatever the ink mode.
    engine_test::start_job(
        {.row_bytes = 50, .pass_count = 8, .ink_mode = 4, .edge_kind = EDGE_GAUSSIAN});
    advance_pass();
    fill_planes();
    apply_pass_masks();
    EXPECT_NE(byte(6, 0, 10), 0xFF);
}

TEST_F(PassMasks, TenPassesBrailleAndNoOverlapLeaveThePassWhole) {
    const engine_test::Job jobs[] = {{.pass_count = 10},
                                     {.pass_count = 4, .edge_kind = EDGE_BRAILLE},
                                     {.pass_count = 16, .edge_kind = EDGE_BRAILLE}};
    for (const engine_test::Job& job : jobs) {
        engine_test::start_job(job);
        g_mask_phase = 77;
        advance_pass();
        fill_planes();
        apply_pass_masks();
        for (int plane = 0; plane < 8; ++plane) {
            for (int row = 0; row < 180; ++row) {
                ASSERT_EQ(byte(plane, row, 99), 0xFF);
            }
        }
        if (g_overlap_rows == 0) {
            EXPECT_EQ(g_mask_phase, 77u);  // no overlap: the phase stays
        }
    }
}

TEST_F(PassMasks, TwoLayerMasksEachLayer) {
    // Two-layer 8-pass rotary: O 15 exceeds the Sharp table's 10 rows, which read into the
    // next block.
    engine_test::start_job({.row_bytes = 50, .pass_count = 8, .ink_mode = 5, .rotary = 1});
    ASSERT_EQ(g_overlap_rows, 15u);
    const FeatherMaskTable* t = feather_mask_table(false, 8, EDGE_SHARP);
    g_pass_counter = 11;
    advance_pass();
    fill_planes();
    apply_pass_masks();
    const std::uint32_t l = g_layer_split_row, h = g_head_rows, o = 15;
    EXPECT_EQ(byte(7, 12, 3), t->rows[3 * 10 + 12][3]);
    EXPECT_EQ(byte(7, l + 12, 3), t->rows[3 * 10 + 12][3]);
    EXPECT_EQ(byte(0, l - o + 2, 4), static_cast<std::uint8_t>(~t->rows[3 * 10 + 2][4]));
    EXPECT_EQ(byte(0, h - o + 2, 4), static_cast<std::uint8_t>(~t->rows[3 * 10 + 2][4]));
    EXPECT_EQ(byte(0, o, 4), 0xFF);
}

}  // namespace
