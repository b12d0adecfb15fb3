#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <span>
#include <unordered_map>
#include <vector>

// The sheet the simulated printer put on the media, rebuilt from what it received: the band
// data of each pass, the pass's direction, and the media feeds. At the end of each job it
// writes sheet-NNN.png (every head slot's dots in its ink colour) and sheet-NNN.json (per head
// slot: dots printed, and dots that landed on a cell that already had one of that slot; a
// job past 20 million dots is cut off there and says so).
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
    explicit PrintedSheet(std::filesystem::path folder) : folder_(std::move(folder)) {}

    void command(std::span<const std::uint8_t> frame);
    void bulk(std::span<const std::uint8_t> data);

    static constexpr std::int64_t kStepsPerNozzleRow = 576;
    static constexpr std::int64_t kStepsPerCell = 36;

  private:
    void start_job();
    void print_band(bool backward);
    void write_job();

    struct Slot {
        std::unordered_map<std::uint64_t, std::uint8_t> cells;  // (cell, x) -> dots
        std::uint64_t dots = 0;
        std::uint64_t twice = 0;
    };

    std::filesystem::path folder_;
    bool in_job_ = false;
    unsigned job_number_ = 0;
    std::int64_t position_ = 0;
    std::int32_t y_value_ = 0;
    std::uint32_t column_count_ = 0;
    std::vector<std::uint8_t> band_;
    std::array<Slot, 8> slots_;
    std::uint64_t total_dots_ = 0;
    bool cut_off_ = false;
};

}  // namespace usb::sim
