#pragma once

#include <array>
#include <cstdint>

// How many dots of each size one plane byte holds. Every byte of every plane is read the same
// way, whatever the header's bits-per-pixel byte says: four 2-bit dot sizes, code 3 a large
// dot, 2 a middle one, 1 a small one, 0 none. The order of the codes inside the byte does not
// matter for the counts. The preview and the ink estimate both count dots by this rule.

struct DotCounts {
    std::uint8_t large = 0;
    std::uint8_t middle = 0;
    std::uint8_t small = 0;
};

constexpr DotCounts decode_dot_counts(std::uint8_t byte) {
    DotCounts counts;
    for (int shift = 0; shift < 8; shift += 2) {
        switch ((byte >> shift) & 3) {
            case 3:
                ++counts.large;
                break;
            case 2:
                ++counts.middle;
                break;
            case 1:
                ++counts.small;
                break;
            default:
                break;
        }
    }
    return counts;
}

// The rule for all 256 bytes, for loops that decode many bytes.
inline constexpr std::array<DotCounts, 256> kDotCountTable = [] {
    std::array<DotCounts, 256> table{};
    for (int byte = 0; byte < 256; ++byte) {
        table[byte] = decode_dot_counts(static_cast<std::uint8_t>(byte));
    }
    return table;
}();
