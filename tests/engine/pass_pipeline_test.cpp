// The engine's pass data against the literal per-pixel loops, byte for byte, on random
// planes: every ink mode, both directions, several steppings and channel orders.
#include <gtest/gtest.h>

#include <vector>

#include "engine/vector_level.h"
#include "engine_reference.h"
#include "engine_state.h"

namespace {

struct Variant {
    std::uint32_t passes;
    std::uint8_t edge, rotary;
};

const Variant kVariants[] = {{4, EDGE_SHARP, 0}, {8, EDGE_GAUSSIAN, 0}, {16, EDGE_SMOOTH, 1},
                             {8, EDGE_SHARP, 1}, {10, EDGE_SMOOTH, 0},  {16, EDGE_BRAILLE, 0}};

const int kOrders[][8] = {
    {0, 1, 2, 3, 4, 5, 6, 7}, {7, 6, 5, 4, 3, 2, 1, 0}, {4, 8, 0, 6, 9, 1, 5, -1}};

std::vector<std::uint8_t> band() {
    return {g_transfer_buffer, g_transfer_buffer + std::size_t{g_column_count} * 360};
}

class PassPipeline : public ::testing::TestWithParam<int> {};

TEST_P(PassPipeline, MatchesTheLiteralLoopsByteForByte) {
    const auto ink_mode = static_cast<std::uint8_t>(GetParam());
    int run = 0;
    for (const Variant& v : kVariants) {
        for (std::uint8_t direction = 0; direction < 2; ++direction) {
            // 333 bytes: no multiple of 16, so every tail path runs.
            engine_test::start_job({.row_bytes = 333,
                                    .pass_count = v.passes,
                                    .ink_mode = ink_mode,
                                    .edge_kind = v.edge,
                                    .rotary = v.rotary,
                                    .direction = direction});
            if (g_stepping_valid == 0)
                continue;
            const int(&order)[8] = kOrders[run % 3];
            std::copy(order, order + 8, g_ink_order);
            g_pass_toggle = direction;
            engine_test::fill_window(1000 + run, g_window_start_row + g_step_rows);
            for (int pass = 0; pass < 3; ++pass)
                advance_pass();
            ++run;

            test_support::literal_copy_lines_for_mode();
            test_support::literal_apply_pass_masks();
            test_support::literal_clear_staging_planes();
            test_support::literal_expand_pass_buffers();
            test_support::literal_pack_transfer_buffer_4ch();
            const std::vector<std::uint8_t> literal4 = band();
            test_support::literal_pack_transfer_buffer_8ch();
            const std::vector<std::uint8_t> literal8 = band();

            // Every vector width the processor offers, down to plain words.
            for (VectorLevel level : {VectorLevel::Avx2, VectorLevel::Sse2, VectorLevel::Scalar}) {
                set_vector_level(level);
                copy_lines_for_mode();
                apply_pass_masks();
                clear_staging_planes();
                expand_pass_buffers();
                pack_transfer_buffer_4ch();
                ASSERT_TRUE(literal4 == band())
                    << "4ch, level " << int(level) << " passes " << v.passes;
                pack_transfer_buffer_8ch();
                ASSERT_TRUE(literal8 == band())
                    << "8ch, level " << int(level) << " passes " << v.passes << " edge "
                    << int{v.edge} << " rotary " << int{v.rotary} << " dir " << int{direction};
            }
            set_vector_level(VectorLevel::Avx2);
        }
    }
    EXPECT_GT(run, 0);
}

INSTANTIATE_TEST_SUITE_P(EveryInkMode, PassPipeline, ::testing::Range(1, 17));

}  // namespace
