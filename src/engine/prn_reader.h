#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "engine/engine_limits.h"
#include "engine/prn_header.h"
// g_column_count (g_line_pixels + 904), g_direction and g_ink_mode live with the set-up
// commands that send them.
#include "printer/protocol_state.h"
// g_prn_file: the job's .prn, opened by the job printer, closed by it or the protocol's abort.
#include "printer/prn_file.h"

// The print file of the job being printed and the reader that feeds the input window, one
// band of raster lines per pass. Only the print thread runs this code; the state is plain
// globals, as the rest of the engine expects.

inline constexpr std::uint32_t PASS_COUNT_4 = 4;
inline constexpr std::uint32_t PASS_COUNT_8 = 8;
inline constexpr std::uint32_t PASS_COUNT_10 = 10;
inline constexpr std::uint32_t PASS_COUNT_16 = 16;

extern std::uint8_t g_prn_header[kPrnHeaderSize];
extern std::uint32_t g_row_bytes;       // prn_header.row_bytes
extern std::uint32_t g_prn_line_count;  // prn_header.line_count, the progress base
extern std::uint32_t g_lines_left;      // raster lines not yet read
extern std::uint32_t g_lines_read;      // raster lines read so far
extern std::uint32_t g_line_pixels;     // pixels per line
extern std::uint32_t g_pass_count;      // 4, 8, 10 or 16; 0 before any job set one
extern std::uint32_t g_band_index;      // the next band to seek to

// 1 when the header's row length and column count fit the engine's buffers
// (prn_header.row_bytes at most 7200, g_column_count at most 57,600). Set by read_prn_header;
// the job printer refuses a job whose header does not fit, since its pass data could not be
// built whole.
extern std::uint8_t g_prn_layout_ok;

// 1 once a read of the print file failed (an I/O error, not its end): what it read is not the
// job, so the job must not go on as printed. Cleared by read_prn_header, set by it and by
// read_band_from_prn.
extern std::uint8_t g_prn_read_failed;

// The input window: six planes (PrnPlane order) of 2880 rows of 7200 bytes.
extern std::uint8_t g_input_planes[kPrnPlaneCount][kInputWindowRows][kPlaneRowBytes];

// Opens the job's print file for reading into g_prn_file (closing any open one); false when
// it cannot be opened. close_prn_file closes it; both may be called at any time.
bool open_prn_file(const std::string& path);
void close_prn_file();

void read_prn_header();
void clear_print_planes();
void shift_input_window();
void seek_prn_band();
void read_band_from_prn();
void clear_step_rows();
