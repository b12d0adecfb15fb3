#include "prn_builder.h"

#include <algorithm>
#include <cstring>

#include "temp_dir.h"

namespace test_support {

PrnBuilder::PrnBuilder(std::uint32_t row_bytes, std::uint32_t line_count)
    : raw_header_(kPrnHeaderSize, '\0'),
      body_(static_cast<std::size_t>(row_bytes) * kPrnPlaneCount * line_count, 0) {
    header_.row_bytes = row_bytes;
    header_.line_count = line_count;
    header_.width_dots = row_bytes * 4;
}

PrnBuilder& PrnBuilder::resolution(std::uint32_t x_dpi, std::uint32_t y_dpi) {
    header_.x_dpi = x_dpi;
    header_.y_dpi = y_dpi;
    return *this;
}

PrnBuilder& PrnBuilder::bits_per_pixel(std::uint8_t bits) {
    header_.bits_per_pixel = bits;
    return *this;
}

PrnBuilder& PrnBuilder::direction(std::uint8_t direction) {
    header_.direction = direction;
    return *this;
}

PrnBuilder& PrnBuilder::ink_mode(std::uint8_t mode) {
    header_.ink_mode = mode;
    return *this;
}

PrnBuilder& PrnBuilder::width_dots(std::uint32_t dots) {
    header_.width_dots = dots;
    return *this;
}

PrnBuilder& PrnBuilder::header_byte(std::size_t offset, std::uint8_t value) {
    raw_header_.at(offset) = static_cast<char>(value);
    return *this;
}

PrnBuilder& PrnBuilder::pattern(const prn_gen::PatternSpec& spec) {
    const std::size_t line_size = static_cast<std::size_t>(header_.row_bytes) * kPrnPlaneCount;
    for (std::uint32_t l = 0; l < header_.line_count; ++l) {
        prn_gen::fill_line(header_, spec, l, body_.data() + line_size * l);
    }
    return *this;
}

PrnBuilder& PrnBuilder::random_dots(std::uint64_t seed, double density, std::uint8_t plane_mask) {
    prn_gen::PatternSpec spec;
    spec.pattern = prn_gen::Pattern::Random;
    spec.seed = seed;
    spec.density = density;
    spec.plane_mask = plane_mask;
    return pattern(spec);
}

PrnBuilder& PrnBuilder::solid(PrnPlane plane, std::uint32_t first_line, std::uint32_t lines,
                              std::uint32_t first_pixel, std::uint32_t pixels_wide,
                              std::uint8_t dot) {
    const std::uint64_t line_end =
        std::min<std::uint64_t>(std::uint64_t{first_line} + lines, header_.line_count);
    const std::uint64_t pixel_end =
        std::min<std::uint64_t>(std::uint64_t{first_pixel} + pixels_wide, pixels());
    for (std::uint64_t l = first_line; l < line_end; ++l) {
        std::uint8_t* r = row(static_cast<std::uint32_t>(l), plane);
        for (std::uint64_t x = first_pixel; x < pixel_end; ++x) {
            prn_gen::put_pixel(r, static_cast<std::uint32_t>(x), dot, header_.bits_per_pixel);
        }
    }
    return *this;
}

PrnBuilder& PrnBuilder::blank(std::uint32_t first_line, std::uint32_t lines) {
    const std::size_t line_size = static_cast<std::size_t>(header_.row_bytes) * kPrnPlaneCount;
    const std::uint64_t end =
        std::min<std::uint64_t>(std::uint64_t{first_line} + lines, header_.line_count);
    for (std::uint64_t l = first_line; l < end; ++l) {
        std::memset(body_.data() + line_size * l, 0, line_size);
    }
    return *this;
}

std::uint8_t* PrnBuilder::row(std::uint32_t line, PrnPlane plane) {
    return body_.data() +
           (static_cast<std::size_t>(line) * kPrnPlaneCount + plane) * header_.row_bytes;
}

const std::uint8_t* PrnBuilder::row(std::uint32_t line, PrnPlane plane) const {
    return const_cast<PrnBuilder*>(this)->row(line, plane);
}

std::uint8_t PrnBuilder::pixel(std::uint32_t line, PrnPlane plane, std::uint32_t x) const {
    return prn_gen::get_pixel(row(line, plane), x, header_.bits_per_pixel);
}

std::uint32_t PrnBuilder::pixels() const {
    return prn_gen::pixels_per_row(header_.row_bytes, header_.bits_per_pixel);
}

std::string PrnBuilder::bytes() const {
    std::string out = raw_header_;
    encode_prn_header(header_, reinterpret_cast<std::uint8_t*>(out.data()));
    out.append(reinterpret_cast<const char*>(body_.data()), body_.size());
    return out;
}

std::string PrnBuilder::truncated(std::size_t size) const {
    std::string out = bytes();
    out.resize(std::min(size, out.size()));
    return out;
}

void PrnBuilder::write(const std::filesystem::path& path) const {
    write_file(path, bytes());
}

void PrnBuilder::write_truncated(const std::filesystem::path& path, std::size_t size) const {
    write_file(path, truncated(size));
}

}  // namespace test_support
