#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/prn_header.h"
#include "platform/file_handle.h"

// The job preview: a small picture of the whole print, built from the print file. One plane
// byte across lines_per_cell raster lines covers 1/180 inch square at every accepted
// resolution; one preview pixel stands for column_step such squares across and down, of which
// only the first byte column is read (all its lines summed). Pixels are shaded from the dot
// counts of the inks the job shows, and the picture is stretched so that its longer side is
// 354 pixels. Nothing here needs a window: the progress dialog and the prn-analyse tool run
// the same code.

// Which inks a preview shows, by the job's ink mode.
enum PreviewClass : std::uint8_t {
    PREVIEW_COLOR,    // Black, Cyan, Magenta, Yellow
    PREVIEW_WHITE,    // White only
    PREVIEW_VARNISH,  // Varnish only
};

inline constexpr std::uint32_t kPreviewLongSide = 354;
// The longest plane row a preview reads.
inline constexpr std::uint32_t kPreviewMaxRowBytes = 3600;

PreviewClass preview_class_for(std::uint8_t ink_mode);
// Raster lines per 1/180-inch cell: 4, 8, 10 or 16; 0 for a resolution pair the printer has no
// mode for.
std::uint32_t lines_per_cell_for(std::uint32_t x_dpi, std::uint32_t y_dpi);

// Everything one build derives from the header (integer divisions truncate).
struct PreviewGeometry {
    std::uint32_t row_bytes = 0;
    std::uint32_t line_count = 0;
    std::uint32_t lines_per_cell = 0;  // M
    std::uint32_t column_step = 0;     // s: 1 up to 354 bytes a row, else row_bytes / 354
    std::uint32_t row_lines = 0;       // n = s x M, raster lines per preview row
    std::uint32_t rows = 0;            // R = line_count / n; the lines after the last are unread
    std::uint32_t width = 0;           // W = row_bytes / s
    float intensity = 0;               // f = M x 0.125
    PreviewClass preview_class = PREVIEW_COLOR;
    // The picture's size once stretched to a long side of 354 pixels.
    std::uint32_t target_width = 0;
    std::uint32_t target_height = 0;
};

enum class PreviewFailure {
    None,
    CannotOpen,     // "Print file can't read."
    CannotRead,     // a read failed part-way: "Print file can't read." too
    NoHeader,       // shorter than its 120-byte header
    BadResolution,  // a resolution pair the printer has no mode for
    BadLayout,      // row length 0 or over 3600, or fewer lines than one preview row
    WriteFailed,    // the bitmap file could not be written
};

struct PreviewCheck {
    PreviewFailure failure = PreviewFailure::None;
    std::string message;  // the box's text; empty when nothing failed
    PreviewGeometry geometry;
};

// The geometry of a header, or the reason a preview of it is refused.
PreviewCheck preview_geometry(const PrnHeader& header);

// The large, middle and small dot totals of one plane at one byte column of a preview row.
struct PlaneSums {
    std::uint32_t large = 0;
    std::uint32_t middle = 0;
    std::uint32_t small = 0;
};

// The colour of a pixel (0x00RRGGBB) from the sums of the six planes at its byte column;
// n is the lines per preview row, f the intensity factor.
std::uint32_t preview_shade(PreviewClass preview_class, const PlaneSums (&sums)[kPrnPlaneCount],
                            std::uint32_t n, float f);

// Reads a print file one preview row at a time and keeps the dot totals of the current row
// per plane and byte column. The file is read once, front to back; bytes the file lacks (a
// short file) count as blank, never as what an earlier row left in the buffers. A read that
// fails is no end of the file: nothing more is read, and failed() says so.
class PreviewReader {
  public:
    PreviewReader();
    ~PreviewReader();
    PreviewReader(const PreviewReader&) = delete;
    PreviewReader& operator=(const PreviewReader&) = delete;

    // Opens the print file and checks its header; on success the first row is next.
    PreviewCheck open(const std::string& path);
    const PreviewGeometry& geometry() const { return geometry_; }

    // Reads the next n raster lines and sums the sampled byte columns of the planes the class
    // shows (unless summed is false: the row is only read past and its sums stay 0). False
    // when all R rows have been read.
    bool read_row(bool summed = true);
    // True once the file ended before the lines read so far: every later row is blank.
    bool exhausted() const { return exhausted_; }
    // True once a read failed: the rows are not the file's, and the preview is no preview of it.
    bool failed() const { return failed_; }
    // The totals of the current row at byte column x (a multiple of s below row_bytes).
    PlaneSums sums(PrnPlane plane, std::uint32_t x) const;
    // The W pixels of the current row, 0x00RRGGBB each.
    void shade_row(std::uint32_t* pixels) const;
    // From the next row on, sums and shades only these preview pixels (ascending, below W);
    // the others are left as they are. All W at the start.
    void keep_columns(std::vector<std::uint32_t> pixels);

  private:
    void close();
    void clear_sums();
    void accumulate(const std::uint8_t* lines, std::uint32_t count);
    void store_sums();

    platform::FileHandle file_;
    bool exhausted_ = false;
    bool failed_ = false;
    std::uint32_t rows_read_ = 0;
    PreviewGeometry geometry_;
    std::vector<PrnPlane> planes_;        // the planes the class shows
    std::vector<std::uint32_t> columns_;  // the preview pixels summed
    // A few raster lines as read from the file: one read per chunk of whole lines.
    std::vector<std::uint8_t> chunk_;
    std::uint32_t chunk_lines_ = 0;
    // Per shown plane and preview pixel: the row's three dot totals packed 10 bits apart.
    std::vector<std::uint32_t> packed_;
    // Per plane, dot size (large, middle, small) and byte column: the row's totals. Sized for
    // the largest column index (row_bytes at most 3600); only the W sampled entries are used.
    std::vector<std::uint32_t> sums_;
};

// A picture in memory, rows top-down, pixels 0x00RRGGBB.
struct PreviewPicture {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<std::uint32_t> pixels;
};

struct PreviewProgress {
    std::function<void(std::uint32_t rows)> begin;  // before the first row: R
    std::function<void(std::uint32_t row)> row;     // after row r
};

struct PreviewResult {
    PreviewFailure failure = PreviewFailure::None;
    std::string message;
    PreviewGeometry geometry;
    PreviewPicture picture;  // the stretched picture when nothing failed
};

// Builds the stretched preview of a print file.
PreviewResult build_preview(const std::string& prn_path, const PreviewProgress& progress = {});

// Builds the preview and writes it as a bitmap file; the file is replaced whole or not at all.
PreviewResult write_preview_bitmap(const std::string& prn_path, const std::string& bmp_path,
                                   const PreviewProgress& progress = {});
