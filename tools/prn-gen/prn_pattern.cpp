#include "prn_pattern.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "engine/split_mix64.h"

namespace prn_gen {

namespace {

std::uint8_t max_value(std::uint8_t bits_per_pixel) {
    return bits_per_pixel == 1 ? 1 : 3;
}

void fill_random_row(std::uint8_t* row, std::uint32_t pixels, std::uint8_t bits, double density,
                     SplitMix64& rng) {
    const auto threshold =
        static_cast<std::uint64_t>(std::clamp(density, 0.0, 1.0) * static_cast<double>(1ull << 32));
    const std::uint8_t top = max_value(bits);
    for (std::uint32_t x = 0; x < pixels; ++x) {
        const std::uint64_t r = rng.next();
        if ((r & 0xFFFFFFFFull) < threshold) {
            put_pixel(row, x, static_cast<std::uint8_t>(1 + (r >> 32) % top), bits);
        }
    }
}

}  // namespace

std::uint32_t row_bytes_for(std::uint32_t width_dots, std::uint8_t bits_per_pixel) {
    const std::uint32_t per_byte = bits_per_pixel == 1 ? 8 : 4;
    return (width_dots + per_byte - 1) / per_byte;
}

std::uint32_t pixels_per_row(std::uint32_t row_bytes, std::uint8_t bits_per_pixel) {
    return row_bytes * (bits_per_pixel == 1 ? 8u : 4u);
}

std::uint32_t dots_for_mm(double mm, std::uint32_t dpi) {
    return static_cast<std::uint32_t>(std::lround(mm * dpi / 25.4));
}

void put_pixel(std::uint8_t* row, std::uint32_t x, std::uint8_t value,
               std::uint8_t bits_per_pixel) {
    if (bits_per_pixel == 1) {
        const auto bit = static_cast<std::uint8_t>(0x80u >> (x % 8));
        row[x / 8] = static_cast<std::uint8_t>((row[x / 8] & ~bit) | (value ? bit : 0));
        return;
    }
    const unsigned shift = 6 - 2 * (x % 4);
    row[x / 4] = static_cast<std::uint8_t>((row[x / 4] & ~(3u << shift)) | (value & 3u) << shift);
}

std::uint8_t get_pixel(const std::uint8_t* row, std::uint32_t x, std::uint8_t bits_per_pixel) {
    if (bits_per_pixel == 1) {
        return (row[x / 8] >> (7 - x % 8)) & 1u;
    }
    return (row[x / 4] >> (6 - 2 * (x % 4))) & 3u;
}

bool is_gap_line(std::uint32_t line, std::uint32_t line_count) {
    const std::uint64_t fifth = line_count / 5;
    const std::uint64_t l = line;
    return l < fifth || (l >= 2 * fifth && l < 3 * fifth) || l >= line_count - fifth;
}

void fill_line(const PrnHeader& header, const PatternSpec& spec, std::uint32_t line,
               std::uint8_t* line_bytes) {
    const std::uint32_t row_bytes = header.row_bytes;
    const std::uint8_t bits = header.bits_per_pixel == 1 ? 1 : 2;
    const std::uint32_t pixels = pixels_per_row(row_bytes, bits);
    std::memset(line_bytes, 0, static_cast<std::size_t>(row_bytes) * kPrnPlaneCount);
    if (spec.pattern == Pattern::Blank ||
        (spec.pattern == Pattern::Gaps && is_gap_line(line, header.line_count))) {
        return;
    }
    SplitMix64 rng{spec.seed * 0x100000001B3ull + line};
    const std::uint8_t dot = std::min(spec.dot, max_value(bits));
    for (std::uint32_t p = 0; p < kPrnPlaneCount; ++p) {
        if (!(spec.plane_mask & (1u << p))) {
            continue;
        }
        std::uint8_t* row = line_bytes + static_cast<std::size_t>(row_bytes) * p;
        switch (spec.pattern) {
            case Pattern::Solid:
                for (std::uint32_t x = 0; x < pixels; ++x) {
                    put_pixel(row, x, dot, bits);
                }
                break;
            case Pattern::Blocks: {
                // Plane p covers the p-th sixth of the lines and of the width, with a block
                // twice that wide, so neighbouring planes overlap a little.
                const std::uint64_t lines = header.line_count;
                const std::uint64_t first_line = lines * p / 6;
                const std::uint64_t last_line = lines * (p + 2) / 6;
                if (line < first_line || line >= last_line) {
                    break;
                }
                const std::uint64_t x0 = std::uint64_t{pixels} * p / 6;
                const std::uint64_t x1 = std::uint64_t{pixels} * (p + 2) / 6;
                for (std::uint64_t x = x0; x < x1 && x < pixels; ++x) {
                    put_pixel(row, static_cast<std::uint32_t>(x), dot, bits);
                }
                break;
            }
            case Pattern::Random:
            case Pattern::Gaps:
                fill_random_row(row, pixels, bits, spec.density, rng);
                break;
            case Pattern::Blank:
                break;
        }
    }
}

std::string header_bytes(const PrnHeader& header) {
    std::string bytes(kPrnHeaderSize, '\0');
    encode_prn_header(header, reinterpret_cast<std::uint8_t*>(bytes.data()));
    return bytes;
}

bool write_prn(std::ostream& out, const PrnHeader& header, const PatternSpec& spec,
               std::optional<std::uint64_t> truncate_at) {
    std::uint64_t left = truncate_at.value_or(UINT64_MAX);
    auto put = [&](const char* data, std::uint64_t size) {
        const std::uint64_t n = std::min(size, left);
        out.write(data, static_cast<std::streamsize>(n));
        left -= n;
    };
    const std::string head = header_bytes(header);
    put(head.data(), head.size());
    std::vector<std::uint8_t> line(static_cast<std::size_t>(header.row_bytes) * kPrnPlaneCount);
    for (std::uint32_t l = 0; l < header.line_count && left > 0 && out; ++l) {
        fill_line(header, spec, l, line.data());
        put(reinterpret_cast<const char*>(line.data()), line.size());
    }
    out.flush();
    return static_cast<bool>(out);
}

std::optional<Pattern> parse_pattern(const std::string& name) {
    if (name == "blank")
        return Pattern::Blank;
    if (name == "solid")
        return Pattern::Solid;
    if (name == "blocks")
        return Pattern::Blocks;
    if (name == "random")
        return Pattern::Random;
    if (name == "gaps")
        return Pattern::Gaps;
    return std::nullopt;
}

}  // namespace prn_gen
