#include "engine/y_feed.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "engine/prn_reader.h"
#include "engine/step_settings.h"
#include "engine/stepping.h"
#include "printer/protocol_state.h"

std::uint32_t g_skip_state = 0;
std::uint32_t g_blank_lines = 0;
std::uint32_t g_ink_seen = 0;
std::uint32_t g_y_step_per_line = 0;
std::int32_t g_start_offset = 0;
std::int32_t g_head_offset = 0;
std::uint8_t g_tail_bands = 0;
std::uint8_t g_trailing_passes = 0;

namespace {

// Column of a pass count in the start-offset and feed tables; -1 for a count without one.
int pass_column(std::uint32_t pass_count) {
    switch (pass_count) {
        case 4:
            return 0;
        case 8:
            return 1;
        case 10:
            return 2;
        case 16:
            return 3;
        default:
            return -1;
    }
}

constexpr int kNoOffset = -1;

// Start offsets in lines: [layer group][pass column][edge kind]; kNoOffset keeps the
// previous value.
constexpr int kStartOffsetLines[2][4][4] = {
    {{518, 426, 382, 646}, {262, 226, 196, 350}, {184, 165, 118, kNoOffset}, {103, 89, 97, 178}},
    {{250, 210, 106, kNoOffset},
     {120, 108, 92, kNoOffset},
     {85, 46, 46, kNoOffset},
     {41, 37, 0, kNoOffset}},
};

// Flatbed feed of a single-layer Braille pass, which the step settings file has no entry for.
constexpr int kBrailleFeedSteps[4] = {25884, 12564, 0, 6264};

// Millimetres of one raster line at 720, 1440, 1800 and 2880 dpi, as the rotary firmware
// was calibrated with them, and the millimetres of one rotary motor step.
constexpr double kRotaryLineMm[4] = {0.0352777775, 0.01763888875, 0.014111111, 0.008819444375};
constexpr double kRotaryMmPerStep = 0.00022776545493983952;
constexpr std::int32_t kRotaryFeedBacklash = 460;

// Motor steps per skipped line, by pass column; 0 leaves the value as it is.
constexpr std::uint32_t kFlatbedStepsPerLine[4] = {144, 72, 0, 36};
// The rotary gap tables stop at 720, 1440 and 2880 dpi; at 1800 dpi the same steps per inch
// (about 146,900) give 82 steps per line.
constexpr std::uint32_t kRotaryStepsPerLine[4] = {203, 102, 82, 51};

// A Y value as the position command carries it. The step settings file may hold any number up
// to the 32-bit limit, and the head offset comes on top; a sum past the limit is sent as the
// limit, the farthest move the field can ask for, rather than wrapping round to a move the
// other way.
std::int32_t y_steps(std::int64_t steps) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(
        steps, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

}  // namespace

void select_start_offset() {
    const int column = pass_column(g_pass_count);
    const int group = is_single_layer_ink_mode(g_ink_mode) ? 0 : 1;
    if (column >= 0 && g_edge_kind <= EDGE_BRAILLE) {
        const int lines = kStartOffsetLines[group][column][g_edge_kind];
        if (lines != kNoOffset) {
            g_start_offset = lines;
        }
    }
    g_y_step_per_line = 36;
    g_y_position = g_start_offset * 36;
}

void compute_y_feed_steps() {
    const int column = pass_column(g_pass_count);
    const bool single_layer = is_single_layer_ink_mode(g_ink_mode);
    if (g_rotary_mode != 1) {
        if (column >= 0 && g_edge_kind <= EDGE_GAUSSIAN) {
            const int index = 6 * column + 2 * g_edge_kind + (single_layer ? 0 : 1);
            g_y_position = y_steps(std::int64_t{g_y_motor_steps[index]} + g_head_offset);
        } else if (column >= 0 && g_edge_kind == EDGE_BRAILLE && single_layer &&
                   kBrailleFeedSteps[column] != 0) {
            g_y_position = y_steps(std::int64_t{kBrailleFeedSteps[column]} + g_head_offset);
        } else {
            g_y_position = y_steps(std::int64_t{g_y_position} + g_head_offset);
        }
        return;
    }
    const bool formula_applies =
        column >= 0 && (g_edge_kind <= EDGE_GAUSSIAN ||
                        (g_edge_kind == EDGE_BRAILLE && single_layer && g_pass_count != 10));
    if (!formula_applies) {
        g_y_position = y_steps(std::int64_t{g_y_position} - kRotaryFeedBacklash);
        return;
    }
    const double steps =
        static_cast<double>(g_step_rows) * kRotaryLineMm[column] / kRotaryMmPerStep;
    g_y_position = static_cast<std::int32_t>(steps) - kRotaryFeedBacklash;
}

namespace {

// True when any byte of the row is non-zero. Whole 64-bit words, eight at a time, so the
// scan of a blank band runs at memory speed; the caller stops at the first row with ink.
bool row_has_ink(const std::uint8_t* row, std::uint32_t bytes) {
    std::uint32_t i = 0;
    for (; i + 64 <= bytes; i += 64) {
        std::uint64_t words[8];
        std::memcpy(words, row + i, sizeof words);
        if ((words[0] | words[1] | words[2] | words[3] | words[4] | words[5] | words[6] |
             words[7]) != 0) {
            return true;
        }
    }
    for (; i + 8 <= bytes; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, row + i, sizeof word);
        if (word != 0) {
            return true;
        }
    }
    for (; i < bytes; ++i) {
        if (row[i] != 0) {
            return true;
        }
    }
    return false;
}

// A byte position has ink when any of the six planes is non-zero there, so the band has ink
// exactly when some plane row of it does; the order of the scan does not change the answer.
bool band_has_ink() {
    const std::uint32_t bytes = held_row_bytes(g_row_bytes);
    const std::uint32_t first = g_window_start_row;
    const std::uint32_t end = static_cast<std::uint32_t>(
        std::min<std::uint64_t>(std::uint64_t{first} + g_step_rows, kInputWindowRows));
    for (std::uint32_t row = first; row < end; ++row) {
        for (std::uint32_t plane = 0; plane < kPrnPlaneCount; ++plane) {
            if (row_has_ink(g_input_planes[plane][row], bytes)) {
                return true;
            }
        }
    }
    return false;
}

}  // namespace

std::uint32_t detect_blank_band() {
    // While a stop is pending no byte counts as ink, so the loop reads on without printing.
    const bool stopping = g_stop_printing != 0;
    const std::uint32_t gap_limit = g_pass_count * g_head_rows;
    if (!stopping && band_has_ink()) {
        if (g_ink_seen == 0) {
            if (g_blank_lines == 0) {
                g_skip_state = SKIP_PRINT;
                return 0;
            }
            g_skip_state = SKIP_REPOSITION;
            return 1;
        }
        if (g_blank_lines <= gap_limit) {
            g_skip_state = SKIP_PRINT;
            g_blank_lines = 0;
            return 0;
        }
        g_skip_state = SKIP_REPOSITION;
        return 1;
    }
    g_blank_lines += g_step_rows;
    if (g_ink_seen == 0 || g_blank_lines > gap_limit) {
        g_skip_state = SKIP_BLANK_GAP;
    }
    return 0;
}

void compute_skip_position() {
    if (g_skip_state != SKIP_REPOSITION) {
        return;
    }
    const int column = pass_column(g_pass_count);
    if (column >= 0) {
        const std::uint32_t steps =
            g_rotary_mode == 1 ? kRotaryStepsPerLine[column] : kFlatbedStepsPerLine[column];
        if (steps != 0) {
            g_y_step_per_line = steps;
        }
    }
    const std::uint32_t skipped =
        g_ink_seen == 0 ? g_blank_lines : g_blank_lines - g_head_rows * g_pass_count;
    g_start_offset = static_cast<std::int32_t>(skipped);
    g_y_position = y_steps(std::int64_t{skipped} * g_y_step_per_line + g_head_offset);
    g_ink_seen = 1;
    g_blank_lines = 0;
}

void compute_tail_bands() {
    if (pass_column(g_pass_count) < 0) {
        return;
    }
    if (g_blank_lines >= g_window_start_row || g_step_rows == 0) {
        g_tail_bands = 0;
        return;
    }
    g_tail_bands = static_cast<std::uint8_t>((g_window_start_row - g_blank_lines) / g_step_rows);
}

void compute_trailing_passes() {
    const std::uint32_t bands_in_window = g_step_rows == 0 ? 0 : g_window_start_row / g_step_rows;
    if (bands_in_window == 0) {
        // 70 / (25.4 / 0) + 1: the quotient is infinite, so one pass.
        g_trailing_passes = 1;
        return;
    }
    const double passes = 70.0 / (25.4 / bands_in_window) + 1.0;
    g_trailing_passes = static_cast<std::uint8_t>(std::min(passes, 255.0));
}
