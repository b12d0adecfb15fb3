#include "engine/stepping.h"

#include "engine/prn_reader.h"

std::uint32_t g_step_rows = 0;
std::uint32_t g_window_start_row = 0;
std::uint32_t g_head_rows = 0;
std::uint32_t g_overlap_rows = 0;
std::uint32_t g_layer_split_row = 0;
std::uint8_t g_edge_kind = EDGE_SHARP;
std::uint8_t g_stepping_valid = 0;

namespace {

constexpr std::int32_t kNoDelay = -1;
constexpr SteppingRow kNone{0, 0, 0, 0, 0, 0};

bool is_none(const SteppingRow& row) {
    return row.step_rows == 0;
}

// [pass index 4, 8, 10, 16][flatbed, rotary][edge kind]; S / W / H / O, L, delay.
constexpr SteppingRow kSingleLayer[4][2][4] = {
    {{{143, 572, 179, 36, 0, 540},
      {119, 595, 179, 60, 0, 435},
      {101, 606, 177, 76, 0, 360},
      {180, 540, 180, 0, 0, 695}},
     {{71, 284, 89, 18, 0, 230},
      {59, 295, 89, 30, 0, 180},
      {51, 306, 90, 39, 0, 160},
      {89, 267, 89, 0, 0, 280}}},
    {{{159, 1272, 179, 20, 0, 265},
      {129, 1290, 178, 49, 0, 200},
      {87, 1305, 174, 87, 0, 110},
      {175, 1225, 175, 0, 0, 230}},
     {{71, 639, 88, 17, 0, 75},
      {65, 650, 89, 24, 0, 65},
      {55, 660, 90, 35, 0, 40},
      {89, 623, 89, 0, 0, 110}}},
    // 10 passes: one row serves flatbed and rotary; no delay, no Braille row.
    {{{149, 1639, 179, 30, 0, kNoDelay},
      {127, 1651, 178, 51, 0, kNoDelay},
      {105, 1680, 179, 74, 0, kNoDelay},
      kNone},
     {{149, 1639, 179, 30, 0, kNoDelay},
      {127, 1651, 178, 51, 0, kNoDelay},
      {105, 1680, 179, 74, 0, kNoDelay},
      kNone}},
    {{{159, 2703, 179, 20, 0, 92},
      {143, 2717, 179, 36, 0, 75},
      {129, 2709, 178, 49, 0, 60},
      {175, 2625, 175, 0, 0, 113}},
     {{79, 1343, 89, 10, 0, 10},
      {71, 1349, 89, 18, 0, 0},
      {63, 1323, 87, 24, 0, 0},
      {87, 1305, 87, 0, 0, 0}}},
};

// Two-layer groups have no Braille row.
constexpr SteppingRow kTwoLayer[4][2][4] = {
    {{{71, 639, 178, 17, 88, 230}, {59, 649, 178, 29, 88, 180}, {45, 675, 180, 44, 89, 150}, kNone},
     {{39, 312, 88, 4, 43, 230}, {31, 649, 86, 11, 42, 180}, {29, 319, 87, 13, 42, 150}, kNone}},
    {{{79, 1343, 178, 9, 88, 90}, {71, 1349, 178, 17, 88, 75}, {59, 1357, 177, 28, 87, 47}, kNone},
     {{29, 667, 89, 15, 44, 70}, {29, 667, 89, 15, 44, 70}, {29, 667, 89, 15, 44, 70}, kNone}},
    {{{81, 1701, 178, 7, 89, kNoDelay},
      {75, 1725, 180, 14, 90, kNoDelay},
      {69, 1725, 179, 20, 89, kNoDelay},
      kNone},
     {{81, 1701, 178, 7, 89, kNoDelay},
      {75, 1725, 180, 14, 90, kNoDelay},
      {69, 1725, 179, 20, 89, kNoDelay},
      kNone}},
    {{{79, 2765, 178, 9, 88, 10}, {71, 2769, 178, 17, 88, 0}, {61, 2806, 180, 28, 89, 0}, kNone},
     {{39, 1365, 88, 4, 43, 10}, {31, 1395, 90, 13, 44, 0}, {25, 1400, 89, 19, 44, 0}, kNone}},
};

int pass_index(std::uint32_t pass_count) {
    switch (pass_count) {
        case PASS_COUNT_4:
            return 0;
        case PASS_COUNT_8:
            return 1;
        case PASS_COUNT_10:
            return 2;
        case PASS_COUNT_16:
            return 3;
        default:
            return -1;
    }
}

}  // namespace

bool is_single_layer_ink_mode(std::uint8_t ink_mode) {
    return ink_mode == 1 || ink_mode == 2 || ink_mode == 3 || ink_mode == 4 || ink_mode == 15;
}

const SteppingRow* find_stepping_row(std::uint32_t pass_count, bool single_layer, bool rotary,
                                     std::uint8_t edge_kind) {
    const int p = pass_index(pass_count);
    if (p < 0 || edge_kind > EDGE_BRAILLE) {
        return nullptr;
    }
    const SteppingRow& row =
        (single_layer ? kSingleLayer : kTwoLayer)[p][rotary ? 1 : 0][edge_kind];
    return is_none(row) ? nullptr : &row;
}

void select_stepping() {
    g_not_2vanish = g_ink_mode != 4 ? 1 : 0;
    const SteppingRow* row = find_stepping_row(g_pass_count, is_single_layer_ink_mode(g_ink_mode),
                                               g_rotary_mode == 1, g_edge_kind);
    // Where no row applies the previous values stay, as before; the flag tells the job
    // printer that they do not belong to this job.
    g_stepping_valid = row != nullptr ? 1 : 0;
    if (row == nullptr) {
        return;
    }
    g_step_rows = row->step_rows;
    g_window_start_row = row->window_start_row;
    g_head_rows = row->head_rows;
    g_overlap_rows = row->overlap_rows;
    if (!is_single_layer_ink_mode(g_ink_mode)) {
        g_layer_split_row = row->layer_split_row;
    }
    if (row->delay_ms >= 0) {
        g_bidir_pass_delay_ms = static_cast<std::uint32_t>(row->delay_ms);
    }
}
