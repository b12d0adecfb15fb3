#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

#include "engine/prn_header.h"

// Print-file patterns for the tests, the demo and trying the program by hand. The pixel
// encoding and every pattern live here once; the test builder and the prn-gen program both
// use them. A pattern is a function of the line number, so a file of any length is written
// line by line without holding its body in memory.
namespace prn_gen {

enum class Pattern {
    Blank,   // no dot anywhere
    Solid,   // every pixel of the chosen planes
    Blocks,  // one solid block per plane, stepped across the sheet so that planes differ
    Random,  // seeded random dots of random sizes
    Gaps,    // random dots with blank stretches at the start, in the middle and at the end
};

struct PatternSpec {
    Pattern pattern = Pattern::Random;
    std::uint8_t dot = DOT_LARGE;    // the dot of Solid and Blocks
    std::uint8_t plane_mask = 0x3F;  // bit p: plane p (PrnPlane) carries ink
    double density = 0.25;           // Random, Gaps: share of pixels with a dot
    std::uint64_t seed = 1;          // Random, Gaps
};

// Bytes of one plane row holding width_dots pixels at the given depth (1 or 2 bits).
std::uint32_t row_bytes_for(std::uint32_t width_dots, std::uint8_t bits_per_pixel);
// Pixels that one plane row holds.
std::uint32_t pixels_per_row(std::uint32_t row_bytes, std::uint8_t bits_per_pixel);
// Dots covering a length in millimetres at a resolution, rounded to the nearest dot.
std::uint32_t dots_for_mm(double mm, std::uint32_t dpi);

// Pixel x of a plane row; 2-bit pixels have the first in bits 7-6, 1-bit pixels the first in
// bit 7.
void put_pixel(std::uint8_t* row, std::uint32_t x, std::uint8_t value, std::uint8_t bits_per_pixel);
std::uint8_t get_pixel(const std::uint8_t* row, std::uint32_t x, std::uint8_t bits_per_pixel);

// Lines that the Gaps pattern leaves blank: the first, the middle and the last fifth.
bool is_gap_line(std::uint32_t line, std::uint32_t line_count);

// Fills raster line `line` (six plane rows of header.row_bytes bytes) with the pattern.
void fill_line(const PrnHeader& header, const PatternSpec& spec, std::uint32_t line,
               std::uint8_t* line_bytes);

// The 120 header bytes of a header, every uninterpreted byte zero.
std::string header_bytes(const PrnHeader& header);

// Writes a whole file: the header, then every line of the pattern; with truncate_at the output
// stops after that many bytes (below 120 a short file without a whole header). False when the
// stream fails.
bool write_prn(std::ostream& out, const PrnHeader& header, const PatternSpec& spec,
               std::optional<std::uint64_t> truncate_at = std::nullopt);

// Parses a pattern name ("blank", "solid", "blocks", "random", "gaps").
std::optional<Pattern> parse_pattern(const std::string& name);

}  // namespace prn_gen
