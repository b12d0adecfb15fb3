#pragma once

#include <algorithm>
#include <cstdint>

// The estimates' progress bars count raster lines or chunks of them, which a large job has
// more of than a bar's 16-bit range holds; the bar then moves in steps of several, so it
// neither wraps nor stops short.
namespace analysis {

inline constexpr std::uint32_t kProgressMaxRange = 65535;

inline int progress_range(std::uint64_t total) {
    return static_cast<int>(std::min<std::uint64_t>(total, kProgressMaxRange));
}

inline int progress_position(std::uint64_t done, std::uint64_t total) {
    if (total <= kProgressMaxRange) {
        return static_cast<int>(done);
    }
    return static_cast<int>(std::min<std::uint64_t>(done, total) * kProgressMaxRange / total);
}

}  // namespace analysis
