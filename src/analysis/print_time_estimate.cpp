#include "analysis/print_time_estimate.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "analysis/file_reads.h"
#include "analysis/preview_builder.h"
#include "config/all_settings.h"
#include "engine/job_options.h"
#include "engine/prn_header.h"
#include "engine/prn_reader.h"
#include "engine/stepping.h"
#include "platform/file_handle.h"
#include "platform/files.h"

std::string g_print_time_text = "Time:Unknow";
std::string g_time_prn_path;

namespace {

// A band is read this many bytes at a time, and only until its first ink.
constexpr std::size_t kScanBytes = 64 * 1024;
constexpr const char* kCannotRead = "Print file can't read. Please try again later!";

bool all_zero(const std::uint8_t* bytes, std::size_t count) {
    std::uint64_t any = 0;
    std::size_t i = 0;
    for (; i + 8 <= count; i += 8) {
        std::uint64_t w;
        std::memcpy(&w, bytes + i, sizeof w);
        any |= w;
    }
    for (; i < count; ++i) {
        any |= bytes[i];
    }
    return any == 0;
}

// The passes of a band: one for each raster line of a 1/180-inch cell, 8 at any resolution
// the printer has no mode for.
std::uint32_t passes_for(std::uint32_t x_dpi, std::uint32_t y_dpi) {
    const std::uint32_t passes = lines_per_cell_for(x_dpi, y_dpi);
    return passes != 0 ? passes : 8;
}

std::uint8_t edge_kind_for(const PrintTimeOptions& options) {
    if (options.level_3d == "Braille") {
        return EDGE_BRAILLE;
    }
    if (!options.settings_file) {
        return EDGE_GAUSSIAN;
    }
    const std::optional<AllSettings> settings = AllSettings::read(*options.settings_file);
    const int feather = settings ? settings->value(AllSettings::feather_set) : 2;
    return feather == 0 ? EDGE_SHARP : feather == 1 ? EDGE_SMOOTH : EDGE_GAUSSIAN;
}

std::int64_t nearest(double value) {
    return static_cast<std::int64_t>(std::llround(value));
}

PrintTimeResult refuse(std::string message) {
    PrintTimeResult result;
    result.message = std::move(message);
    return result;
}

// The band loop's state: whether a band with ink has been counted, the blank rows since the
// last printed band, and the state of the band just classified (0 printed, 1 blank and
// skipped, 2 ends a skipped run and is printed).
struct BandCount {
    bool printing_started = false;
    std::uint64_t blank_rows = 0;  // 64 bits: a header may announce billions of blank lines
    int band_state = 0;
    std::int64_t bands = 0;
    float blank_ms = 0;
};

// classify_time_band and the counting of one band of b rows; pt is passes x head rows.
void classify_time_band(BandCount& c, bool ink, std::uint32_t b, std::uint64_t pt) {
    if (ink) {
        if (!c.printing_started) {
            c.band_state = c.blank_rows > 0 ? 2 : 0;
        } else if (c.blank_rows > pt) {
            c.band_state = 2;
        } else {
            c.band_state = 0;
            c.blank_rows = 0;
        }
    } else {
        c.blank_rows += b;
        if (!c.printing_started ? c.blank_rows > 0 : c.blank_rows > pt) {
            c.band_state = 1;
        }
    }
    if (c.band_state == 2) {
        const std::uint64_t run = c.blank_rows - (c.printing_started ? pt : 0);
        c.blank_ms = add_blank_run(c.blank_ms, run);
        c.blank_rows = 0;
        c.band_state = 0;
        ++c.bands;
        c.printing_started = true;
    } else if (c.band_state == 0) {
        ++c.bands;
        c.printing_started = true;
    }
}

// `count` blank bands of b rows in one step, as classify_time_band would take them one by
// one: a header that announces billions of lines past the end of the file costs nothing.
void count_blank_bands(BandCount& c, std::uint64_t count, std::uint32_t b, std::uint64_t pt) {
    if (count == 0) {
        return;
    }
    if (c.printing_started && c.blank_rows <= pt) {
        // Blank bands within pt rows of the last printed band are printed bands.
        c.bands += static_cast<std::int64_t>(std::min(count, (pt - c.blank_rows) / b));
    }
    c.blank_rows += count * b;
    if (!c.printing_started || c.blank_rows > pt) {
        c.band_state = 1;
    }
}

}  // namespace

float add_blank_run(float blank_ms, std::uint64_t run_rows) {
    return static_cast<float>(static_cast<double>(run_rows) * 3.48 +
                              (static_cast<double>(blank_ms) + 690.0) + 200.0);
}

std::int64_t price_print_time(std::uint32_t row_bytes, bool bidirectional,
                              std::int32_t bidir_extra_ms, int extra_layers, std::int64_t bands,
                              float blank_ms) {
    // Four pixels a byte, whatever the bits-per-pixel byte says.
    const float width_in = static_cast<float>(row_bytes * 4) / 720.0f;
    double pass_ms = static_cast<double>(width_in) * 25.399999 * 5.8 + 1000.0;
    if (bidirectional) {
        pass_ms = pass_ms * 0.5 + bidir_extra_ms;
    }
    const float band_ms = static_cast<float>(extra_layers * pass_ms + pass_ms);
    return nearest(static_cast<double>(bands) * band_ms / 1000.0) +
           nearest(static_cast<double>(blank_ms) / 1000.0);
}

bool is_time_single_layer(std::uint8_t ink_mode) {
    return ink_mode == 13 || is_single_layer_ink_mode(ink_mode);
}

std::optional<PrintTimeCell> print_time_cell(bool rotary, bool single_layer, std::uint32_t passes,
                                             std::uint8_t edge_kind) {
    // The estimate prices the same step rows, head rows and pass delays as the stepping, but
    // has no rotary cells at 10 passes (the stepping prints them with its flatbed rows).
    if (rotary && passes == PASS_COUNT_10) {
        return std::nullopt;
    }
    const SteppingRow* row = find_stepping_row(passes, single_layer, rotary, edge_kind);
    if (row == nullptr) {
        return std::nullopt;
    }
    PrintTimeCell cell;
    cell.band_rows = row->step_rows;
    cell.head_rows = row->head_rows;
    if (row->delay_ms >= 0) {
        cell.bidir_extra_ms = row->delay_ms;
    }
    return cell;
}

std::string format_print_time(std::int64_t seconds) {
    const std::int64_t hours = seconds / 3600;
    const std::int64_t rest = seconds - hours * 3600;
    const std::int64_t minutes = rest / 60;
    const std::int64_t secs = rest - 60 * minutes;
    char text[64];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", static_cast<long long>(hours),
                  static_cast<long long>(minutes), static_cast<long long>(secs));
    return text;
}

PrintTimeOptions time_options_from_row(TimeEstimator estimator, std::string_view level_3d,
                                       std::string_view direction, std::string_view copies) {
    PrintTimeOptions options;
    options.estimator = estimator;
    options.level_3d = std::string(level_3d);
    options.bidirectional =
        estimator == TimeEstimator::List ? direction == "Bi" : direction == "BiDirection";
    options.copies = engine::copies_for(copies);
    options.rotary = g_rotary_mode == 1;
    const std::filesystem::path settings = AllSettings::path();
    if (platform::exists(settings)) {
        options.settings_file = settings;
    }
    return options;
}

PrintTimeResult PrintTimeEstimator::estimate(const std::string& path,
                                             const PrintTimeOptions& options,
                                             const TimeProgress& progress) {
    const platform::FileHandle file = platform::open_regular_file(path);
    if (!file.is_open()) {
        return refuse(kCannotRead);
    }
    return estimate(file.get(), options, progress);
}

PrintTimeResult PrintTimeEstimator::estimate(int fd, const PrintTimeOptions& options,
                                             const TimeProgress& progress) {
    // Extra layers, and Braille prints both ways.
    const int extra_layers = engine::emboss_passes_for(options.level_3d);
    const bool bidirectional = options.bidirectional || options.level_3d == "Braille";

    std::uint8_t raw[kPrnHeaderSize] = {};
    const long got_header = analysis::pread_fully(fd, raw, sizeof raw, 0);
    if (got_header < 0) {
        return refuse(kCannotRead);
    }
    if (static_cast<std::size_t>(got_header) < kPrnHeaderSize) {
        return refuse(
            "The print file is shorter than its 120-byte header; its print time "
            "cannot be estimated.");
    }
    const PrnHeader h = parse_prn_header(raw);
    if (h.row_bytes > kTimeMaxRowBytes) {
        return refuse("The print file's plane rows are " + std::to_string(h.row_bytes) +
                      " bytes long, more than the 4252 bytes the time estimate reads.");
    }
    const std::uint32_t passes = passes_for(h.x_dpi, h.y_dpi);
    const std::optional<PrintTimeCell> cell = print_time_cell(
        options.rotary, is_time_single_layer(h.ink_mode), passes, edge_kind_for(options));
    // What the table leaves empty keeps this estimator's previous value.
    if (cell) {
        band_rows_ = cell->band_rows;
        head_rows_ = cell->head_rows;
        if (cell->bidir_extra_ms) {
            bidir_extra_ms_ = *cell->bidir_extra_ms;
        }
    }
    // With no cell and no earlier estimate there is no band size: the band loop could not
    // advance, so the job is refused.
    if (band_rows_ == 0) {
        return refuse(
            "The print time of this job cannot be estimated: the printer has no "
            "stepping for its print mode (rotary printing at 10 passes, or Braille "
            "with white or varnish layers).");
    }
    const std::uint32_t b = band_rows_;
    const std::uint64_t pt = std::uint64_t{passes} * head_rows_;
    if (progress) {
        progress(0, h.line_count);
    }

    BandCount count;
    const std::uint64_t line_bytes = std::uint64_t{h.row_bytes} * kPrnPlaneCount;
    static thread_local std::vector<std::uint8_t> scan(kScanBytes);
    std::uint32_t rows_left = h.line_count;
    std::uint32_t rows_done = 0;
    // Once the file has ended (or its rows are empty) every band left is blank.
    bool ended = line_bytes == 0;
    while (rows_left > 0 && !ended) {
        const std::uint32_t rows = std::min(b, rows_left);
        const std::uint64_t start = kPrnHeaderSize + std::uint64_t{rows_done} * line_bytes;
        const std::uint64_t wanted = line_bytes * rows;
        // Only the blank test looks at the data, so a band is read up to its first ink.
        bool ink = false;
        for (std::uint64_t at = 0; at < wanted && !ink && !ended;) {
            const std::size_t piece =
                static_cast<std::size_t>(std::min<std::uint64_t>(kScanBytes, wanted - at));
            const long got =
                analysis::pread_fully(fd, scan.data(), piece, static_cast<off_t>(start + at));
            if (got < 0) {
                // No end of the file: the bands it kept from being looked at are not known.
                return refuse(kCannotRead);
            }
            const std::size_t have = static_cast<std::size_t>(got);
            ink = !all_zero(scan.data(), have);
            ended = have < piece;
            at += have;
        }
        rows_done += rows;
        rows_left -= rows;
        classify_time_band(count, ink, b, pt);
        if (progress) {
            progress(rows_done, h.line_count);
        }
    }
    if (rows_left > 0) {
        count_blank_bands(count, (std::uint64_t{rows_left} + b - 1) / b, b, pt);
        if (progress) {
            progress(h.line_count, h.line_count);
        }
    }

    // Tail bands: the last lines pass under every nozzle row. The resolution along the feed
    // stands for the rows of a cell (180 a pass at the printer's own four), whatever it is.
    if (count.band_state == 0) {
        const std::int64_t rows =
            options.estimator == TimeEstimator::Dialog
                ? std::int64_t{h.y_dpi} - b - static_cast<std::int64_t>(count.blank_rows)
                : std::int64_t{h.y_dpi} + b - static_cast<std::int64_t>(count.blank_rows);
        if (rows > 0) {
            count.bands += rows / b;
        }
    }

    PrintTimeResult result;
    result.seconds = price_print_time(h.row_bytes, bidirectional, bidir_extra_ms_, extra_layers,
                                      count.bands, count.blank_ms);
    if (options.estimator == TimeEstimator::Dialog) {
        result.seconds *= options.copies;
    }
    result.text = format_print_time(result.seconds);
    result.bands = static_cast<int>(std::min<std::int64_t>(count.bands, INT32_MAX));
    result.blank_ms = count.blank_ms;
    result.ok = true;
    return result;
}
