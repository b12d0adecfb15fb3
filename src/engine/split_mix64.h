#pragma once

#include <cstdint>

// SplitMix64: a small, well-mixed pseudo-random generator whose stream depends only on its
// seed. The feathering-mask generator seeds one per mask row; the print-file patterns one per
// raster line.
struct SplitMix64 {
    std::uint64_t state;
    std::uint64_t next() {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
};
