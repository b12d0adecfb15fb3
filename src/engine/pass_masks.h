#pragma once

#include <cstdint>

// Feathering of the pass planes: consecutive passes overlap by g_overlap_rows nozzle rows, and
// the masks split the dots of the overlapping lines between the two passes, with the mask in
// the top rows of a pass and its complement in the bottom rows.

extern std::uint32_t g_pass_counter;  // passes since the process started; never reset
extern std::uint32_t g_mask_phase;    // the counter value taken for the current pass

// Per-pass bookkeeping: a fresh stepping choice, then the mask phase.
void advance_pass();
// Masks the pass planes of the current pass: single-layer for ink modes 1, 2, 3, 4, 13 and 15,
// two-layer for every other mode.
void apply_pass_masks();
void apply_pass_masks_single_layer();
void apply_pass_masks_two_layer();
