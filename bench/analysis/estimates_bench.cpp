// The ink and time estimates of the largest job the size limits accept (about 1.7 GB) against a
// plain sequential read of the same file and, on a smaller file of the same row length, against
// the literal per-byte loops (one read per plane row into static chunk or band buffers, every
// byte decoded or tested one by one, the buffers cleared after each chunk or band), all in the
// same run with the files in the page cache. Prints "ratio <name> <value>" lines after the table.
//
// The files go to a fresh folder under $TMPDIR (or /tmp) and are deleted at the end; the large
// benchmarks are skipped when that disk has less than twice the file's size free.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstring>

#include "analysis/dot_counts.h"
#include "analysis/ink_estimate.h"
#include "analysis/print_time_estimate.h"
#include "largest_job.h"
#include "ratio_reporter.h"

namespace {

// 8 bands of 200 lines: long enough for the literal loops to show their cost per line.
constexpr std::uint32_t kSmallLines = 1600;

std::string g_large;
std::string g_small;

// Runs `once` (the work on the print file: false when it failed) every iteration and counts
// the file's bytes as processed.
template <class Once>
void whole_file(benchmark::State& state, const std::string& path, Once once) {
    for (auto _ : state) {
        if (!once()) {
            state.SkipWithError("the print file was refused or unreadable");
            return;
        }
    }
    state.SetBytesProcessed(
        static_cast<std::int64_t>(state.iterations() * std::filesystem::file_size(path)));
}

void ink(benchmark::State& state, const std::string* path) {
    whole_file(state, *path, [&] {
        const InkEstimate estimate = estimate_ink(*path, "N/A");
        benchmark::DoNotOptimize(estimate.dots.data());
        return estimate.ok;
    });
}

void time_estimate(benchmark::State& state, const std::string* path) {
    whole_file(state, *path, [&] {
        PrintTimeEstimator estimator;
        const PrintTimeResult result = estimator.estimate(*path, PrintTimeOptions{});
        benchmark::DoNotOptimize(result.seconds);
        return result.ok;
    });
}

// Opens the file, reads its header and runs `loops` on the file and the header.
template <class Loops>
bool literal_run(const std::string& path, Loops loops) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    std::uint8_t raw[kPrnHeaderSize];
    const bool ok = fd >= 0 && ::read(fd, raw, sizeof raw) == static_cast<ssize_t>(sizeof raw);
    if (ok) {
        loops(fd, parse_prn_header(raw));
    }
    if (fd >= 0) {
        ::close(fd);
    }
    return ok;
}

void read_plane_rows(int fd, std::uint8_t* rows[kPrnPlaneCount], std::uint32_t row_bytes) {
    for (std::size_t p = 0; p < kPrnPlaneCount; ++p) {
        if (::read(fd, rows[p], row_bytes) < 0) {
            std::abort();
        }
    }
}

// The ink count as first written: 200-line chunks read one plane row at a time into six
// static buffers of 200 rows of 3600 bytes, each byte of the counted planes decoded code by
// code into 32-bit totals.
std::uint8_t g_ink_planes[kPrnPlaneCount][200][3600];
void literal_ink(benchmark::State& state, const std::string* path) {
    whole_file(state, *path, [&] {
        return literal_run(*path, [](int fd, const PrnHeader& h) {
            const std::array<bool, kPrnPlaneCount> counted = ink_counted_planes(h.ink_mode);
            std::uint32_t totals[kPrnPlaneCount][3] = {};
            for (std::uint32_t left = h.line_count; left > 0;) {
                const std::uint32_t lines = std::min<std::uint32_t>(left, 200);
                for (std::uint32_t i = 0; i < lines; ++i) {
                    std::uint8_t* rows[kPrnPlaneCount];
                    for (std::size_t p = 0; p < kPrnPlaneCount; ++p) {
                        rows[p] = g_ink_planes[p][i];
                    }
                    read_plane_rows(fd, rows, h.row_bytes);
                }
                for (std::uint32_t i = 0; i < lines; ++i) {
                    for (std::size_t p = 0; p < kPrnPlaneCount; ++p) {
                        for (std::uint32_t x = 0; counted[p] && x < h.row_bytes; ++x) {
                            const DotCounts c = decode_dot_counts(g_ink_planes[p][i][x]);
                            totals[p][0] += c.large;
                            totals[p][1] += c.middle;
                            totals[p][2] += c.small;
                        }
                    }
                }
                left -= lines;
            }
            benchmark::DoNotOptimize(totals);
        });
    });
}

// The band loop as first written: each band of B lines read one plane row at a time into six
// static buffers of 180 rows 4252 bytes apart, every byte tested, the buffers cleared after
// each band. Gaussian edges at 16 passes: B 129.
std::uint8_t g_band_planes[kPrnPlaneCount][180][4252];
void literal_time(benchmark::State& state, const std::string* path) {
    whole_file(state, *path, [&] {
        return literal_run(*path, [](int fd, const PrnHeader& h) {
            constexpr std::uint32_t b = 129;
            int inked = 0;
            for (std::uint32_t left = h.line_count; left > 0;) {
                const std::uint32_t lines = std::min(left, b);
                for (std::uint32_t i = 0; i < lines; ++i) {
                    std::uint8_t* rows[kPrnPlaneCount];
                    for (std::size_t p = 0; p < kPrnPlaneCount; ++p) {
                        rows[p] = g_band_planes[p][i];
                    }
                    read_plane_rows(fd, rows, h.row_bytes);
                }
                bool ink = false;
                for (std::size_t p = 0; p < kPrnPlaneCount; ++p) {
                    for (std::uint32_t i = 0; i < b; ++i) {
                        for (std::uint32_t x = 0; x < h.row_bytes; ++x) {
                            ink = ink || g_band_planes[p][i][x] != 0;
                        }
                    }
                }
                inked += ink ? 1 : 0;
                for (std::size_t p = 0; p < kPrnPlaneCount; ++p) {
                    for (std::uint32_t i = 0; i < b; ++i) {
                        std::memset(g_band_planes[p][i], 0, h.row_bytes);
                    }
                }
                left -= lines;
            }
            benchmark::DoNotOptimize(inked);
        });
    });
}

using Run = void (*)(benchmark::State&, const std::string*);
struct Named {
    const char* name;
    Run run;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    const std::filesystem::path folder = bench_support::make_bench_folder("velquorin-estimates");
    if (folder.empty()) {
        return 1;
    }
    g_large = (folder / "largest.prn").string();
    g_small = (folder / "small.prn").string();
    const std::uint64_t large_bytes = bench_support::prn_file_bytes(bench_support::kLargestLines);
    const bool large = bench_support::enough_space(folder, large_bytes);
    if (!large) {
        std::fprintf(stderr, "less than %.1f GB free under %s: the largest job is skipped\n",
                     2.0 * static_cast<double>(large_bytes) / 1e9, folder.c_str());
    }
    if (!bench_support::write_bench_file(g_small, kSmallLines) ||
        (large && !bench_support::write_bench_file(g_large, bench_support::kLargestLines))) {
        std::fprintf(stderr, "cannot write the print files under %s\n", folder.c_str());
        std::filesystem::remove_all(folder);
        return 1;
    }
    // Into the page cache before anything is timed.
    bench_support::read_whole_file(g_small);
    if (large) {
        bench_support::read_whole_file(g_large);
        const Named largest[] = {{"estimates/largest/ink", ink},
                                 {"estimates/largest/time", time_estimate},
                                 {"estimates/largest/plain_read", bench_support::plain_read}};
        for (const Named& n : largest) {
            benchmark::RegisterBenchmark(n.name, n.run, &g_large)
                ->Unit(benchmark::kMillisecond)
                ->Repetitions(5);
        }
    }
    const Named small[] = {{"estimates/small/ink", ink},
                           {"estimates/small/literal_ink", literal_ink},
                           {"estimates/small/time", time_estimate},
                           {"estimates/small/literal_time", literal_time}};
    for (const Named& n : small) {
        benchmark::RegisterBenchmark(n.name, n.run, &g_small)
            ->Unit(benchmark::kMillisecond)
            ->Repetitions(3);
    }

    bench_support::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    if (large) {
        reporter.print_ratio("ink_estimate_over_plain_read", "estimates/largest/ink",
                             "estimates/largest/plain_read");
        reporter.print_ratio("time_estimate_over_plain_read", "estimates/largest/time",
                             "estimates/largest/plain_read");
    }
    reporter.print_ratio("ink_literal_over_estimate", "estimates/small/literal_ink",
                         "estimates/small/ink");
    reporter.print_ratio("time_literal_over_estimate", "estimates/small/literal_time",
                         "estimates/small/time");
    benchmark::Shutdown();
    std::filesystem::remove_all(folder);
    return 0;
}
