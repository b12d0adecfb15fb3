#pragma once

#include <cstddef>
#include <cstdint>

// Sizes of the print engine's static buffers, chosen for the largest job the printer takes.
inline constexpr std::uint32_t kInputWindowRows = 2880;  // rows of each input plane
inline constexpr std::uint32_t kPlaneRowBytes = 7200;    // bytes of an input or pass-plane row
inline constexpr std::uint32_t kPassPlaneCount = 8;      // "Black" .. "Varnish 2"
inline constexpr std::uint32_t kPassPlaneRows = 180;     // nozzle rows of a head
inline constexpr std::uint32_t kNozzlePlaneRows = 45;    // four nozzle rows per byte
inline constexpr std::uint32_t kNozzlePlaneColumns = 57600;
inline constexpr std::uint32_t kTransferColumns = 115200;
inline constexpr std::uint32_t kColumnBytes = 360;  // eight slots of 45 bytes
inline constexpr std::uint32_t kSlotBytes = 45;
inline constexpr std::uint32_t kHeadSlotCount = 8;
inline constexpr std::uint32_t kColumnOffsetSpan = 904;  // columns added to every pass

// The first bytes of a row that the buffers hold for the job's row length.
inline std::uint32_t held_row_bytes(std::uint32_t row_bytes) {
    return row_bytes < kPlaneRowBytes ? row_bytes : kPlaneRowBytes;
}
