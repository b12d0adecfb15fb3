// One full pass of the widest job the size limits accept (501 mm: 14,220 pixels, rows of
// 3,555 bytes), through arrangement, masks, expansion and packing, against the literal
// per-pixel loops and a plain copy of the band, all in the same run. Each is repeated and the
// fastest repetition counts. Prints one "ratio <name> <value>" line per comparison after the
// benchmark table.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "engine/channel_arrangement.h"
#include "engine/pass_expansion.h"
#include "engine/pass_masks.h"
#include "engine/prn_reader.h"
#include "engine/stepping.h"
#include "engine/transfer_packing.h"
#include "engine_reference.h"
#include "ratio_reporter.h"

namespace {

constexpr std::uint32_t kRowBytes = 3555;

struct Config {
    const char* name;
    std::uint32_t passes;
    std::uint8_t ink_mode;
    std::uint8_t direction;  // 0 forward; 1 with the toggle set: backward
};

const Config kConfigs[] = {
    {"single4_forward", 4, 1, 0},
    {"single4_backward", 4, 1, 1},
    {"two8_forward", 8, 5, 0},
    {"two8_backward", 8, 5, 1},
};

void set_up(const Config& c) {
    g_row_bytes = kRowBytes;
    g_line_pixels = kRowBytes * 4;
    g_column_count = g_line_pixels + 904;
    g_pass_count = c.passes;
    g_ink_mode = c.ink_mode;
    g_edge_kind = EDGE_GAUSSIAN;
    g_rotary_mode = 0;
    g_direction = c.direction;
    g_pass_toggle = c.direction;
    for (int k = 0; k < 8; ++k)
        g_ink_order[k] = k;
    select_stepping();
    std::uint64_t state = 12345;
    for (auto& plane : g_input_planes) {
        for (std::uint32_t r = 0; r < g_window_start_row + g_step_rows; ++r) {
            for (std::uint32_t i = 0; i < kRowBytes; i += 8) {
                state = state * 6364136223846793005ull + 1442695040888963407ull;
                std::memcpy(plane[r] + i, &state, std::min<std::uint32_t>(8, kRowBytes - i));
            }
        }
    }
    for (int i = 0; i < 5; ++i)
        advance_pass();
}

void engine_pass(benchmark::State& state, const Config& c) {
    set_up(c);
    for (auto _ : state) {
        copy_lines_for_mode();
        apply_pass_masks();
        clear_staging_planes();
        expand_pass_buffers();
        pack_transfer_buffer_8ch();
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * g_column_count * 360);
}

void literal_pass(benchmark::State& state, const Config& c) {
    set_up(c);
    for (auto _ : state) {
        test_support::literal_copy_lines_for_mode();
        test_support::literal_apply_pass_masks();
        test_support::literal_clear_staging_planes();
        test_support::literal_expand_pass_buffers();
        test_support::literal_pack_transfer_buffer_8ch();
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * g_column_count * 360);
}

std::vector<std::uint8_t> g_band_copy(std::size_t{kRowBytes * 4 + 904} * 360);

void band_memcpy(benchmark::State& state) {
    const std::size_t bytes = g_band_copy.size();
    for (auto _ : state) {
        std::memcpy(g_band_copy.data(), g_transfer_buffer, bytes);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    constexpr int kRepetitions = 5;
    benchmark::RegisterBenchmark("band_memcpy", band_memcpy)
        ->Unit(benchmark::kMillisecond)
        ->Repetitions(kRepetitions)
        ->ReportAggregatesOnly(false);
    for (const Config& c : kConfigs) {
        benchmark::RegisterBenchmark((std::string("engine/") + c.name).c_str(), engine_pass, c)
            ->Unit(benchmark::kMillisecond)
            ->Repetitions(kRepetitions);
        benchmark::RegisterBenchmark((std::string("literal/") + c.name).c_str(), literal_pass, c)
            ->Unit(benchmark::kMillisecond)
            ->Repetitions(kRepetitions);
    }
    bench_support::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto memcpy_time = reporter.times.find("band_memcpy");
    double worst_speedup = 0, worst_memcpy = 0;
    for (const Config& c : kConfigs) {
        const auto e = reporter.times.find(std::string("engine/") + c.name);
        const auto l = reporter.times.find(std::string("literal/") + c.name);
        if (e == reporter.times.end() || e->second <= 0)
            continue;
        if (l != reporter.times.end()) {
            const double speedup = l->second / e->second;
            std::printf("ratio literal_over_engine/%s %.2f\n", c.name, speedup);
            worst_speedup = worst_speedup == 0 ? speedup : std::min(worst_speedup, speedup);
        }
        if (memcpy_time != reporter.times.end() && memcpy_time->second > 0) {
            const double over = e->second / memcpy_time->second;
            std::printf("ratio engine_over_band_memcpy/%s %.2f\n", c.name, over);
            worst_memcpy = std::max(worst_memcpy, over);
        }
    }
    if (worst_speedup > 0)
        std::printf("ratio literal_over_engine_min %.2f\n", worst_speedup);
    if (worst_memcpy > 0)
        std::printf("ratio engine_over_band_memcpy_max %.2f\n", worst_memcpy);
    benchmark::Shutdown();
    return 0;
}
