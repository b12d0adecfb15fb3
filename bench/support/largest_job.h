#pragma once

// The print files the whole-file scans are measured on: the largest job the size limits accept
// (501 x 701 mm at 720 x 2880 dpi: rows of 3,558 bytes, 79,597 lines, about 1.7 GB) and smaller
// files of the same row length, with random dots in every plane; a plain sequential read of a
// file, the limit a scan can reach; and the fresh folder they live in for one run.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/prn_header.h"
#include "prn_pattern.h"

namespace bench_support {

inline constexpr std::uint32_t kLargestRowBytes = 3558;
inline constexpr std::uint32_t kLargestLines = 79597;

inline std::uint64_t prn_file_bytes(std::uint32_t lines) {
    return kPrnHeaderSize + std::uint64_t{kLargestRowBytes} * kPrnPlaneCount * lines;
}

inline PrnHeader largest_job_header(std::uint32_t lines) {
    PrnHeader h;
    h.row_bytes = kLargestRowBytes;
    h.width_dots = kLargestRowBytes * 4;
    h.line_count = lines;
    h.x_dpi = 720;
    h.y_dpi = 2880;
    h.ink_mode = 1;
    return h;
}

// Random dots in every plane; a set of distinct lines repeated through the file, so that a
// file of 1.7 GB is written at the disk's pace.
inline bool write_bench_file(const std::string& path, std::uint32_t lines) {
    const PrnHeader h = largest_job_header(lines);
    constexpr std::uint32_t kDistinct = 61;
    const std::size_t line_bytes = std::size_t{kLargestRowBytes} * kPrnPlaneCount;
    std::vector<std::uint8_t> block(line_bytes * kDistinct);
    prn_gen::PatternSpec spec;
    spec.pattern = prn_gen::Pattern::Random;
    spec.density = 0.25;
    for (std::uint32_t l = 0; l < kDistinct; ++l) {
        prn_gen::fill_line(h, spec, l, block.data() + line_bytes * l);
    }
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        return false;
    }
    const std::string header = prn_gen::header_bytes(h);
    bool ok = ::write(fd, header.data(), header.size()) == static_cast<ssize_t>(header.size());
    for (std::uint32_t done = 0; ok && done < lines;) {
        const std::uint32_t now = std::min(kDistinct, lines - done);
        const std::size_t bytes = line_bytes * now;
        ok = ::write(fd, block.data(), bytes) == static_cast<ssize_t>(bytes);
        done += now;
    }
    // On disk before anything is timed, so that write-back does not run under the benchmarks.
    ok = ::fdatasync(fd) == 0 && ok;
    return ::close(fd) == 0 && ok;
}

inline std::uint64_t read_whole_file(const std::string& path) {
    static std::vector<std::uint8_t> buffer(1 << 20);
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return 0;
    }
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    std::uint64_t total = 0;
    for (;;) {
        const ssize_t got = ::read(fd, buffer.data(), buffer.size());
        if (got <= 0) {
            break;
        }
        total += static_cast<std::uint64_t>(got);
        benchmark::DoNotOptimize(buffer.data());
    }
    ::close(fd);
    return total;
}

inline void plain_read(benchmark::State& state, const std::string* path) {
    std::uint64_t bytes = 0;
    for (auto _ : state) {
        bytes = read_whole_file(*path);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}

inline bool enough_space(const std::filesystem::path& folder, std::uint64_t bytes) {
    struct statvfs fs {};
    return ::statvfs(folder.c_str(), &fs) == 0 &&
           std::uint64_t{fs.f_bavail} * fs.f_frsize >= 2 * bytes;
}

// A fresh folder under $TMPDIR (or /tmp) named after the benchmark; empty on failure.
inline std::filesystem::path make_bench_folder(const std::string& name) {
    const char* tmp = std::getenv("TMPDIR");
    const std::filesystem::path base = tmp && *tmp ? tmp : "/tmp";
    const std::string folder_template = (base / (name + "-XXXXXX")).string();
    std::vector<char> chars(folder_template.begin(), folder_template.end());
    chars.push_back('\0');
    if (!::mkdtemp(chars.data())) {
        std::fprintf(stderr, "cannot create a folder under %s\n", base.c_str());
        return {};
    }
    return chars.data();
}

}  // namespace bench_support
