#include "engine/channel_arrangement.h"

#include <cstring>

#include "engine/prn_reader.h"
#include "engine/stepping.h"

alignas(64) std::uint8_t g_pass_planes[kPassPlaneCount][kPassPlaneRows][kPlaneRowBytes];

namespace {

// Input planes, as the arrangement table counts them.
constexpr std::uint32_t kBlack = 0, kWhite = 4, kVarnish = 5;

// Pass planes (zero-based) of the colour, the white pairs and the varnish pair.
constexpr std::uint32_t kColorPlanes[] = {0, 1, 2, 3};
constexpr std::uint32_t kWhite56[] = {4, 5};
constexpr std::uint32_t kWhite78[] = {6, 7};
constexpr std::uint32_t kWhite5678[] = {4, 5, 6, 7};
constexpr std::uint32_t kAllPlanes[] = {0, 1, 2, 3, 4, 5, 6, 7};

// The window row that feeds pass row i of a pass plane: i x P for the even-numbered planes
// ("Cyan", "Yellow", "White 2 ", "Varnish 2"), i x P - P/2 for the odd ones, which sit half a
// nozzle pitch above. Negative: above the window, a blank row.
std::int64_t window_row(std::uint32_t plane, std::uint32_t i) {
    const std::int64_t p = g_pass_count;
    const bool odd_numbered = plane % 2 == 0;  // zero-based 0 is plane 1
    return std::int64_t{i} * p - (odd_numbered ? p / 2 : 0);
}

const std::uint8_t* source_row(std::uint32_t input_plane, std::uint32_t plane, std::uint32_t i) {
    const std::int64_t row = window_row(plane, i);
    if (row < 0 || row >= kInputWindowRows) {
        return nullptr;
    }
    return g_input_planes[input_plane][row];
}

// Pass rows [first, last] of each listed plane from one input plane (colour: the plane's own
// input plane, 1-4 to 1-4).
template <std::size_t N>
void copy_rows(const std::uint32_t (&planes)[N], int input_plane, std::uint32_t first,
               std::uint32_t last) {
    const std::uint32_t held = held_row_bytes(g_row_bytes);
    if (last >= kPassPlaneRows) {
        last = kPassPlaneRows - 1;
    }
    for (std::uint32_t plane : planes) {
        const std::uint32_t input = input_plane < 0 ? kBlack + plane : std::uint32_t(input_plane);
        for (std::uint32_t i = first; i <= last && first <= last; ++i) {
            const std::uint8_t* src = source_row(input, plane, i);
            if (src != nullptr) {
                std::memcpy(g_pass_planes[plane][i], src, held);
            } else {
                std::memset(g_pass_planes[plane][i], 0, held);
            }
        }
    }
}

constexpr int kOwnColor = -1;

void colour(std::uint32_t first, std::uint32_t last) {
    copy_rows(kColorPlanes, kOwnColor, first, last);
}

// The varnish of ink mode 9 under the colour layer: one small dot in four at most.
void thinned_varnish(std::uint32_t last) {
    const std::uint32_t held = held_row_bytes(g_row_bytes);
    if (last >= kPassPlaneRows) {
        last = kPassPlaneRows - 1;
    }
    for (std::uint32_t plane : kWhite78) {
        for (std::uint32_t i = 0; i <= last; ++i) {
            std::uint8_t* dst = g_pass_planes[plane][i];
            const std::uint8_t* src = source_row(kVarnish, plane, i);
            if (src == nullptr) {
                std::memset(dst, 0, held);
                continue;
            }
            const std::uint64_t mask = 0x0101010101010101ull * thinned_varnish_mask(i);
            std::uint32_t c = 0;
            for (; c + 8 <= held; c += 8) {
                std::uint64_t word;
                std::memcpy(&word, src + c, 8);
                word &= mask;
                std::memcpy(dst + c, &word, 8);
            }
            for (; c < held; ++c) {
                dst[c] = static_cast<std::uint8_t>(src[c] & mask);
            }
        }
    }
}

}  // namespace

std::uint8_t thinned_varnish_mask(std::uint32_t i) {
    if (i % 4 == 0) {
        return 0x04;
    }
    if (i % 3 == 0) {
        return 0x10;
    }
    if (i % 2 == 1) {
        return 0x01;
    }
    return 0x40;
}

void copy_lines_for_mode() {
    const std::uint32_t h = g_head_rows;
    const std::uint32_t l = g_layer_split_row;
    if (h == 0) {
        return;
    }
    const std::uint32_t top = h - 1;
    // The second layer, rows L+1 .. H-1, exists only when L+1 < H.
    const bool second_layer = l + 1 < h;
    switch (g_ink_mode) {
        case INK_MODE_COLOR_KCMY:
            colour(0, top);
            break;
        case INK_MODE_4WHITE:
            copy_rows(kWhite5678, kWhite, 0, top);
            break;
        case INK_MODE_2WHITE:
            copy_rows(kWhite56, kWhite, 0, top);
            break;
        case INK_MODE_2VANISH:
            copy_rows(kWhite78, kVarnish, 0, top);
            break;
        case INK_MODE_COLOR_4WHITE:
            copy_rows(kWhite5678, kWhite, 0, l);
            if (second_layer)
                colour(l + 1, top);
            break;
        case INK_MODE_4WHITE_COLOR:
            colour(0, l);
            if (second_layer)
                copy_rows(kWhite5678, kWhite, l + 1, top);
            break;
        case INK_MODE_COLOR_2WHITE:
            // Row L is written by no plane.
            if (l > 0)
                copy_rows(kWhite56, kWhite, 0, l - 1);
            if (second_layer)
                colour(l + 1, top);
            break;
        case INK_MODE_2WHITE_COLOR:
            colour(0, l);
            if (second_layer)
                copy_rows(kWhite56, kWhite, l + 1, top);
            break;
        case INK_MODE_COLOR_2VANISH:
            thinned_varnish(l);
            if (second_layer)
                colour(l + 1, top);
            break;
        case INK_MODE_2VANISH_COLOR:
            colour(0, l);
            if (second_layer)
                copy_rows(kWhite78, kVarnish, l + 1, top);
            break;
        case INK_MODE_WHITE_78_56:
            copy_rows(kWhite78, kWhite, 0, l);
            if (second_layer)
                copy_rows(kWhite56, kWhite, l + 1, top);
            break;
        case INK_MODE_WHITE_56_78:
            copy_rows(kWhite56, kWhite, 0, l);
            if (second_layer)
                copy_rows(kWhite78, kWhite, l + 1, top);
            break;
        case INK_MODE_8WHITE:
            copy_rows(kAllPlanes, kWhite, 0, top);
            break;
        case INK_MODE_COLOR_WITH_2WHITE:
            colour(0, top);
            copy_rows(kWhite56, kWhite, 0, top);
            break;
        default:
            // Ink mode 14 and unknown modes write nothing: the passes print blank.
            break;
    }
}
