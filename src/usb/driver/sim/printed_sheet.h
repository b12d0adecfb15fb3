#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

#include <QImage>

// The sheet the simulated printer put on the media, rebuilt from what it received: the band
// data of each pass, the pass's direction, and the media feeds. At the end of each job it
// writes sheet-NNN.png (every head slot's dots in its ink colour, at the job's true aspect:
// one pixel a column across and 1/720 inch along) and sheet-NNN.json (per head slot: dots
// printed, and dots that landed on a cell that already had one of that slot, counted on the
// exact grid below; a job whose sheet outgrows the recorder's memory is cut off there and says
// so).
//
// The geometry the printer assumes:
//  - the media position starts at 0 when a job starts (CMD_CHECK_READY, or a pass outside a
//    job, as the nozzle check prints), in Y motor steps;
//    every pass prints at the present position, then the media moves on by the last value of
//    the Y-position command (the per-pass feed); a skip feed moves it by that value once;
//  - 103,680 steps are an inch (144 steps a line at 720 dpi); the head's nozzle rows are
//    1/180 inch (576 steps) apart, row 0 first; the zero-based even slots (1, 3, 5, 7) sit
//    half a pitch (288 steps) ahead of the odd ones;
//  - a band is column-major, 360 bytes a column; head slot k (0-7) holds bytes
//    315 - 45k .. 359 - 45k of a column, byte j holding nozzle rows (44 - j) x 4 + q in bits
//    7-6 (q 0) down to 1-0 (q 3); slot k's pixel x is column x + offset(k) on a forward or
//    unidirectional pass, column count - 1 - offset(k) - x on a backward one;
//  - the sheet's cells are 36 steps (1/2880 inch) high and one pixel wide; a dot falls in the
//    cell its position rounds down to.
// Which nozzle plane a head slot prints is the workstation's channel order, which the printer
// does not know: the colours assume the installed order (Black, Cyan, Magenta, Yellow, White,
// White, Varnish, Varnish).
namespace usb::sim {

class PrintedSheet {
  public:
    // A sheet larger than max_cells cells (a byte each) is cut off; by default 256 MiB, which
    // holds a job of about 250 x 250 mm.
    explicit PrintedSheet(std::filesystem::path folder, std::size_t max_cells = kMaxCells)
        : folder_(std::move(folder)), max_cells_(max_cells) {}

    void command(std::span<const std::uint8_t> frame);
    void bulk(std::span<const std::uint8_t> data);

    static constexpr std::int64_t kStepsPerNozzleRow = 576;
    static constexpr std::int64_t kStepsPerCell = 36;
    static constexpr std::size_t kMaxCells = std::size_t{256} << 20;

  private:
    void start_job();
    void print_band(bool backward);
    // Makes the grid hold cell rows first .. last at the given width; false when that would
    // pass max_cells_.
    bool cover(std::int64_t first, std::int64_t last, std::uint32_t width);
    void write_job();
    void write_picture(const std::string& name);

    std::filesystem::path folder_;
    std::size_t max_cells_;
    bool in_job_ = false;
    unsigned job_number_ = 0;
    std::int64_t position_ = 0;
    std::int32_t y_value_ = 0;
    std::uint32_t column_count_ = 0;
    std::vector<std::uint8_t> band_;
    // The job's sheet: rows_ rows of width_ cells from cell row first_row_ on; bit k of a cell
    // is set once head slot k put a dot there. The buffers keep their memory from job to job,
    // so a long run holds one large job's worth and allocates nothing per job once it has.
    std::vector<std::uint8_t> cells_;
    std::int64_t first_row_ = 0;
    std::int64_t rows_ = 0;
    std::uint32_t width_ = 0;
    QImage picture_;
    std::array<std::uint64_t, 8> dots_{};
    std::array<std::uint64_t, 8> twice_{};
    bool cut_off_ = false;
};

}  // namespace usb::sim
