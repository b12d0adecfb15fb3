#pragma once

#include <cstdint>

#include "engine/engine_limits.h"

// The pass planes of a pass, filled from the input window by the job's ink mode. Plane index
// 0..7 is pass plane 1..8: "Black", "Cyan", "Magenta", "Yellow", "White 1", "White 2 ",
// "Varnish 1", "Varnish 2". Pixel layout as in the print file.

// The job's ink mode, 1..15, from the print file's header: which input planes feed which pass
// planes, in one layer or two.
using InkMode = std::uint8_t;

inline constexpr InkMode INK_MODE_COLOR_KCMY = 1;      // "Color-KCMY"
inline constexpr InkMode INK_MODE_4WHITE = 2;          // "4White"
inline constexpr InkMode INK_MODE_2WHITE = 3;          // "2White"
inline constexpr InkMode INK_MODE_2VANISH = 4;         // "2Vanish"
inline constexpr InkMode INK_MODE_COLOR_4WHITE = 5;    // "Color+4White"
inline constexpr InkMode INK_MODE_4WHITE_COLOR = 6;    // "4White+Color"
inline constexpr InkMode INK_MODE_COLOR_2WHITE = 7;    // "Color+2White"
inline constexpr InkMode INK_MODE_2WHITE_COLOR = 8;    // "2White+Color"
inline constexpr InkMode INK_MODE_COLOR_2VANISH = 9;   // "Color+2Vanish"
inline constexpr InkMode INK_MODE_2VANISH_COLOR = 10;  // "2Vanish+Color"
inline constexpr InkMode INK_MODE_WHITE_78_56 = 11;
inline constexpr InkMode INK_MODE_WHITE_56_78 = 12;
inline constexpr InkMode INK_MODE_8WHITE = 13;  // "8White"
inline constexpr InkMode INK_MODE_NONE = 14;
inline constexpr InkMode INK_MODE_COLOR_WITH_2WHITE = 15;

extern std::uint8_t g_pass_planes[kPassPlaneCount][kPassPlaneRows][kPlaneRowBytes];

// The one-bit mask of the thinned varnish of ink mode 9 for pass row i.
std::uint8_t thinned_varnish_mask(std::uint32_t pass_row);

// Runs the arrangement of g_ink_mode on the current window and stepping.
void copy_lines_for_mode();
