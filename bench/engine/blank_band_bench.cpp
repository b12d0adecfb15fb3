// The blank-band test on the largest band a job can read (rows of 3,555 bytes, 180 lines,
// six planes), all blank so the whole band is scanned, against the byte-by-byte loop that
// looks at the six planes of every byte position and against one memcpy of the same bytes,
// in the same run. Prints "ratio <name> <value>" lines after the benchmark table.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "engine/prn_reader.h"
#include "engine/stepping.h"
#include "engine/y_feed.h"
#include "ratio_reporter.h"

namespace {

constexpr std::uint32_t kRowBytes = 3555;

void set_up() {
    g_row_bytes = kRowBytes;
    g_pass_count = 4;
    g_ink_mode = 1;
    g_edge_kind = EDGE_BRAILLE;  // the largest band: 180 lines
    g_rotary_mode = 0;
    select_stepping();
    clear_print_planes();
}

std::size_t band_bytes() {
    return std::size_t{kPrnPlaneCount} * g_step_rows * kRowBytes;
}

void engine_scan(benchmark::State& state) {
    set_up();
    for (auto _ : state) {
        g_blank_lines = 0;
        g_ink_seen = 1;
        benchmark::DoNotOptimize(detect_blank_band());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * band_bytes()));
}

// Row by row, byte by byte, ink where any of the six planes is non-zero.
bool literal_band_has_ink() {
    for (std::uint32_t row = g_window_start_row; row < g_window_start_row + g_step_rows; ++row) {
        for (std::uint32_t x = 0; x < g_row_bytes; ++x) {
            for (std::uint32_t plane = 0; plane < kPrnPlaneCount; ++plane) {
                if (g_input_planes[plane][row][x] != 0) {
                    return true;
                }
            }
        }
    }
    return false;
}

void literal_scan(benchmark::State& state) {
    set_up();
    for (auto _ : state) {
        benchmark::DoNotOptimize(literal_band_has_ink());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * band_bytes()));
}

void band_memcpy(benchmark::State& state) {
    set_up();
    std::vector<std::uint8_t> copy(band_bytes());
    for (auto _ : state) {
        std::uint8_t* out = copy.data();
        for (std::uint32_t plane = 0; plane < kPrnPlaneCount; ++plane) {
            for (std::uint32_t row = g_window_start_row; row < g_window_start_row + g_step_rows;
                 ++row) {
                std::memcpy(out, g_input_planes[plane][row], kRowBytes);
                out += kRowBytes;
            }
        }
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * band_bytes()));
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    constexpr int kRepetitions = 5;
    benchmark::RegisterBenchmark("blank/engine", engine_scan)->Repetitions(kRepetitions);
    benchmark::RegisterBenchmark("blank/literal", literal_scan)->Repetitions(kRepetitions);
    benchmark::RegisterBenchmark("blank/band_memcpy", band_memcpy)->Repetitions(kRepetitions);
    bench_support::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double engine = reporter.time_of("blank/engine");
    if (engine > 0) {
        std::printf("ratio blank_literal_over_engine %.2f\n",
                    reporter.time_of("blank/literal") / engine);
        std::printf("ratio blank_engine_over_band_memcpy %.2f\n",
                    engine / reporter.time_of("blank/band_memcpy"));
    }
    benchmark::Shutdown();
    return 0;
}
