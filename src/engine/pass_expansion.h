#pragma once

#include <cstdint>

#include "engine/engine_limits.h"

// The nozzle planes: each pass plane regrouped from pixel rows into nozzle columns. Byte
// [j][x] of a plane holds pixel column x of four nozzle rows: nozzle row r is in row
// j = 44 - r / 4, bits 7 - 2 (r mod 4) and 6 - 2 (r mod 4). Plane index 0..7 as the pass
// planes.
extern std::uint8_t g_nozzle_planes[kPassPlaneCount][kNozzlePlaneRows][kNozzlePlaneColumns];

// Zeroes the first g_column_count bytes of every row of the nozzle planes.
void clear_staging_planes();
// ORs the pass planes into the nozzle planes: nozzle rows 0..178 on the flatbed, 0..H-1 on the
// rotary attachment.
void expand_pass_buffers();
