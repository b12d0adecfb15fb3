#include "analysis/preview_builder.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "analysis/bitmap_file.h"
#include "analysis/dot_counts.h"
#include "analysis/file_reads.h"

namespace {

using analysis::read_fully;

constexpr std::uint32_t kDotSizes = 3;  // large, middle, small
// Raster lines are read a few at a time, about this many bytes a read: few calls, and the
// lines are still in the processor's cache when their bytes are decoded.
constexpr std::size_t kChunkBytes = 256 * 1024;

// The three counts of a byte packed 10 bits apart, so that one addition adds all three. A
// preview row sums at most 160 lines of 4 dots, which stays below 1024.
constexpr unsigned kPackShift = 10;
constexpr std::uint32_t kPackMask = (1u << kPackShift) - 1;
constexpr std::array<std::uint32_t, 256> kPackedDotCounts = [] {
    std::array<std::uint32_t, 256> table{};
    for (std::size_t byte = 0; byte < 256; ++byte) {
        const DotCounts c = kDotCountTable[byte];
        table[byte] = c.large | std::uint32_t{c.middle} << kPackShift |
                      std::uint32_t{c.small} << (2 * kPackShift);
    }
    return table;
}();

const char kCannotRead[] = "Print file can't read.";
const char kBadResolution[] = "请选择正确图象模式!\n";
const char kCreateFailed[] = "Create preview failed，Please run in administrator!";

PreviewCheck refuse(PreviewFailure failure, std::string message) {
    PreviewCheck check;
    check.failure = failure;
    check.message = std::move(message);
    return check;
}

std::uint32_t nearest(float value) {
    return static_cast<std::uint32_t>(std::lround(value));
}

std::uint32_t nearest(double value) {
    return static_cast<std::uint32_t>(std::lround(value));
}

// The stretch to a long side of 354 pixels, in single precision as the picture's size has
// always been worked out.
void set_target_size(PreviewGeometry& g) {
    const float row_bytes = static_cast<float>(g.row_bytes);
    const float lines = static_cast<float>(g.line_count);
    const float m = static_cast<float>(g.lines_per_cell);
    const float s = static_cast<float>(g.column_step);
    const float r = static_cast<float>(g.rows);
    const float side = static_cast<float>(kPreviewLongSide);
    const std::uint32_t cells_down = g.line_count / g.lines_per_cell;
    if (cells_down > g.row_bytes) {
        g.target_height = kPreviewLongSide;
        g.target_width = cells_down > kPreviewLongSide ? nearest((side / (lines / m)) * row_bytes)
                                                       : nearest((row_bytes / (lines / m)) * side);
    } else {
        g.target_width = kPreviewLongSide;
        g.target_height = g.width > kPreviewLongSide ? nearest((side / (row_bytes / s)) * r)
                                                     : nearest(((lines / m) / row_bytes) * side);
    }
    // A bitmap has at least one pixel each way.
    g.target_width = std::max<std::uint32_t>(g.target_width, 1);
    g.target_height = std::max<std::uint32_t>(g.target_height, 1);
}

// ((weights . sums) div n) / divisor x f, to the nearest whole percent, at most 100.
std::uint32_t percent(std::uint32_t weighted, std::uint32_t n, double divisor, float f) {
    const double value = static_cast<double>(weighted / n) / divisor * static_cast<double>(f);
    return std::min<std::uint32_t>(nearest(value), 100);
}

std::uint32_t black_percent(const PlaneSums& p, std::uint32_t n, float f) {
    return percent(40 * (p.large + p.middle) + 28 * p.small, n, 1.2, f);
}

std::uint32_t rgb(std::uint32_t red, std::uint32_t green, std::uint32_t blue) {
    return red << 16 | green << 8 | blue;
}

}  // namespace

PreviewClass preview_class_for(std::uint8_t ink_mode) {
    switch (ink_mode) {
        case 2:
        case 3:
        case 13:
            return PREVIEW_WHITE;
        case 4:
            return PREVIEW_VARNISH;
        default:
            return PREVIEW_COLOR;
    }
}

std::uint32_t lines_per_cell_for(std::uint32_t x_dpi, std::uint32_t y_dpi) {
    if (x_dpi != 720) {
        return 0;
    }
    switch (y_dpi) {
        case 720:
            return 4;
        case 1440:
            return 8;
        case 1800:
            return 10;
        case 2880:
            return 16;
        default:
            return 0;
    }
}

PreviewCheck preview_geometry(const PrnHeader& header) {
    PreviewGeometry g;
    g.row_bytes = header.row_bytes;
    g.line_count = header.line_count;
    g.lines_per_cell = lines_per_cell_for(header.x_dpi, header.y_dpi);
    if (g.lines_per_cell == 0) {
        return refuse(PreviewFailure::BadResolution, kBadResolution);
    }
    g.preview_class = preview_class_for(header.ink_mode);
    // A row length of 0 would leave no pixel and divide by zero; rows longer than 3600 bytes
    // are beyond what a preview reads. Neither comes from a working raster image processor.
    if (g.row_bytes == 0) {
        return refuse(PreviewFailure::BadLayout,
                      "The print file's raster lines are empty (row length 0); no preview can "
                      "be made.");
    }
    if (g.row_bytes > kPreviewMaxRowBytes) {
        return refuse(PreviewFailure::BadLayout,
                      "The print file's plane rows are " + std::to_string(g.row_bytes) +
                          " bytes long, more than the 3600 bytes a preview reads; no preview "
                          "can be made.");
    }
    g.column_step = g.row_bytes <= kPreviewLongSide ? 1 : g.row_bytes / kPreviewLongSide;
    g.row_lines = g.column_step * g.lines_per_cell;
    g.rows = g.line_count / g.row_lines;
    g.width = g.row_bytes / g.column_step;
    g.intensity = static_cast<float>(g.lines_per_cell * 0.125);
    // Fewer lines than one preview row would make a picture of no rows.
    if (g.line_count < g.lines_per_cell) {
        return refuse(PreviewFailure::BadLayout,
                      "The print file has " + std::to_string(g.line_count) +
                          " raster lines, fewer than the " + std::to_string(g.lines_per_cell) +
                          " of one cell at its resolution; no preview can be made.");
    }
    if (g.rows == 0) {
        return refuse(PreviewFailure::BadLayout,
                      "The print file has " + std::to_string(g.line_count) +
                          " raster lines, fewer than the " + std::to_string(g.row_lines) +
                          " of one preview row; no preview can be made.");
    }
    set_target_size(g);
    PreviewCheck check;
    check.geometry = g;
    return check;
}

std::uint32_t preview_shade(PreviewClass preview_class, const PlaneSums (&sums)[kPrnPlaneCount],
                            std::uint32_t n, float f) {
    switch (preview_class) {
        case PREVIEW_WHITE: {
            const PlaneSums& w = sums[PRN_PLANE_WHITE];
            const std::uint32_t value = (100 * w.large + 66 * w.middle + 33 * w.small) / n / 4;
            return value != 0 ? rgb(242, 244, 237) : rgb(255, 255, 255);
        }
        case PREVIEW_VARNISH: {
            const std::uint32_t v = black_percent(sums[PRN_PLANE_VARNISH], n, f);
            const std::uint32_t grey = (100 - v) * 100 * 255 / 10000;
            return rgb(grey, grey, grey);
        }
        case PREVIEW_COLOR:
        default: {
            const PlaneSums& cs = sums[PRN_PLANE_CYAN];
            const PlaneSums& ms = sums[PRN_PLANE_MAGENTA];
            const PlaneSums& ys = sums[PRN_PLANE_YELLOW];
            const std::uint32_t k = black_percent(sums[PRN_PLANE_BLACK], n, f);
            const std::uint32_t c =
                percent(90 * cs.large + 55 * cs.middle + 40 * cs.small, n, 1.6, f);
            const std::uint32_t m =
                percent(80 * ms.large + 50 * ms.middle + 33 * ms.small, n, 1.7, f);
            const std::uint32_t y =
                percent(100 * ys.large + 66 * ys.middle + 55 * ys.small, n, 1.7, f);
            return rgb((100 - c) * (100 - k) * 255 / 10000, (100 - m) * (100 - k) * 255 / 10000,
                       (100 - y) * (100 - k) * 255 / 10000);
        }
    }
}

PreviewReader::PreviewReader() : sums_(kPrnPlaneCount * kDotSizes * kPreviewMaxRowBytes, 0) {}

PreviewReader::~PreviewReader() {
    close();
}

void PreviewReader::close() {
    file_.close();
}

PreviewCheck PreviewReader::open(const std::string& path) {
    close();
    exhausted_ = false;
    failed_ = false;
    rows_read_ = 0;
    std::fill(sums_.begin(), sums_.end(), 0);
    // The window waits for this build: a pipe or a device at the print file's name is a file
    // that cannot be read, never one to wait on.
    file_ = platform::open_regular_file(path);
    if (!file_.is_open()) {
        return refuse(PreviewFailure::CannotOpen, kCannotRead);
    }
    ::posix_fadvise(file_.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    std::uint8_t header[kPrnHeaderSize] = {};
    const long got = read_fully(file_.get(), header, sizeof header);
    if (got < 0) {
        close();
        return refuse(PreviewFailure::CannotOpen, kCannotRead);
    }
    if (static_cast<std::size_t>(got) < kPrnHeaderSize) {
        close();
        return refuse(PreviewFailure::NoHeader,
                      "The print file is shorter than its 120-byte header; no preview can be "
                      "made.");
    }
    PreviewCheck check = preview_geometry(parse_prn_header(header));
    if (check.failure != PreviewFailure::None) {
        close();
        return check;
    }
    geometry_ = check.geometry;
    planes_.clear();
    switch (geometry_.preview_class) {
        case PREVIEW_WHITE:
            planes_ = {PRN_PLANE_WHITE};
            break;
        case PREVIEW_VARNISH:
            planes_ = {PRN_PLANE_VARNISH};
            break;
        case PREVIEW_COLOR:
        default:
            planes_ = {PRN_PLANE_BLACK, PRN_PLANE_CYAN, PRN_PLANE_MAGENTA, PRN_PLANE_YELLOW};
            break;
    }
    const std::size_t line_bytes = std::size_t{geometry_.row_bytes} * kPrnPlaneCount;
    chunk_lines_ = static_cast<std::uint32_t>(
        std::clamp<std::size_t>(kChunkBytes / line_bytes, 1, geometry_.row_lines));
    chunk_.assign(line_bytes * chunk_lines_, 0);
    columns_.resize(geometry_.width);
    for (std::uint32_t p = 0; p < geometry_.width; ++p) {
        columns_[p] = p;
    }
    packed_.assign(planes_.size() * geometry_.width, 0);
    return check;
}

void PreviewReader::keep_columns(std::vector<std::uint32_t> pixels) {
    clear_sums();
    columns_ = std::move(pixels);
}

void PreviewReader::clear_sums() {
    const PreviewGeometry& g = geometry_;
    for (const PrnPlane plane : planes_) {
        for (std::uint32_t size = 0; size < kDotSizes; ++size) {
            std::uint32_t* sums = &sums_[(plane * kDotSizes + size) * kPreviewMaxRowBytes];
            for (const std::uint32_t p : columns_) {
                sums[p * g.column_step] = 0;
            }
        }
    }
}

void PreviewReader::accumulate(const std::uint8_t* lines, std::uint32_t count) {
    // Locals, so that the stores into the packed totals cannot be taken to change them.
    const std::size_t row_bytes = geometry_.row_bytes;
    const std::size_t step = geometry_.column_step;
    const std::size_t line_bytes = row_bytes * kPrnPlaneCount;
    const std::uint32_t* const columns = columns_.data();
    const std::size_t column_count = columns_.size();
    const std::uint32_t* const table = kPackedDotCounts.data();
    for (std::size_t i = 0; i < planes_.size(); ++i) {
        const std::uint8_t* first_row = lines + std::size_t{planes_[i]} * row_bytes;
        std::uint32_t* packed = packed_.data() + i * column_count;
        // Only every s-th byte column is read: the first of each pixel's columns, down all the
        // lines of the chunk, which are still in the processor's cache.
        for (std::size_t k = 0; k < column_count; ++k) {
            const std::uint8_t* column = first_row + columns[k] * step;
            std::uint32_t sum = 0;
            for (std::uint32_t j = 0; j < count; ++j) {
                sum += table[column[line_bytes * j]];
            }
            packed[k] += sum;
        }
    }
}

void PreviewReader::store_sums() {
    const PreviewGeometry& g = geometry_;
    for (std::size_t i = 0; i < planes_.size(); ++i) {
        std::uint32_t* packed = packed_.data() + i * columns_.size();
        std::uint32_t* large = &sums_[(planes_[i] * kDotSizes + 0) * kPreviewMaxRowBytes];
        std::uint32_t* middle = large + kPreviewMaxRowBytes;
        std::uint32_t* small = middle + kPreviewMaxRowBytes;
        for (std::size_t k = 0; k < columns_.size(); ++k) {
            const std::uint32_t x = columns_[k] * g.column_step;
            large[x] += packed[k] & kPackMask;
            middle[x] += packed[k] >> kPackShift & kPackMask;
            small[x] += packed[k] >> (2 * kPackShift);
            packed[k] = 0;
        }
    }
}

bool PreviewReader::read_row(bool summed) {
    if (!file_.is_open() || rows_read_ >= geometry_.rows) {
        return false;
    }
    clear_sums();
    const std::size_t line_bytes = std::size_t{geometry_.row_bytes} * kPrnPlaneCount;
    for (std::uint32_t left = geometry_.row_lines; left > 0 && !exhausted_;) {
        const std::uint32_t lines = std::min(left, chunk_lines_);
        const std::size_t wanted = line_bytes * lines;
        const long got = read_fully(file_.get(), chunk_.data(), wanted);
        if (got < 0) {
            failed_ = true;
            exhausted_ = true;
            return false;
        }
        if (static_cast<std::size_t>(got) < wanted) {
            // The file ends early: what it lacks is blank, here and in every row after, so
            // nothing an earlier read left in the buffer is counted again.
            std::memset(chunk_.data() + got, 0, wanted - static_cast<std::size_t>(got));
            exhausted_ = true;
        }
        if (summed) {
            accumulate(chunk_.data(), lines);
        }
        left -= lines;
    }
    store_sums();
    ++rows_read_;
    return true;
}

PlaneSums PreviewReader::sums(PrnPlane plane, std::uint32_t x) const {
    const std::uint32_t* large = &sums_[(plane * kDotSizes + 0) * kPreviewMaxRowBytes];
    return {large[x], large[x + kPreviewMaxRowBytes], large[x + 2 * kPreviewMaxRowBytes]};
}

void PreviewReader::shade_row(std::uint32_t* pixels) const {
    const PreviewGeometry& g = geometry_;
    for (const std::uint32_t p : columns_) {
        const std::uint32_t x = p * g.column_step;
        PlaneSums at[kPrnPlaneCount];
        for (const PrnPlane plane : planes_) {
            at[plane] = sums(plane, x);
        }
        pixels[p] = preview_shade(g.preview_class, at, g.row_lines, g.intensity);
    }
}

PreviewResult build_preview(const std::string& prn_path, const PreviewProgress& progress) {
    PreviewResult result;
    PreviewReader reader;
    PreviewCheck check = reader.open(prn_path);
    result.geometry = check.geometry;
    if (check.failure != PreviewFailure::None) {
        result.failure = check.failure;
        result.message = std::move(check.message);
        return result;
    }
    const PreviewGeometry& g = reader.geometry();
    if (progress.begin) {
        progress.begin(g.rows);
    }
    PreviewPicture& picture = result.picture;
    picture.width = g.target_width;
    picture.height = g.target_height;
    picture.pixels.assign(std::size_t{picture.width} * picture.height, 0);

    // The stretch takes the nearest source pixel: target column t shows preview pixel
    // t x W / target width, target row u preview row u x R / target height. It is done row by
    // row as the preview rows come, so no picture of all R rows is ever held.
    std::vector<std::uint32_t> source_column(picture.width);
    for (std::uint32_t t = 0; t < picture.width; ++t) {
        source_column[t] = static_cast<std::uint32_t>(std::uint64_t{t} * g.width / picture.width);
    }
    const auto source_row = [&](std::uint32_t u) {
        return static_cast<std::uint32_t>(std::uint64_t{u} * g.rows / picture.height);
    };
    // A preview pixel that no column of the stretched picture shows is never summed.
    std::vector<std::uint32_t> shown_columns(source_column);
    shown_columns.erase(std::unique(shown_columns.begin(), shown_columns.end()),
                        shown_columns.end());
    reader.keep_columns(std::move(shown_columns));
    std::vector<std::uint32_t> row_pixels(g.width);
    std::uint32_t next_target_row = 0;
    for (std::uint32_t r = 0; r < g.rows && next_target_row < picture.height; ++r) {
        if (reader.exhausted()) {
            // The file has ended: every row from here on is blank, so there is no need to go
            // through them one by one (a header may announce far more lines than the file has).
            const PlaneSums none[kPrnPlaneCount] = {};
            const std::uint32_t blank =
                preview_shade(g.preview_class, none, g.row_lines, g.intensity);
            std::fill(picture.pixels.begin() + std::size_t{next_target_row} * picture.width,
                      picture.pixels.end(), blank);
            break;
        }
        // A row that no row of the stretched picture shows is read past, not decoded.
        const bool shown = source_row(next_target_row) == r;
        if (!reader.read_row(shown) && reader.failed()) {
            result.failure = PreviewFailure::CannotRead;
            result.message = kCannotRead;
            result.picture = PreviewPicture{};
            return result;
        }
        if (shown) {
            reader.shade_row(row_pixels.data());
        }
        for (; next_target_row < picture.height && source_row(next_target_row) == r;
             ++next_target_row) {
            std::uint32_t* out = &picture.pixels[std::size_t{next_target_row} * picture.width];
            for (std::uint32_t t = 0; t < picture.width; ++t) {
                out[t] = row_pixels[source_column[t]];
            }
        }
        if (progress.row) {
            progress.row(r);
        }
    }
    return result;
}

PreviewResult write_preview_bitmap(const std::string& prn_path, const std::string& bmp_path,
                                   const PreviewProgress& progress) {
    PreviewResult result = build_preview(prn_path, progress);
    if (result.failure == PreviewFailure::None && !save_bitmap_to_file(result.picture, bmp_path)) {
        result.failure = PreviewFailure::WriteFailed;
        result.message = kCreateFailed;
    }
    return result;
}
