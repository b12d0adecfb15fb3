#pragma once

#include <cstdint>

// g_y_position, the value of the next Y-position command, lives with that command.
#include "printer/protocol_state.h"

// Y motor values of a job: the flatbed start offset, the feed of one pass, the repositioning
// after a skipped blank gap, and the bands and passes that empty the input window at the end.
// All of it runs on the print thread only.

// Skip state of the band just read.
inline constexpr std::uint32_t SKIP_PRINT = 0;       // print this band
inline constexpr std::uint32_t SKIP_BLANK_GAP = 1;   // read it, print no pass
inline constexpr std::uint32_t SKIP_REPOSITION = 2;  // a gap ended: reposition, then print

extern std::uint32_t g_skip_state;
extern std::uint32_t g_blank_lines;
extern std::uint32_t g_ink_seen;
extern std::uint32_t g_y_step_per_line;
extern std::int32_t g_start_offset;
extern std::int32_t g_head_offset;  // from "step_adjust", set by the job printer
extern std::uint8_t g_tail_bands;
extern std::uint8_t g_trailing_passes;

// Flatbed job start: the start offset in lines and its Y position, 36 steps a line.
void select_start_offset();
// The feed of one pass: flatbed from the step table (or the fixed Braille feeds), rotary from
// the lines fed per pass.
void compute_y_feed_steps();
// Classifies the band just read and sets g_skip_state; 1 exactly when a gap has ended and
// the head must be repositioned before this band prints.
std::uint32_t detect_blank_band();
// In the reposition state: the Y position that skips the gap.
void compute_skip_position();
// The bands still needed to bring the lines left in the window under every nozzle row.
void compute_tail_bands();
// The empty passes that end a 2Vanish job, after its tail bands.
void compute_trailing_passes();
