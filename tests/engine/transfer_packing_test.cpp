#include "engine/transfer_packing.h"

#include <gtest/gtest.h>

#include "engine_state.h"

namespace {

using engine_test::Job;

std::uint8_t column_byte(std::uint32_t column, std::uint32_t slot, std::uint32_t j) {
    return g_transfer_buffer[std::size_t{column} * 360 + 315 - 45 * slot + j];
}

void set_pass_pixel(int plane, std::uint32_t row, std::uint32_t x, std::uint8_t v) {
    std::uint8_t& b = g_pass_planes[plane][row][x / 4];
    b = static_cast<std::uint8_t>((b & ~(3u << (6 - 2 * (x % 4)))) | v << (6 - 2 * (x % 4)));
}

TEST(PassExpansion, NozzleRowsLandInTheirRowsAndBits) {
    // A flatbed Braille job prints 180 head rows, yet nozzle row 179 is never expanded.
    engine_test::start_job({.row_bytes = 250, .edge_kind = EDGE_BRAILLE});
    ASSERT_EQ(g_head_rows, 180u);
    set_pass_pixel(0, 0, 0, 3);
    set_pass_pixel(0, 5, 0, 2);
    set_pass_pixel(2, 178, 999, 1);
    set_pass_pixel(2, 179, 998, 3);
    clear_staging_planes();
    expand_pass_buffers();
    EXPECT_EQ(g_nozzle_planes[0][44][0], 0xC0);
    EXPECT_EQ(g_nozzle_planes[0][43][0], 0x20);
    EXPECT_EQ(g_nozzle_planes[2][0][999], 0x04);
    EXPECT_EQ(g_nozzle_planes[2][0][998], 0x00);
    // On the rotary attachment only rows 0 .. H-1 are expanded (H 89 here).
    engine_test::start_job({.row_bytes = 250, .rotary = 1});
    ASSERT_EQ(g_head_rows, 89u);
    set_pass_pixel(1, 88, 7, 3);
    set_pass_pixel(1, 89, 8, 3);
    clear_staging_planes();
    expand_pass_buffers();
    EXPECT_EQ(g_nozzle_planes[1][22][7], 0xC0);
    EXPECT_EQ(g_nozzle_planes[1][22][8], 0x00);
}

TEST(PassExpansion, OneBitRowsDecodeAsTwoBitWithTheRestBlank) {
    engine_test::start_job({.row_bytes = 100});
    g_line_pixels = 800;  // a 1-bit file's count
    g_column_count = 1704;
    std::memset(g_pass_planes, 0xFF, sizeof g_pass_planes);
    clear_staging_planes();
    expand_pass_buffers();
    EXPECT_EQ(g_nozzle_planes[0][44][399], 0xFF);
    EXPECT_EQ(g_nozzle_planes[0][44][400], 0x00);
    EXPECT_EQ(g_nozzle_planes[7][10][799], 0x00);
}

TEST(TransferPacking, ColumnPlacementForwardAndBackward) {
    // A 1000-pixel line: 1904 columns.
    engine_test::start_job({.row_bytes = 250, .direction = 1});
    ASSERT_EQ(g_column_count, 1904u);
    for (int p = 0; p < 8; ++p) {
        g_nozzle_planes[p][0][0] = static_cast<std::uint8_t>(0x10 + p);
        g_nozzle_planes[p][44][999] = static_cast<std::uint8_t>(0x20 + p);
    }
    pack_transfer_buffer_8ch();
    EXPECT_EQ(column_byte(904, 7, 0), 0x17);
    EXPECT_EQ(column_byte(999, 0, 44), 0x20);
    EXPECT_EQ(column_byte(0 + 280, 2, 0), 0x12);
    g_pass_toggle = 1;
    pack_transfer_buffer_8ch();
    EXPECT_EQ(column_byte(1903, 0, 0), 0x10);
    EXPECT_EQ(column_byte(0, 7, 44), 0x27);
    EXPECT_EQ(column_byte(904, 7, 0), 0x00);
    // A direction or toggle other than 0 or 1 sends the pass blank.
    g_pass_toggle = 2;
    pack_transfer_buffer_8ch();
    EXPECT_EQ(column_byte(1903, 0, 0), 0x00);
    EXPECT_EQ(column_byte(904, 7, 0), 0x00);
}

TEST(TransferPacking, ChannelOrderAndEmbossPasses) {
    engine_test::start_job({.row_bytes = 250});
    for (int p = 0; p < 8; ++p) {
        std::memset(g_nozzle_planes[p][5], 0x40 + p, 1000);
    }
    pack_transfer_buffer_8ch();
    for (std::uint32_t k = 0; k < 8; ++k) {
        EXPECT_EQ(column_byte(kHeadSlotColumnOffset[k] + 500, k, 5), 0x40 + k);
    }
    // "NULL" everywhere: the pass is all zeros.
    for (int& s : g_ink_order)
        s = 8;
    pack_transfer_buffer_8ch();
    for (std::size_t i = 0; i < std::size_t{g_column_count} * 360; ++i) {
        ASSERT_EQ(g_transfer_buffer[i], 0);
    }
    // "White 1" in slot 3, "Black" in slot 4, a value outside 0..8 in slot 5: the emboss
    // pass carries only slot 3.
    const int order[8] = {8, 8, 8, 4, 0, 12, 8, 8};
    std::copy(order, order + 8, g_ink_order);
    pack_transfer_buffer_4ch();
    EXPECT_EQ(column_byte(344 + 10, 3, 5), 0x44);
    EXPECT_EQ(column_byte(560 + 10, 4, 5), 0x00);
    EXPECT_EQ(column_byte(624 + 10, 5, 5), 0x00);
    pack_transfer_buffer_8ch();
    EXPECT_EQ(column_byte(560 + 10, 4, 5), 0x40);
    EXPECT_EQ(column_byte(624 + 10, 5, 5), 0x00);
}

}  // namespace
