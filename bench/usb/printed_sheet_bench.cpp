// The simulated printer's sheet recorder on jobs the size of the demonstration's (100 x 60 mm at
// 720 x 720 dpi: 2836 pixels, 35 passes of 3740 columns), one job an iteration, each written out
// as sheet-NNN.png and .json into a temporary folder. Reports the time of a job, the band bytes
// recorded per second, and the process's resident memory after the run (resident_MB) and at
// its peak (peak_MB): a recorder that keeps its buffers from job to job stays at one job's size
// however many jobs it records.
//
//   build/bench/bench/usb/bench_printed_sheet [--benchmark_min_time=300x]

#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "usb/driver/sim/printed_sheet.h"

namespace {

constexpr std::uint32_t kPixels = 2836;
constexpr std::uint32_t kColumns = kPixels + 904;
constexpr int kPasses = 35;
constexpr std::int32_t kFeed = 14508;  // 4 passes Gaussian, as installed

// The band of one pass, like the demonstration's blocks: head slot k (0-3) inks 470 columns
// from column 700 k with every nozzle, in passes 8 k to 8 k + 11; about 4 million dots a job.
void make_band(int pass, std::vector<std::uint8_t>& band) {
    band.assign(std::size_t{kColumns} * 360, 0);
    for (std::uint32_t k = 0; k < 4; ++k) {
        if (pass < 8 * static_cast<int>(k) || pass >= 8 * static_cast<int>(k) + 12) {
            continue;
        }
        for (std::uint32_t c = 700u * k; c < 700u * k + 470; ++c) {
            std::memset(band.data() + std::size_t{c} * 360 + 315 - 45 * k, 0xFF, 45);
        }
    }
}

std::vector<std::uint8_t> frame(std::uint8_t code, std::uint32_t value, std::size_t length) {
    std::vector<std::uint8_t> f = {0xFF, code};
    for (std::size_t i = 2; i < length; ++i) {
        f.push_back(static_cast<std::uint8_t>(value >> (8 * (i - 2))));
    }
    return f;
}

double resident_mb() {
    long pages = 0, resident = 0;
    std::ifstream("/proc/self/statm") >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / 1e6;
}

double peak_mb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1e3;
}

void BM_RecordJob(benchmark::State& state) {
    const std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                         ("bench_printed_sheet_" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    std::vector<std::uint8_t> band;
    usb::sim::PrintedSheet sheet(folder);
    int job = 0;
    for (auto _ : state) {
        sheet.command(frame(0xA6, 0, 2));
        sheet.command(frame(0x01, kColumns, 6));
        sheet.command(frame(0x62, kFeed, 6));
        for (int pass = 0; pass < kPasses; ++pass) {
            make_band(pass, band);
            sheet.bulk(band);
            sheet.command(frame(pass % 2 == 0 ? 0x02 : 0x03, 0, 2));
        }
        sheet.command(frame(0xAA, 0, 2));
        // Only the last sheet is kept, so the folder stays small.
        char name[32];
        std::snprintf(name, sizeof name, "sheet-%03d", job++);
        std::filesystem::remove(folder / (std::string(name) + ".png"));
    }
    state.SetBytesProcessed(state.iterations() * kPasses * std::int64_t{kColumns} * 360);
    state.counters["resident_MB"] = resident_mb();
    state.counters["peak_MB"] = peak_mb();
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_RecordJob)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
