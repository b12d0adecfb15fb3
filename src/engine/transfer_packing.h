#pragma once

#include <cstdint>

#include "printer/protocol_state.h"  // g_direction, g_pass_toggle

#include "engine/engine_limits.h"

// The transfer buffer: what the printer takes for one pass, column-major. Column c occupies
// bytes 360c .. 360c + 359 and holds eight head slots of 45 bytes; slot k (head slot k + 1)
// occupies column bytes 315 - 45k .. 359 - 45k, so slot 0 is the last 45 bytes of a column.
// Byte j of a slot is byte [j][x] of the slot's source nozzle plane for the pixel x placed in
// that column. The band sent is g_column_count x 360 bytes from the start.

inline constexpr std::uint32_t kTransferBufferBytes = kTransferColumns * kColumnBytes;
extern std::uint8_t g_transfer_buffer[kTransferBufferBytes];

// Source of head slot k: 0..7 nozzle plane 1..8, 8 "NULL" (the slot stays zero).
extern int g_ink_order[kHeadSlotCount];

// Column offsets of the head slots.
inline constexpr std::uint32_t kHeadSlotColumnOffset[kHeadSlotCount] = {0,   64,  280, 344,
                                                                        560, 624, 840, 904};

// Zeroes columns 0 .. g_column_count - 1.
void clear_transfer_buffer();
// Clears, then packs all eight slots.
void pack_transfer_buffer_8ch();
// Clears, then packs only the slots whose source is "White 1", "White 2 ", "Varnish 1" or
// "Varnish 2" (the emboss passes).
void pack_transfer_buffer_4ch();
