#pragma once

#include <cstdint>
#include <cstring>

#include "engine/channel_arrangement.h"
#include "engine/pass_expansion.h"
#include "engine/pass_masks.h"
#include "engine/prn_reader.h"
#include "engine/split_mix64.h"
#include "engine/stepping.h"
#include "engine/transfer_packing.h"

namespace engine_test {

// Puts the engine's job state where a test wants it without a print file: header values,
// stepping for the group, and the buffers a job start clears.
struct Job {
    std::uint32_t row_bytes = 100;
    std::uint32_t pass_count = 4;
    std::uint8_t ink_mode = 1;
    std::uint8_t edge_kind = EDGE_SHARP;
    std::uint8_t rotary = 0;
    std::uint8_t direction = 0;
};

inline void start_job(const Job& job) {
    g_row_bytes = job.row_bytes;
    g_line_pixels = job.row_bytes * 4;
    g_column_count = g_line_pixels + 904;
    g_pass_count = job.pass_count;
    g_ink_mode = job.ink_mode;
    g_edge_kind = job.edge_kind;
    g_rotary_mode = job.rotary;
    g_direction = job.direction;
    g_pass_toggle = 0;
    for (int k = 0; k < 8; ++k)
        g_ink_order[k] = k;
    select_stepping();
    clear_print_planes();
    clear_staging_planes();
    clear_transfer_buffer();
}

// A seeded stream for filling planes.
struct Random : SplitMix64 {
    void fill(std::uint8_t* bytes, std::size_t n) {
        for (std::size_t i = 0; i < n; i += 8) {
            const std::uint64_t v = next();
            std::memcpy(bytes + i, &v, n - i < 8 ? n - i : 8);
        }
    }
};

// Random bytes in the first g_row_bytes bytes of window rows [0, rows) of every input plane.
inline void fill_window(std::uint64_t seed, std::uint32_t rows) {
    Random r{{seed}};
    for (auto& plane : g_input_planes) {
        for (std::uint32_t i = 0; i < rows && i < kInputWindowRows; ++i) {
            r.fill(plane[i], g_row_bytes);
        }
    }
}

inline std::uint8_t pixel(const std::uint8_t* row, std::uint32_t x) {
    return (row[x / 4] >> (6 - 2 * (x % 4))) & 3u;
}

}  // namespace engine_test
