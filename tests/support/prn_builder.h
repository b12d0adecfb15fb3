#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/prn_header.h"
#include "prn_pattern.h"

namespace test_support {

// Builds a print file in memory: the header fields at their offsets and a body of six plane
// rows per raster line, with the patterns of prn_gen and hand-placed blocks on top. Tests make
// the smallest file that shows their behaviour.
class PrnBuilder {
  public:
    // A blank 2-bit, 720 x 720 dpi, ink mode 1 file of line_count lines of row_bytes bytes.
    PrnBuilder(std::uint32_t row_bytes, std::uint32_t line_count);

    PrnBuilder& resolution(std::uint32_t x_dpi, std::uint32_t y_dpi);
    PrnBuilder& bits_per_pixel(std::uint8_t bits);
    PrnBuilder& direction(std::uint8_t direction);
    PrnBuilder& ink_mode(std::uint8_t mode);
    PrnBuilder& width_dots(std::uint32_t dots);
    // Sets one raw header byte (for fields and values no setter offers).
    PrnBuilder& header_byte(std::size_t offset, std::uint8_t value);

    // Replaces the whole body with a pattern.
    PrnBuilder& pattern(const prn_gen::PatternSpec& spec);
    // Seeded random dots in the planes of plane_mask.
    PrnBuilder& random_dots(std::uint64_t seed, double density = 0.25,
                            std::uint8_t plane_mask = 0x3F);
    // A solid block of one plane: lines [first_line, first_line + lines), pixels
    // [first_pixel, first_pixel + pixels), clipped to the image.
    PrnBuilder& solid(PrnPlane plane, std::uint32_t first_line, std::uint32_t lines,
                      std::uint32_t first_pixel, std::uint32_t pixels,
                      std::uint8_t dot = DOT_LARGE);
    // Blanks lines [first_line, first_line + lines) in every plane.
    PrnBuilder& blank(std::uint32_t first_line, std::uint32_t lines);

    const PrnHeader& header() const { return header_; }
    std::uint8_t* row(std::uint32_t line, PrnPlane plane);
    const std::uint8_t* row(std::uint32_t line, PrnPlane plane) const;
    std::uint8_t pixel(std::uint32_t line, PrnPlane plane, std::uint32_t x) const;

    // The whole file; truncated(n) its first n bytes (below 120: a short file).
    std::string bytes() const;
    std::string truncated(std::size_t size) const;
    void write(const std::filesystem::path& path) const;
    void write_truncated(const std::filesystem::path& path, std::size_t size) const;

  private:
    std::uint32_t pixels() const;

    PrnHeader header_;
    std::string raw_header_;
    std::vector<std::uint8_t> body_;
};

}  // namespace test_support
