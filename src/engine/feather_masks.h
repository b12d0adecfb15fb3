#pragma once

#include <cstdint>

// The feathering masks. A table holds `blocks` blocks of `rows_per_block` rows of 50 bytes;
// row k = block x rows_per_block + r. Each byte holds four 2-bit fields in the pixel layout of
// the print file, 11 keeping the dot and 00 clearing it, so a row covers 200 pixel columns and
// repeats across the line. Row r of every block keeps exactly
// floor(200 x (r + 1) / (rows_per_block + 1)) of its 200 columns, at scattered positions that
// differ from block to block and row to row. The tables are generated when the program is
// built and are constant.

inline constexpr std::uint32_t kFeatherMaskRowBytes = 50;
inline constexpr std::uint32_t kFeatherMaskRowPixels = 200;

struct FeatherMaskTable {
    bool single_layer;
    std::uint32_t pass_count;
    std::uint8_t edge_kind;
    std::uint32_t blocks;
    std::uint32_t rows_per_block;
    const std::uint8_t (*rows)[kFeatherMaskRowBytes];

    std::uint32_t row_count() const { return blocks * rows_per_block; }
};

inline constexpr int kFeatherMaskTableCount = 18;
extern const FeatherMaskTable g_feather_mask_tables[kFeatherMaskTableCount];

// Kept pixels in row r of a table of n rows per block.
inline std::uint32_t feather_kept_pixels(std::uint32_t r, std::uint32_t n) {
    return kFeatherMaskRowPixels * (r + 1) / (n + 1);
}

// The table of a layer group, pass count and edge kind; null where none exists (10 passes,
// Braille with 4 or 8 passes, unknown edge kinds). Braille with 16 passes in the single-layer
// group takes that group's 16-pass Sharp table.
const FeatherMaskTable* feather_mask_table(bool single_layer, std::uint32_t pass_count,
                                           std::uint8_t edge_kind);
