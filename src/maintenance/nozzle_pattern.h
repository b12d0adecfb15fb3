#pragma once

#include <cstdint>

// The nozzle check's test pattern, drawn into the print engine's transfer buffer in its
// layout: for each head slot one block of four staircase steps, each step firing one of the
// four nozzles of every byte of the slot with the large dot for 100 columns. The blocks start
// at pixels 500, 1000, ..., 4000 (column 500 + 500k plus the slot's column offset) and are 401
// columns wide: a column shared by two steps takes the later step's value, so the last step is
// 101 columns.

// The columns of the nozzle check's pass (and its pixels per line).
inline constexpr std::uint32_t kNozzleCheckColumns = 5600;

// Zeroes the whole transfer buffer.
void clear_transfer_buffer_nozzle();
// Clears the transfer buffer and draws the pattern.
void build_nozzle_pattern();
