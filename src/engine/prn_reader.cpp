#include "engine/prn_reader.h"

#include <sys/types.h>

#include <cstring>

#include "engine/channel_arrangement.h"
#include "engine/stepping.h"
#include "platform/ui/message_box.h"

std::uint8_t g_prn_header[kPrnHeaderSize] = {};
std::uint32_t g_row_bytes = 0;
std::uint32_t g_prn_line_count = 0;
std::uint32_t g_lines_left = 0;
std::uint32_t g_lines_read = 0;
std::uint32_t g_line_pixels = 0;
std::uint32_t g_pass_count = 0;
std::uint32_t g_band_index = 0;
std::uint8_t g_prn_layout_ok = 0;
std::uint8_t g_prn_read_failed = 0;

alignas(64) std::uint8_t g_input_planes[kPrnPlaneCount][kInputWindowRows][kPlaneRowBytes];

namespace {

// Large sequential reads: a band is read plane row by plane row, so the stream buffer keeps
// the reads from the disk large.
constexpr std::size_t kReadBufferBytes = 1 << 20;

// The window rows a band may touch; the stepping tables keep W + S at most 2867.
bool band_fits_window() {
    return std::uint64_t{g_window_start_row} + g_step_rows <= kInputWindowRows;
}

// Reads one plane row of the file into a window row. A short read (a truncated file) leaves
// the rest of the row blank; one cut short by an error also marks the reading failed. The window
// holds 7200 bytes of a row; the rest of a longer file row is passed over, so the file position
// stays on the next row.
void read_plane_row(std::FILE* file, std::uint8_t* row) {
    const std::uint32_t held = held_row_bytes(g_row_bytes);
    std::size_t got = 0;
    if (file != nullptr) {
        got = std::fread(row, 1, held, file);
        if (got < held && std::ferror(file)) {
            g_prn_read_failed = 1;
        }
        if (g_row_bytes > held) {
            fseeko(file, static_cast<off_t>(g_row_bytes - held), SEEK_CUR);
        }
    }
    if (got < held) {
        std::memset(row + got, 0, held - got);
    }
}

}  // namespace

bool open_prn_file(const std::string& path) {
    if (!g_prn_file.open(path)) {
        return false;
    }
    std::setvbuf(g_prn_file.stream(), nullptr, _IOFBF, kReadBufferBytes);
    return true;
}

void close_prn_file() {
    g_prn_file.close();
}

void read_prn_header() {
    // A file shorter than its header reads as zeros past its end.
    std::memset(g_prn_header, 0, sizeof g_prn_header);
    g_prn_read_failed = 0;
    if (std::FILE* file = g_prn_file.stream(); file != nullptr) {
        fseeko(file, 0, SEEK_SET);
        const std::size_t got = std::fread(g_prn_header, 1, kPrnHeaderSize, file);
        if (got < kPrnHeaderSize && std::ferror(file)) {
            g_prn_read_failed = 1;
        }
    }
    const PrnHeader prn_header = parse_prn_header(g_prn_header);
    g_row_bytes = prn_header.row_bytes;
    g_prn_line_count = prn_header.line_count;
    g_lines_left = prn_header.line_count;
    g_lines_read = 0;
    if (prn_header.bits_per_pixel == 1) {
        g_line_pixels = prn_header.row_bytes * 8;
    } else if (prn_header.bits_per_pixel == 2) {
        g_line_pixels = prn_header.row_bytes * 4;
    }
    g_column_count = g_line_pixels + kColumnOffsetSpan;
    g_direction = prn_header.direction;
    g_ink_mode = prn_header.ink_mode;

    // Computed wide, since a corrupt row length makes the 32-bit products wrap.
    const std::uint64_t pixels =
        std::uint64_t{prn_header.row_bytes} * (prn_header.bits_per_pixel == 1 ? 8 : 4);
    const std::uint64_t columns = (prn_header.bits_per_pixel == 1 || prn_header.bits_per_pixel == 2)
                                      ? pixels + kColumnOffsetSpan
                                      : std::uint64_t{g_column_count};
    g_prn_layout_ok =
        prn_header.row_bytes <= kPlaneRowBytes && columns <= kNozzlePlaneColumns ? 1 : 0;

    std::uint32_t passes = 0;
    if (prn_header.x_dpi == 720) {
        switch (prn_header.y_dpi) {
            case 720:
                passes = PASS_COUNT_4;
                break;
            case 1440:
                passes = PASS_COUNT_8;
                break;
            case 1800:
                passes = PASS_COUNT_10;
                break;
            case 2880:
                passes = PASS_COUNT_16;
                break;
            default:
                break;
        }
    }
    if (passes == 0) {
        // A header that could not be read names no image mode: the job printer tells the
        // operator the file cannot be read instead.
        if (g_prn_read_failed == 0) {
            platform::ui::message_box("Please select right image mode!\n", "",
                                      platform::ui::Buttons::Ok);
        }
        return;
    }
    g_pass_count = passes;
}

void clear_print_planes() {
    const std::uint32_t held = held_row_bytes(g_row_bytes);
    for (auto& plane : g_pass_planes) {
        for (auto& row : plane) {
            std::memset(row, 0, held);
        }
    }
    for (auto& plane : g_input_planes) {
        for (auto& row : plane) {
            std::memset(row, 0, held);
        }
    }
}

void shift_input_window() {
    const std::uint32_t s = g_step_rows;
    const std::uint32_t w = g_window_start_row;
    if (w == 0 || !band_fits_window()) {
        return;
    }
    const std::uint32_t held = held_row_bytes(g_row_bytes);
    // Ascending order is safe: the source row S + i always lies below the destination row i.
    for (auto& plane : g_input_planes) {
        for (std::uint32_t i = 0; i < w; ++i) {
            std::memmove(plane[i], plane[s + i], held);
        }
    }
}

void seek_prn_band() {
    // 64-bit offset: a 32-bit product wraps for files past 4 GiB.
    const std::uint64_t offset =
        kPrnHeaderSize + std::uint64_t{kPrnPlaneCount} * g_row_bytes * g_step_rows * g_band_index;
    if (std::FILE* file = g_prn_file.stream(); file != nullptr) {
        fseeko(file, static_cast<off_t>(offset), SEEK_SET);
    }
    g_band_index += 1;
}

void read_band_from_prn() {
    if (!band_fits_window()) {
        return;
    }
    const std::uint32_t s = g_step_rows;
    const std::uint32_t w = g_window_start_row;
    std::uint32_t lines = s;
    if (g_lines_left < s) {
        clear_step_rows();
        lines = g_lines_left;
    }
    std::FILE* const file = g_prn_file.stream();
    for (std::uint32_t j = 0; j < lines; ++j) {
        for (auto& plane : g_input_planes) {
            read_plane_row(file, plane[w + j]);
        }
    }
    g_lines_read += lines;
    g_lines_left -= lines;
}

void clear_step_rows() {
    if (!band_fits_window()) {
        return;
    }
    const std::uint32_t held = held_row_bytes(g_row_bytes);
    for (auto& plane : g_input_planes) {
        for (std::uint32_t j = 0; j < g_step_rows; ++j) {
            std::memset(plane[g_window_start_row + j], 0, held);
        }
    }
}
