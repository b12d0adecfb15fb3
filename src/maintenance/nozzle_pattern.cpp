#include "maintenance/nozzle_pattern.h"

#include <cstring>

#include "engine/transfer_packing.h"

void clear_transfer_buffer_nozzle() {
    std::memset(g_transfer_buffer, 0, sizeof g_transfer_buffer);
}

void build_nozzle_pattern() {
    clear_transfer_buffer_nozzle();
    for (std::uint32_t k = 0; k < kHeadSlotCount; ++k) {
        const std::uint32_t start = 500 + 500 * k + kHeadSlotColumnOffset[k];
        const std::uint32_t slot_byte = 315 - kSlotBytes * k;
        for (std::uint32_t step = 0; step < 4; ++step) {
            const auto value = static_cast<std::uint8_t>(3u << (2 * step));
            // Both ends included: the next step overwrites the column they share.
            for (std::uint32_t c = start + 100 * step; c <= start + 100 * step + 100; ++c) {
                std::memset(g_transfer_buffer + std::size_t{c} * kColumnBytes + slot_byte, value,
                            kSlotBytes);
            }
        }
    }
}
