#include "engine/feather_masks.h"

#include "engine/stepping.h"

const FeatherMaskTable* feather_mask_table(bool single_layer, std::uint32_t pass_count,
                                           std::uint8_t edge_kind) {
    // Braille with 16 passes in the single-layer group takes the 16-pass Sharp table; its
    // overlap of 0 leaves the pass unmasked all the same.
    if (edge_kind == EDGE_BRAILLE && single_layer && pass_count == 16) {
        edge_kind = EDGE_SHARP;
    }
    for (const FeatherMaskTable& table : g_feather_mask_tables) {
        if (table.single_layer == single_layer && table.pass_count == pass_count &&
            table.edge_kind == edge_kind) {
            return &table;
        }
    }
    return nullptr;
}
