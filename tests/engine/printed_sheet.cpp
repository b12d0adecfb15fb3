#include "printed_sheet.h"

#include "engine/channel_arrangement.h"
#include "engine/prn_reader.h"
#include "engine/stepping.h"

#include <algorithm>
#include "engine/transfer_packing.h"
#include "usb/driver/sim/recorder.h"

namespace test_support {

SheetFirmware::SheetFirmware(const SheetGeometry& geometry, std::uint32_t lines,
                             std::unique_ptr<usb::sim::Recorder> recorder)
    : TestFirmware(std::move(recorder)), g_(geometry), lines_(lines) {
    for (int p = 0; p < 8; ++p) {
        counts_[p].assign(std::size_t{lines} * g_.line_pixels, 0);
        dots_[p].assign(std::size_t{lines} * g_.line_pixels, 0);
    }
}

void SheetFirmware::bulk_out(std::uint8_t endpoint, std::span<const std::uint8_t> data) {
    const std::uint64_t before = state().bulk_bytes;
    TestFirmware::bulk_out(endpoint, data);
    if (state().bulk_bytes != before) {  // a piece lost with the connection does not count
        band_.insert(band_.end(), data.begin(), data.end());
    }
}

usb::sim::ClassAnswer SheetFirmware::class_request(const usb::sim::SetupPacket& setup,
                                                   std::span<std::uint8_t> data) {
    if (!setup.device_to_host() && data.size() >= 2) {
        const std::uint8_t code = data[1];
        const bool pass = code == 0x38 || code == 0x02 || code == 0x03;
        if (pass && !band_.empty()) {
            if (in_group_ < g_.emboss_passes) {
                ++in_group_;
            } else {
                in_group_ = 0;
                add_band(code == 0x03, full_passes_);
                ++full_passes_;
            }
        }
        band_.clear();  // a band is the data between two command frames
    }
    return TestFirmware::class_request(setup, data);
}

void SheetFirmware::add_band(bool backward, int pass) {
    const std::vector<std::uint8_t>& band = band_;
    const std::int64_t p = g_.pass_count;
    for (int k = 0; k < 8; ++k) {
        const int plane = g_.ink_order[k];
        if (plane < 0 || plane > 7) {
            continue;
        }
        const std::int64_t off = kHeadSlotColumnOffset[k];
        for (std::uint32_t x = 0; x < g_.line_pixels; ++x) {
            const std::int64_t c =
                backward ? std::int64_t{g_.line_pixels} + 903 - off - x : std::int64_t{x} + off;
            const std::size_t base = static_cast<std::size_t>(c) * 360 + 315 - 45 * k;
            if (base + 45 > band.size()) {
                continue;
            }
            for (int j = 0; j < 45; ++j) {
                const std::uint8_t v = band[base + j];
                if (v == 0) {
                    continue;
                }
                for (int q = 0; q < 4; ++q) {
                    const std::uint8_t d = (v >> (6 - 2 * q)) & 3;
                    if (d == 0) {
                        continue;
                    }
                    const std::int64_t r = (44 - j) * 4 + q;
                    const std::int64_t l = std::int64_t{pass} * g_.step_rows + r * p -
                                           g_.window_start_row - (plane % 2 == 0 ? p / 2 : 0);
                    if (l < 0 || l >= lines_) {
                        ++outside_;
                        continue;
                    }
                    const std::size_t at = static_cast<std::size_t>(l) * g_.line_pixels + x;
                    ++counts_[plane][at];
                    dots_[plane][at] |= d;
                }
            }
        }
    }
}

int SheetFirmware::count(int plane, std::uint32_t line, std::uint32_t x) const {
    return counts_[plane][std::size_t{line} * g_.line_pixels + x];
}

std::uint8_t SheetFirmware::dot(int plane, std::uint32_t line, std::uint32_t x) const {
    return dots_[plane][std::size_t{line} * g_.line_pixels + x];
}

SheetGeometry sheet_geometry(std::uint32_t pass_count, std::uint8_t ink_mode,
                             std::uint8_t edge_kind, bool rotary, std::uint32_t line_pixels) {
    g_pass_count = pass_count;
    g_ink_mode = ink_mode;
    g_edge_kind = edge_kind;
    g_rotary_mode = rotary ? 1 : 0;
    select_stepping();
    g_rotary_mode = 0;
    SheetGeometry g;
    g.step_rows = g_step_rows;
    g.window_start_row = g_window_start_row;
    g.pass_count = pass_count;
    g.head_rows = g_head_rows;
    g.rotary = rotary;
    g.line_pixels = line_pixels;
    g.column_count = line_pixels + 904;
    g.masks = feather_mask_table(is_single_layer_ink_mode(ink_mode), pass_count, edge_kind);
    return g;
}

LineReach line_reach(const SheetGeometry& g, int plane, std::uint32_t line, int passes) {
    LineReach reach;
    const std::int64_t p = g.pass_count;
    const std::int64_t off = plane % 2 == 0 ? p / 2 : 0;
    const std::int64_t rows = g.rotary ? g.head_rows : std::min<std::int64_t>(g.head_rows, 179);
    for (std::int64_t b = 0; b < passes; ++b) {
        // b S + r P - W - off = line
        const std::int64_t rest = std::int64_t{line} + g.window_start_row + off - b * g.step_rows;
        if (rest < 0 || rest % p != 0 || rest / p >= rows) {
            continue;
        }
        ++reach.rows;
        if (rest / p * p - off < 0) {
            ++reach.blank_rows;
            reach.blank_pass = static_cast<int>(b);
        }
    }
    return reach;
}

bool top_row_zero_keeps(const SheetGeometry& g, std::uint32_t first_counter, int pass,
                        std::uint32_t x) {
    if (g.masks == nullptr) {
        return true;
    }
    const std::uint32_t p = g.pass_count;
    const std::uint32_t counter = first_counter + static_cast<std::uint32_t>(pass);
    const std::uint32_t top_phase = counter <= p - 1 ? 0 : counter % p;
    const std::uint32_t column = x % kFeatherMaskRowPixels;
    const std::uint8_t byte = g.masks->rows[top_phase * g.masks->rows_per_block][column / 4];
    return ((byte >> (6 - 2 * (column % 4))) & 3) != 0;
}

}  // namespace test_support
