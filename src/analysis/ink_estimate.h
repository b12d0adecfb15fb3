#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "engine/prn_header.h"

// The ink-consumption estimate: the large, middle and small dots of each ink plane of a print
// file, weighted into an amount of ink per plane and in total, multiplied by the nozzle planes
// the job's channel layout spreads white and varnish over and by its 3D-emboss level. No unit
// is shown anywhere. Nothing here needs a window: the progress dialog and the prn-analyse tool
// run the same code.

// The inputs of the next estimate, set by ink_cost_create::SetInputs.
extern std::string g_ink_cost_prn_path;
extern std::string g_ink_cost_3d_level;
// The result texts, "Ink cost: Unknow" until an estimate has succeeded; the six plane texts
// go back to it when an estimate starts.
extern std::string g_ink_cost_black;
extern std::string g_ink_cost_cyan;
extern std::string g_ink_cost_magenta;
extern std::string g_ink_cost_yellow;
extern std::string g_ink_cost_white;
extern std::string g_ink_cost_varnish;
extern std::string g_ink_cost_total;

inline constexpr std::string_view kInkCostUnknown = "Ink cost: Unknow";
// The longest plane row the estimate reads.
inline constexpr std::uint32_t kInkMaxRowBytes = 3600;
// Raster lines per step of the progress bar.
inline constexpr std::uint32_t kInkChunkLines = 200;

// A plane's dot totals. 64 bits: the largest job holds over four billion dots of a size in one
// plane, which 32 bits would wrap.
struct InkDots {
    std::uint64_t large = 0;
    std::uint64_t middle = 0;
    std::uint64_t small = 0;
};

// Which planes an ink mode counts (Black .. Varnish); the others stay 0.
std::array<bool, kPrnPlaneCount> ink_counted_planes(std::uint8_t ink_mode);

// The seven texts, in the order black, cyan, magenta, yellow, white, varnish, total.
using InkCostTexts = std::array<std::string, 7>;

// The amounts of the dot totals with the ink mode's and the 3D level's factors, as texts.
InkCostTexts ink_cost_texts(const std::array<InkDots, kPrnPlaneCount>& dots, std::uint8_t ink_mode,
                            std::string_view level_3d);
// One amount as shown: "%.5f" of the single-precision product v x 100000, divided by 100000
// in double precision.
std::string format_ink_amount(float amount);

struct InkProgress {
    std::function<void(std::uint32_t chunks)> begin;  // before the first chunk
    std::function<void(std::uint32_t done)> chunk;    // after each chunk of 200 lines or fewer
};

struct InkEstimate {
    bool ok = false;
    std::string message;  // the box's text when refused
    PrnHeader header;
    std::array<InkDots, kPrnPlaneCount> dots{};
    InkCostTexts texts;
};

// Counts the print file's dots and works out the seven texts.
InkEstimate estimate_ink(const std::string& prn_path, std::string_view level_3d,
                         const InkProgress& progress = {});

// Adds the dot counts of `count` plane bytes to `dots`.
void count_plane_dots(const std::uint8_t* bytes, std::size_t count, InkDots& dots);
