#include "engine/pass_masks.h"

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include "engine/channel_arrangement.h"
#include "engine/feather_masks.h"
#include "engine/prn_reader.h"
#include "engine/stepping.h"
#include "engine/vector_level.h"

std::uint32_t g_pass_counter = 0;
std::uint32_t g_mask_phase = 0;

namespace {

bool uses_single_layer_masks(std::uint8_t ink_mode) {
    return ink_mode == 1 || ink_mode == 2 || ink_mode == 3 || ink_mode == 4 || ink_mode == 13 ||
           ink_mode == 15;
}

struct MaskPass {
    const FeatherMaskTable* table = nullptr;
    std::uint32_t top_phase = 0;     // a
    std::uint32_t bottom_phase = 0;  // b
};

// The table follows the stepping's layer group (ink mode 13 takes the two-layer tables whose
// rows match its two-layer overlap), P and the edge kind.
MaskPass mask_pass() {
    MaskPass m;
    const std::uint32_t p = g_pass_count;
    m.table = feather_mask_table(is_single_layer_ink_mode(g_ink_mode), p, g_edge_kind);
    if (m.table == nullptr || p == 0) {
        m.table = nullptr;
        return m;
    }
    m.bottom_phase = g_mask_phase % p;
    m.top_phase = g_mask_phase <= p - 1 ? 0 : g_mask_phase % p;
    return m;
}

// A mask row repeated over 800 bytes, the least common multiple of its 50 bytes and a 32-byte
// vector, so that every aligned vector of a pass-plane row meets one aligned load of it.
constexpr std::uint32_t kRepeatBytes = 800;

struct RepeatedMaskRow {
    alignas(32) std::uint8_t bytes[kRepeatBytes];
    RepeatedMaskRow(const std::uint8_t* row, bool complement) {
        for (std::uint32_t i = 0; i < kFeatherMaskRowBytes; ++i) {
            bytes[i] = complement ? static_cast<std::uint8_t>(~row[i]) : row[i];
        }
        for (std::uint32_t i = kFeatherMaskRowBytes; i < kRepeatBytes; i += kFeatherMaskRowBytes) {
            std::memcpy(bytes + i, bytes, kFeatherMaskRowBytes);
        }
    }
};

// ANDs the first `held` bytes of a pass-plane row with the repeated mask, from byte `c` on.
void and_row_words(std::uint8_t* row, const RepeatedMaskRow& mask, std::uint32_t c,
                   std::uint32_t held) {
    std::uint32_t phase = c % kRepeatBytes;
    for (; c + 8 <= held; c += 8) {
        std::uint64_t word, m;
        std::memcpy(&word, row + c, 8);
        std::memcpy(&m, mask.bytes + phase, 8);
        word &= m;
        std::memcpy(row + c, &word, 8);
        phase = phase + 8 == kRepeatBytes ? 0 : phase + 8;
    }
    for (; c < held; ++c) {
        row[c] &= mask.bytes[phase];
        phase = phase + 1 == kRepeatBytes ? 0 : phase + 1;
    }
}

#if defined(__x86_64__) || defined(__i386__)
__attribute__((target("avx2"))) void and_row_avx2(std::uint8_t* row, const RepeatedMaskRow& mask,
                                                  std::uint32_t held) {
    std::uint32_t c = 0;
    std::uint32_t phase = 0;
    for (; c + 32 <= held; c += 32) {
        auto* v = reinterpret_cast<__m256i*>(row + c);
        const auto m = *reinterpret_cast<const __m256i*>(mask.bytes + phase);
        _mm256_store_si256(v, _mm256_and_si256(_mm256_load_si256(v), m));
        phase += 32;
        if (phase == kRepeatBytes) {
            phase = 0;
        }
    }
    and_row_words(row, mask, c, held);
}
#endif

// ANDs one pass-plane row (32-byte aligned) with a mask row repeated across its first `held`
// bytes.
void and_row(std::uint8_t* row, const RepeatedMaskRow& mask, std::uint32_t held) {
#if defined(__x86_64__) || defined(__i386__)
    if (vector_level() == VectorLevel::Avx2) {
        and_row_avx2(row, mask, held);
        return;
    }
#endif
    and_row_words(row, mask, 0, held);
}

// Masks pass row `row` of planes [0, plane_end) with table row `index` (or its complement).
// Rows outside the pass planes or the table are passed over: valid stepping never reaches
// them, and stale stepping of a refused job must not reach outside a buffer.
void mask_rows(const FeatherMaskTable& table, std::uint64_t index, std::int64_t row,
               bool complement, std::uint32_t plane_end) {
    if (index >= table.row_count() || row < 0 || row >= kPassPlaneRows) {
        return;
    }
    const RepeatedMaskRow mask(table.rows[index], complement);
    const std::uint32_t held = held_row_bytes(g_row_bytes);
    for (std::uint32_t p = 0; p < plane_end; ++p) {
        and_row(g_pass_planes[p][row], mask, held);
    }
}

}  // namespace

void advance_pass() {
    select_stepping();
    if (g_overlap_rows > 0) {
        g_mask_phase = g_pass_counter;
    }
    g_pass_counter += 1;
}

void apply_pass_masks() {
    if (uses_single_layer_masks(g_ink_mode)) {
        apply_pass_masks_single_layer();
    } else {
        apply_pass_masks_two_layer();
    }
}

void apply_pass_masks_single_layer() {
    const MaskPass m = mask_pass();
    if (m.table == nullptr) {
        return;
    }
    const std::uint32_t n = m.table->rows_per_block;
    const std::int64_t h = g_head_rows;
    const std::int64_t o = g_overlap_rows;
    // Planes 7 and 8 follow g_not_2vanish, except under the 8-pass Gaussian table.
    const bool varnish = g_not_2vanish == 1 || (g_pass_count == 8 && g_edge_kind == EDGE_GAUSSIAN);
    const std::uint32_t planes = varnish ? 8 : 6;
    for (std::int64_t r = 0; r < o; ++r) {
        mask_rows(*m.table, std::uint64_t{m.top_phase} * n + r, r, false, planes);
        mask_rows(*m.table, std::uint64_t{m.bottom_phase} * n + r, h - o + r, true, planes);
    }
}

void apply_pass_masks_two_layer() {
    const MaskPass m = mask_pass();
    if (m.table == nullptr) {
        return;
    }
    const std::uint32_t n = m.table->rows_per_block;
    const std::int64_t h = g_head_rows;
    const std::int64_t o = g_overlap_rows;
    const std::int64_t l = g_layer_split_row;
    const std::uint32_t planes = g_not_2vanish == 1 ? 8 : 6;
    for (std::int64_t r = 0; r < o; ++r) {
        const std::uint64_t top = std::uint64_t{m.top_phase} * n + r;
        const std::uint64_t bottom = std::uint64_t{m.bottom_phase} * n + r;
        mask_rows(*m.table, top, r, false, planes);
        mask_rows(*m.table, top, l + r, false, planes);
        mask_rows(*m.table, bottom, l - o + r, true, planes);
        mask_rows(*m.table, bottom, h - o + r, true, planes);
    }
}
