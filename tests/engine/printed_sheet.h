#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <vector>

#include "engine/feather_masks.h"
#include "print_job_fixture.h"  // TestFirmware
#include "usb/driver/sim/firmware.h"

namespace test_support {

// The simulated printer's firmware that also rebuilds the sheet a job put on the media, from
// what it received (each band's bytes and the pass command after it), read back through the
// engine's geometry:
//  - a band is the bulk data before a pass command; forward when the command is uni or
//    forward, mirrored when it is backward;
//  - column c, slot k holds pixel x = c - offset(k) forward, line_pixels + 903 - offset(k) - c
//    backward; byte j of the slot holds nozzle rows (44 - j) x 4 + q in bits 7-6 .. 1-0;
//  - slot k prints nozzle plane ink_order[k] (8: nothing);
//  - nozzle row r of the b-th printed full pass lands on raster line
//    b x S + r x P - W, half a nozzle pitch (P / 2 lines) less for the zero-based even planes
//    ("Black", "Magenta", "White 1", "Varnish 1"), which sit that much higher on the head.
// Called on the bus's thread; read the results once the job has ended. Emboss passes (white and
// varnish only) are recognised by the job's emboss count and left out. Blank-gap repositioning is
// not modelled: the jobs rebuilt this way print every band.
struct SheetGeometry {
    std::uint32_t step_rows = 0;         // S
    std::uint32_t window_start_row = 0;  // W
    std::uint32_t pass_count = 0;        // P
    std::uint32_t head_rows = 0;         // H
    bool rotary = false;                 // rotary passes expand rows 0 .. H-1, flatbed 0 .. 178
    std::uint32_t line_pixels = 0;
    std::uint32_t column_count = 0;
    std::array<int, 8> ink_order{0, 1, 2, 3, 4, 5, 6, 7};
    int emboss_passes = 0;                    // 4-channel passes before each full pass
    const FeatherMaskTable* masks = nullptr;  // null: the job is not feathered
};

class SheetFirmware : public TestFirmware {
  public:
    // With a recorder the simulated printer's own capture is written as well.
    SheetFirmware(const SheetGeometry& geometry, std::uint32_t lines,
                  std::unique_ptr<usb::sim::Recorder> recorder = nullptr);

    usb::sim::ClassAnswer class_request(const usb::sim::SetupPacket& setup,
                                        std::span<std::uint8_t> data) override;
    void bulk_out(std::uint8_t endpoint, std::span<const std::uint8_t> data) override;

    // How often a dot landed on (line, x) of the nozzle plane, and the dot sizes ORed.
    int count(int plane, std::uint32_t line, std::uint32_t x) const;
    std::uint8_t dot(int plane, std::uint32_t line, std::uint32_t x) const;
    // Dots that landed outside lines 0 .. lines - 1.
    std::uint64_t outside() const { return outside_; }
    int full_passes() const { return full_passes_; }

  private:
    void add_band(bool backward, int pass);

    SheetGeometry g_;
    std::vector<std::uint8_t> band_;
    int in_group_ = 0;
    std::uint32_t lines_;
    std::array<std::vector<std::uint8_t>, 8> counts_;
    std::array<std::vector<std::uint8_t>, 8> dots_;
    std::uint64_t outside_ = 0;
    int full_passes_ = 0;
};

// The geometry of a job as the engine's stepping chooses it (select_stepping on the globals).
SheetGeometry sheet_geometry(std::uint32_t pass_count, std::uint8_t ink_mode,
                             std::uint8_t edge_kind, bool rotary, std::uint32_t line_pixels);

// Where the head could put dots on a line of a nozzle plane in `passes` full passes, masks
// aside: the (pass, nozzle row) pairs that land on it, and among them those whose row reads
// above the input window (row 0 of the half-pitch planes), which always print blank.
struct LineReach {
    int rows = 0;
    int blank_rows = 0;
    int blank_pass = -1;  // the full pass whose blank row reaches the line
};
LineReach line_reach(const SheetGeometry& g, int plane, std::uint32_t line, int passes);

// Whether the top feathering mask of full pass `pass` keeps pixel x on nozzle row 0, in a job
// whose first full pass took the pass counter `first_counter` (each full pass moves it on by
// one). The line under row 0 of a half-pitch plane gets its other share from the bottom row
// of the pass P passes earlier, masked with the complement: the dots this mask keeps for the
// blank row are printed by neither pass. True for an unfeathered job (the row keeps all).
bool top_row_zero_keeps(const SheetGeometry& g, std::uint32_t first_counter, int pass,
                        std::uint32_t x);

}  // namespace test_support
