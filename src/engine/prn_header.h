#pragma once

#include <cstddef>
#include <cstdint>

// The layout of a print file (.prn): a 120-byte little-endian header, then the body from byte
// 120, one raster line after another. Each raster line is six plane rows of `row_bytes` bytes
// in the order Black, Cyan, Magenta, Yellow, White, Varnish; pixels are 2-bit dot sizes, four
// to a byte, the first pixel in bits 7-6. Only the fields below are interpreted; every other
// header byte may be anything. Everything here is header-only so that the print-file
// generator can share the offsets without linking the engine.

inline constexpr std::size_t kPrnHeaderSize = 120;
inline constexpr std::size_t kPrnPlaneCount = 6;

// Byte offsets of the interpreted header fields.
inline constexpr std::size_t kPrnOffsetWidthDots = 16;     // u32
inline constexpr std::size_t kPrnOffsetLineCount = 20;     // u32
inline constexpr std::size_t kPrnOffsetBitsPerPixel = 24;  // u8
inline constexpr std::size_t kPrnOffsetXDpi = 32;          // u32
inline constexpr std::size_t kPrnOffsetYDpi = 36;          // u32
inline constexpr std::size_t kPrnOffsetRowBytes = 48;      // u32
inline constexpr std::size_t kPrnOffsetDirection = 52;     // u8
inline constexpr std::size_t kPrnOffsetInkMode = 60;       // u8

// The planes of a raster line, in file order.
enum PrnPlane : std::uint8_t {
    PRN_PLANE_BLACK = 0,
    PRN_PLANE_CYAN = 1,
    PRN_PLANE_MAGENTA = 2,
    PRN_PLANE_YELLOW = 3,
    PRN_PLANE_WHITE = 4,
    PRN_PLANE_VARNISH = 5,
};

// A 2-bit pixel value.
enum DotSize : std::uint8_t { DOT_NONE = 0, DOT_SMALL = 1, DOT_MIDDLE = 2, DOT_LARGE = 3 };

// The interpreted fields of a header.
struct PrnHeader {
    std::uint32_t width_dots = 0;
    std::uint32_t line_count = 0;
    std::uint8_t bits_per_pixel = 2;
    std::uint32_t x_dpi = 720;
    std::uint32_t y_dpi = 720;
    std::uint32_t row_bytes = 0;
    std::uint8_t direction = 0;
    std::uint8_t ink_mode = 1;
};

inline std::uint32_t prn_get_u32(const std::uint8_t* bytes, std::size_t offset) {
    return static_cast<std::uint32_t>(bytes[offset]) |
           static_cast<std::uint32_t>(bytes[offset + 1]) << 8 |
           static_cast<std::uint32_t>(bytes[offset + 2]) << 16 |
           static_cast<std::uint32_t>(bytes[offset + 3]) << 24;
}

inline void prn_put_u32(std::uint8_t* bytes, std::size_t offset, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) {
        bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

// Reads the interpreted fields from the 120 header bytes.
inline PrnHeader parse_prn_header(const std::uint8_t* bytes) {
    PrnHeader h;
    h.width_dots = prn_get_u32(bytes, kPrnOffsetWidthDots);
    h.line_count = prn_get_u32(bytes, kPrnOffsetLineCount);
    h.bits_per_pixel = bytes[kPrnOffsetBitsPerPixel];
    h.x_dpi = prn_get_u32(bytes, kPrnOffsetXDpi);
    h.y_dpi = prn_get_u32(bytes, kPrnOffsetYDpi);
    h.row_bytes = prn_get_u32(bytes, kPrnOffsetRowBytes);
    h.direction = bytes[kPrnOffsetDirection];
    h.ink_mode = bytes[kPrnOffsetInkMode];
    return h;
}

// Writes the interpreted fields into 120 header bytes; the other bytes are left as they are.
inline void encode_prn_header(const PrnHeader& h, std::uint8_t* bytes) {
    prn_put_u32(bytes, kPrnOffsetWidthDots, h.width_dots);
    prn_put_u32(bytes, kPrnOffsetLineCount, h.line_count);
    bytes[kPrnOffsetBitsPerPixel] = h.bits_per_pixel;
    prn_put_u32(bytes, kPrnOffsetXDpi, h.x_dpi);
    prn_put_u32(bytes, kPrnOffsetYDpi, h.y_dpi);
    prn_put_u32(bytes, kPrnOffsetRowBytes, h.row_bytes);
    bytes[kPrnOffsetDirection] = h.direction;
    bytes[kPrnOffsetInkMode] = h.ink_mode;
}
