#include "engine_reference.h"

#include <cstdint>

#include "engine/channel_arrangement.h"
#include "engine/feather_masks.h"
#include "engine/pass_expansion.h"
#include "engine/pass_masks.h"
#include "engine/prn_reader.h"
#include "engine/stepping.h"
#include "engine/transfer_packing.h"

namespace test_support {

namespace {

std::uint32_t row_length() {
    return g_row_bytes < kPlaneRowBytes ? g_row_bytes : kPlaneRowBytes;
}

// Pass row i of pass plane `plane` (1-8) from input plane `input` (1-6), byte by byte.
void copy_row(int plane, int input, std::uint32_t i) {
    const long p = static_cast<long>(g_pass_count);
    const long row = (plane % 2 == 0) ? static_cast<long>(i) * p : static_cast<long>(i) * p - p / 2;
    for (std::uint32_t c = 0; c < row_length(); ++c) {
        g_pass_planes[plane - 1][i][c] = row < 0 ? 0 : g_input_planes[input - 1][row][c];
    }
}

void rows(std::initializer_list<int> planes, int input, long first, long last) {
    for (long i = first; i <= last; ++i) {
        if (i < 0 || i >= 180)
            continue;
        for (int plane : planes) {
            copy_row(plane, input == 0 ? plane : input, static_cast<std::uint32_t>(i));
        }
    }
}

void colour(long first, long last) {
    rows({1, 2, 3, 4}, 0, first, last);
}

}  // namespace

void literal_copy_lines_for_mode() {
    const long h = g_head_rows, l = g_layer_split_row;
    const bool second = l + 1 < h;
    switch (g_ink_mode) {
        case 1:
            colour(0, h - 1);
            break;
        case 2:
            rows({5, 6, 7, 8}, 5, 0, h - 1);
            break;
        case 3:
            rows({5, 6}, 5, 0, h - 1);
            break;
        case 4:
            rows({7, 8}, 6, 0, h - 1);
            break;
        case 5:
            rows({5, 6, 7, 8}, 5, 0, l);
            if (second)
                colour(l + 1, h - 1);
            break;
        case 6:
            colour(0, l);
            if (second)
                rows({5, 6, 7, 8}, 5, l + 1, h - 1);
            break;
        case 7:
            rows({5, 6}, 5, 0, l - 1);
            if (second)
                colour(l + 1, h - 1);
            break;
        case 8:
            colour(0, l);
            if (second)
                rows({5, 6}, 5, l + 1, h - 1);
            break;
        case 9:
            for (long i = 0; i <= l && i < 180; ++i) {
                std::uint8_t mask;
                if (i % 4 == 0)
                    mask = 0x04;
                else if (i % 3 == 0)
                    mask = 0x10;
                else if (i % 2 == 1)
                    mask = 0x01;
                else
                    mask = 0x40;
                const long p = g_pass_count;
                for (std::uint32_t c = 0; c < row_length(); ++c) {
                    g_pass_planes[7][i][c] = g_input_planes[5][i * p][c] & mask;
                    const long odd = i * p - p / 2;
                    g_pass_planes[6][i][c] = odd < 0 ? 0 : g_input_planes[5][odd][c] & mask;
                }
            }
            if (second)
                colour(l + 1, h - 1);
            break;
        case 10:
            colour(0, l);
            if (second)
                rows({7, 8}, 6, l + 1, h - 1);
            break;
        case 11:
            rows({7, 8}, 5, 0, l);
            if (second)
                rows({5, 6}, 5, l + 1, h - 1);
            break;
        case 12:
            rows({5, 6}, 5, 0, l);
            if (second)
                rows({7, 8}, 5, l + 1, h - 1);
            break;
        case 13:
            rows({1, 2, 3, 4, 5, 6, 7, 8}, 5, 0, h - 1);
            break;
        case 15:
            colour(0, h - 1);
            rows({5, 6}, 5, 0, h - 1);
            break;
        default:
            break;
    }
}

void literal_apply_pass_masks() {
    const std::uint32_t p = g_pass_count;
    const FeatherMaskTable* t =
        feather_mask_table(is_single_layer_ink_mode(g_ink_mode), p, g_edge_kind);
    if (t == nullptr || p == 0)
        return;
    const std::uint32_t n = t->rows_per_block;
    const std::uint32_t m = g_mask_phase;
    const std::uint32_t b = m % p;
    const std::uint32_t a = m <= p - 1 ? 0 : m % p;
    const long h = g_head_rows, o = g_overlap_rows, l = g_layer_split_row;
    const int mode = g_ink_mode;
    const bool single =
        mode == 1 || mode == 2 || mode == 3 || mode == 4 || mode == 13 || mode == 15;
    const bool varnish = g_not_2vanish == 1 || (single && p == 8 && g_edge_kind == EDGE_GAUSSIAN);
    auto and_row = [&](long row, std::uint32_t index, bool complement) {
        if (row < 0 || row >= 180 || index >= t->row_count())
            return;
        for (int plane = 1; plane <= 8; ++plane) {
            if (plane >= 7 && !varnish)
                continue;
            for (std::uint32_t c = 0; c < row_length(); ++c) {
                const std::uint8_t v = t->rows[index][c % 50];
                g_pass_planes[plane - 1][row][c] &= complement ? static_cast<std::uint8_t>(~v) : v;
            }
        }
    };
    for (long r = 0; r < o; ++r) {
        const std::uint32_t top = a * n + static_cast<std::uint32_t>(r);
        const std::uint32_t bottom = b * n + static_cast<std::uint32_t>(r);
        and_row(r, top, false);
        if (!single) {
            and_row(l + r, top, false);
            and_row(l - o + r, bottom, true);
        }
        and_row(h - o + r, bottom, true);
    }
}

void literal_clear_staging_planes() {
    for (int p = 0; p < 8; ++p) {
        for (int j = 0; j < 45; ++j) {
            for (std::uint32_t x = 0; x < g_column_count && x < kNozzlePlaneColumns; ++x) {
                g_nozzle_planes[p][j][x] = 0;
            }
        }
    }
}

void literal_expand_pass_buffers() {
    const std::uint32_t rows = g_rotary_mode == 1 ? g_head_rows : 179;
    for (std::uint32_t r = 0; r < rows && r < 180; ++r) {
        for (int p = 0; p < 8; ++p) {
            for (std::uint32_t x = 0; x < g_line_pixels && x < 4 * row_length(); ++x) {
                const unsigned v = (g_pass_planes[p][r][x / 4] >> (6 - 2 * (x % 4))) & 3u;
                g_nozzle_planes[p][44 - r / 4][x] |=
                    static_cast<std::uint8_t>(v << (6 - 2 * (r % 4)));
            }
        }
    }
}

void literal_clear_transfer_buffer() {
    for (std::uint32_t c = 0; c < g_column_count && c < kTransferColumns; ++c) {
        for (std::uint32_t i = 0; i < 360; ++i) {
            g_transfer_buffer[std::size_t{c} * 360 + i] = 0;
        }
    }
}

namespace {

void literal_pack(bool white_and_varnish_only) {
    literal_clear_transfer_buffer();
    const bool forward = g_direction == 0 || (g_direction == 1 && g_pass_toggle == 0);
    const bool backward = g_direction == 1 && g_pass_toggle == 1;
    for (std::uint32_t k = 0; k < 8; ++k) {
        const int s = g_ink_order[k];
        if (s < 0 || s > 8 || (white_and_varnish_only && s < 4))
            continue;
        for (std::uint32_t j = 0; j < 45; ++j) {
            for (std::uint32_t x = 0; x < g_line_pixels; ++x) {
                const std::uint8_t v = s == 8 ? 0 : g_nozzle_planes[s][j][x];
                std::size_t column;
                if (forward) {
                    column = x + kHeadSlotColumnOffset[k];
                } else if (backward) {
                    column = g_line_pixels + 903 - x - kHeadSlotColumnOffset[k];
                } else {
                    continue;
                }
                g_transfer_buffer[column * 360 + 315 - 45 * k + j] = v;
            }
        }
    }
}

}  // namespace

void literal_pack_transfer_buffer_8ch() {
    literal_pack(false);
}

void literal_pack_transfer_buffer_4ch() {
    literal_pack(true);
}

}  // namespace test_support
