// The preview of the largest job the size limits accept (501 x 701 mm at 720 x 2880 dpi: rows
// of 3,558 bytes, 79,597 lines, about 1.7 GB) against a plain sequential read of the same file,
// and, on a smaller file of the same row length, against the literal per-pixel loops (one
// read per plane row, every sampled byte decoded code by code, the sums kept in
// arrays of 3,600,000 entries cleared whole after every preview row), all in the same run with
// the files in the page cache. Prints "ratio <name> <value>" lines after the table.
//
// The files go to a fresh folder under $TMPDIR (or /tmp) and are deleted at the end; the large
// benchmarks are skipped when that disk has less than twice the file's size free.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "analysis/dot_counts.h"
#include "analysis/preview_builder.h"
#include "largest_job.h"
#include "ratio_reporter.h"

namespace {

using bench_support::enough_space;
using bench_support::plain_read;
using bench_support::read_whole_file;
using bench_support::write_bench_file;

constexpr std::uint32_t kLargeLines = bench_support::kLargestLines;
// Ten preview rows of 160 lines: long enough for the plain loops to show their cost per row.
constexpr std::uint32_t kSmallLines = 1600;

std::filesystem::path g_folder;
std::string g_large;
std::string g_small;

void builder(benchmark::State& state, const std::string* path) {
    for (auto _ : state) {
        const PreviewResult result = build_preview(*path);
        if (result.failure != PreviewFailure::None) {
            state.SkipWithError(result.message.c_str());
            return;
        }
        benchmark::DoNotOptimize(result.picture.pixels.data());
    }
    state.SetBytesProcessed(
        static_cast<std::int64_t>(state.iterations() * std::filesystem::file_size(*path)));
}

// The literal loops: buffers as first sized (1000 line slots, 3,600,000 sums), one read per plane
// row, each sampled byte decoded code by code, each pixel shaded and set on a picture of all R
// rows, the sums of the shown planes and the six plane buffers cleared whole after every row,
// and the picture stretched once at the end. kSumEntries is 3,600,000 as first sized, or 3600
// as the largest column index needs.
template <std::size_t kSumEntries>
struct LiteralLoops {
    static inline std::uint8_t planes[kPrnPlaneCount][1000][3600];
    static inline std::uint32_t sums[kPrnPlaneCount * 3][kSumEntries];

    static PreviewPicture build(const std::string& path) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        std::uint8_t raw[kPrnHeaderSize];
        if (fd < 0 || ::read(fd, raw, sizeof raw) != static_cast<ssize_t>(sizeof raw)) {
            return {};
        }
        const PreviewGeometry g = preview_geometry(parse_prn_header(raw)).geometry;
        const PrnPlane shown[] = {PRN_PLANE_BLACK, PRN_PLANE_CYAN, PRN_PLANE_MAGENTA,
                                  PRN_PLANE_YELLOW};
        std::vector<std::uint32_t> picture(std::size_t{g.width} * g.rows);
        for (std::uint32_t r = 0; r < g.rows; ++r) {
            for (std::uint32_t j = 0; j < g.row_lines; ++j) {
                for (std::size_t p = 0; p < kPrnPlaneCount; ++p) {
                    if (::read(fd, planes[p][j], g.row_bytes) < 0) {
                        std::abort();
                    }
                }
            }
            for (std::uint32_t j = 0; j < g.row_lines; ++j) {
                for (std::uint32_t x = 0; x < g.row_bytes; x += g.column_step) {
                    for (const PrnPlane p : shown) {
                        const DotCounts c = decode_dot_counts(planes[p][j][x]);
                        sums[p * 3 + 0][x] += c.large;
                        sums[p * 3 + 1][x] += c.middle;
                        sums[p * 3 + 2][x] += c.small;
                    }
                }
            }
            for (std::uint32_t p = 0; p < g.width; ++p) {
                const std::uint32_t x = p * g.column_step;
                PlaneSums at[kPrnPlaneCount] = {};
                for (const PrnPlane plane : shown) {
                    at[plane] = {sums[plane * 3][x], sums[plane * 3 + 1][x],
                                 sums[plane * 3 + 2][x]};
                }
                picture[std::size_t{r} * g.width + p] =
                    preview_shade(g.preview_class, at, g.row_lines, g.intensity);
            }
            for (const PrnPlane plane : shown) {
                for (int size = 0; size < 3; ++size) {
                    std::memset(sums[plane * 3 + size], 0, sizeof sums[0]);
                }
            }
            std::memset(planes, 0, sizeof planes);
        }
        ::close(fd);
        PreviewPicture out;
        out.width = g.target_width;
        out.height = g.target_height;
        out.pixels.resize(std::size_t{out.width} * out.height);
        for (std::uint32_t v = 0; v < out.height; ++v) {
            for (std::uint32_t t = 0; t < out.width; ++t) {
                out.pixels[std::size_t{v} * out.width + t] =
                    picture[std::size_t{v} * g.rows / out.height * g.width +
                            std::size_t{t} * g.width / out.width];
            }
        }
        return out;
    }
};

template <std::size_t kSumEntries>
void literal(benchmark::State& state, const std::string* path) {
    for (auto _ : state) {
        const PreviewPicture picture = LiteralLoops<kSumEntries>::build(*path);
        benchmark::DoNotOptimize(picture.pixels.data());
    }
    state.SetBytesProcessed(
        static_cast<std::int64_t>(state.iterations() * std::filesystem::file_size(*path)));
}

double ratio(const bench_support::RatioReporter& r, const char* a, const char* b) {
    const double tb = r.time_of(b);
    return tb > 0 ? r.time_of(a) / tb : 0.0;
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    g_folder = bench_support::make_bench_folder("velquorin-preview-bench");
    if (g_folder.empty()) {
        return 1;
    }
    g_large = (g_folder / "largest.prn").string();
    g_small = (g_folder / "small.prn").string();

    const std::uint64_t large_bytes = bench_support::prn_file_bytes(kLargeLines);
    const bool large = enough_space(g_folder, large_bytes);
    if (!large) {
        std::fprintf(stderr, "less than %.1f GB free under %s: the largest job is skipped\n",
                     2.0 * static_cast<double>(large_bytes) / 1e9, g_folder.c_str());
    }
    if (!write_bench_file(g_small, kSmallLines) ||
        (large && !write_bench_file(g_large, kLargeLines))) {
        std::fprintf(stderr, "cannot write the print files under %s\n", g_folder.c_str());
        std::filesystem::remove_all(g_folder);
        return 1;
    }
    // Into the page cache before anything is timed.
    read_whole_file(g_small);
    if (large) {
        read_whole_file(g_large);
    }

    if (large) {
        benchmark::RegisterBenchmark("preview/largest/builder", builder, &g_large)
            ->Unit(benchmark::kMillisecond)
            ->Repetitions(5);
        benchmark::RegisterBenchmark("preview/largest/plain_read", plain_read, &g_large)
            ->Unit(benchmark::kMillisecond)
            ->Repetitions(5);
    }
    benchmark::RegisterBenchmark("preview/small/builder", builder, &g_small)
        ->Unit(benchmark::kMillisecond)
        ->Repetitions(5);
    benchmark::RegisterBenchmark("preview/small/literal", literal<3600000>, &g_small)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1)
        ->Repetitions(3);
    benchmark::RegisterBenchmark("preview/small/literal_small_sums", literal<3600>, &g_small)
        ->Unit(benchmark::kMillisecond)
        ->Repetitions(3);

    bench_support::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    if (large) {
        std::printf("ratio preview_builder_over_plain_read %.2f\n",
                    ratio(reporter, "preview/largest/builder", "preview/largest/plain_read"));
    }
    std::printf("ratio preview_literal_over_builder %.1f\n",
                ratio(reporter, "preview/small/literal", "preview/small/builder"));
    std::printf("ratio preview_literal_small_sums_over_builder %.1f\n",
                ratio(reporter, "preview/small/literal_small_sums", "preview/small/builder"));
    benchmark::Shutdown();
    std::filesystem::remove_all(g_folder);
    return 0;
}
