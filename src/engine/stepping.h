#pragma once

#include <cstdint>

// g_bidir_pass_delay_ms and g_not_2vanish live with the commands that send them;
// g_rotary_mode (1 rotary attachment, else flatbed) with the program-wide settings.
#include "config/program_globals.h"
#include "printer/protocol_state.h"

// The stepping of a job: how far the media moves per pass, where new lines enter the input
// window, how many nozzle rows print, how many rows are feathered against the neighbouring
// passes, where a two-layer job splits its rows and how long a bidirectional job rests after
// each pass. One row of the stepping tables applies per pass count, layer group, machine and
// edge kind.

inline constexpr std::uint8_t EDGE_SHARP = 0;
inline constexpr std::uint8_t EDGE_SMOOTH = 1;
inline constexpr std::uint8_t EDGE_GAUSSIAN = 2;
inline constexpr std::uint8_t EDGE_BRAILLE = 3;

extern std::uint32_t g_step_rows;         // S: raster lines fed per pass, the band size
extern std::uint32_t g_window_start_row;  // W: first window row of a band's new lines
extern std::uint32_t g_head_rows;         // H: nozzle rows printed per pass
extern std::uint32_t g_overlap_rows;      // O: rows feathered at each edge of a pass/layer
extern std::uint32_t g_layer_split_row;   // L: last nozzle row of a two-layer job's first layer
extern std::uint8_t g_edge_kind;          // EDGE_SHARP .. EDGE_BRAILLE

// 1 when the last select_stepping found a row for the job's pass count, layer group, machine
// and edge kind; 0 when it found none (no pass count yet, a pass count other than 4, 8, 10 or
// 16, Braille with 10 passes or with a two-layer ink mode, an unknown edge kind). A job with
// 0 here would run on zero or stale stepping, so the job printer refuses it.
extern std::uint8_t g_stepping_valid;

// One row of a stepping table. delay_ms < 0: the row names no delay (10 passes), so the
// previous delay stays.
struct SteppingRow {
    std::uint32_t step_rows;
    std::uint32_t window_start_row;
    std::uint32_t head_rows;
    std::uint32_t overlap_rows;
    std::uint32_t layer_split_row;  // two-layer rows only
    std::int32_t delay_ms;
};

// Ink modes 1, 2, 3, 4 and 15 take single-layer stepping, every other value two-layer.
bool is_single_layer_ink_mode(std::uint8_t ink_mode);

// The stepping row for a group and edge kind, or null where the tables have none. The
// print-time estimate reads the same rows.
const SteppingRow* find_stepping_row(std::uint32_t pass_count, bool single_layer, bool rotary,
                                     std::uint8_t edge_kind);

// Sets g_not_2vanish and applies the row of the job's group and edge kind.
void select_stepping();
