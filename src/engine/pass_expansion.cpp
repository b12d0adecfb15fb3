#include "engine/pass_expansion.h"

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include "engine/channel_arrangement.h"
#include "engine/prn_reader.h"
#include "engine/stepping.h"
#include "engine/vector_level.h"

alignas(64) std::uint8_t g_nozzle_planes[kPassPlaneCount][kNozzlePlaneRows][kNozzlePlaneColumns];

namespace {

// The flatbed never prints nozzle row 179.
constexpr std::uint32_t kFlatbedExpandedRows = 179;

alignas(64) const std::uint8_t kBlankRow[kPlaneRowBytes] = {};

// Four pass rows give four nozzle bytes per input byte: a 4 x 4 transpose of 2-bit fields.
// With a, b, c, d the bytes of nozzle rows 4q .. 4q+3 at one byte column (pixels 4i .. 4i+3),
// the outputs are the bytes of pixels 4i .. 4i+3, each holding rows 4q .. 4q+3 from its top
// bits down. Two delta swaps do it: nibbles between a/c and b/d, then 2-bit fields between
// a/b and c/d.
struct Quad {
    std::uint8_t p0, p1, p2, p3;
};

inline Quad transpose_quad(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d) {
    const auto a1 = static_cast<std::uint8_t>((a & 0xF0) | (c >> 4));
    const auto c1 = static_cast<std::uint8_t>((a << 4) | (c & 0x0F));
    const auto b1 = static_cast<std::uint8_t>((b & 0xF0) | (d >> 4));
    const auto d1 = static_cast<std::uint8_t>((b << 4) | (d & 0x0F));
    return Quad{static_cast<std::uint8_t>((a1 & 0xCC) | (b1 >> 2 & 0x33)),
                static_cast<std::uint8_t>((a1 << 2 & 0xCC) | (b1 & 0x33)),
                static_cast<std::uint8_t>((c1 & 0xCC) | (d1 >> 2 & 0x33)),
                static_cast<std::uint8_t>((c1 << 2 & 0xCC) | (d1 & 0x33))};
}

// Expands input byte columns [i, end of the pixels) one byte at a time.
void expand_tail(std::uint8_t* out, const std::uint8_t* a, const std::uint8_t* b,
                 const std::uint8_t* c, const std::uint8_t* d, std::uint32_t i,
                 std::uint32_t pixels) {
    for (; i * 4 < pixels; ++i) {
        const Quad q = transpose_quad(a[i], b[i], c[i], d[i]);
        const std::uint8_t v[4] = {q.p0, q.p1, q.p2, q.p3};
        for (std::uint32_t k = 0; k < 4 && i * 4 + k < pixels; ++k) {
            out[i * 4 + k] |= v[k];
        }
    }
}

#if defined(__x86_64__) || defined(__i386__)
// The same two delta swaps on whole vectors; V is __m128i or __m256i, the operations those of
// its width. One body for both widths, as a template would not inherit the AVX2 target.
#define VELQUORIN_QUAD_SWAPS(V, AND, OR, SRLI, SLLI, SET1, va, vb, vc, vd, p0, p1, p2, p3) \
    const V hi4 = SET1(static_cast<char>(0xF0)), lo4 = SET1(0x0F);                         \
    const V hi2 = SET1(static_cast<char>(0xCC)), lo2 = SET1(0x33);                         \
    const V a1 = OR(AND(va, hi4), AND(SRLI(vc, 4), lo4));                                  \
    const V c1 = OR(AND(SLLI(va, 4), hi4), AND(vc, lo4));                                  \
    const V b1 = OR(AND(vb, hi4), AND(SRLI(vd, 4), lo4));                                  \
    const V d1 = OR(AND(SLLI(vb, 4), hi4), AND(vd, lo4));                                  \
    const V p0 = OR(AND(a1, hi2), AND(SRLI(b1, 2), lo2));                                  \
    const V p1 = OR(AND(SLLI(a1, 2), hi2), AND(b1, lo2));                                  \
    const V p2 = OR(AND(c1, hi2), AND(SRLI(d1, 2), lo2));                                  \
    const V p3 = OR(AND(SLLI(c1, 2), hi2), AND(d1, lo2))

// Expands one nozzle-plane row from the four pass rows that feed it (16-byte aligned), for
// `pixels` pixels: 16 input bytes, 64 pixels, per step.
void expand_row_sse2(std::uint8_t* out, const std::uint8_t* a, const std::uint8_t* b,
                     const std::uint8_t* c, const std::uint8_t* d, std::uint32_t pixels) {
    std::uint32_t i = 0;
    for (; (i + 16) * 4 <= pixels; i += 16) {
        const __m128i va = _mm_load_si128(reinterpret_cast<const __m128i*>(a + i));
        const __m128i vb = _mm_load_si128(reinterpret_cast<const __m128i*>(b + i));
        const __m128i vc = _mm_load_si128(reinterpret_cast<const __m128i*>(c + i));
        const __m128i vd = _mm_load_si128(reinterpret_cast<const __m128i*>(d + i));
        // Blank pass rows add nothing to the OR: many rows of a pass are blank (planes the
        // ink mode leaves empty, the other layer's rows of a two-layer job).
        const __m128i any = _mm_or_si128(_mm_or_si128(va, vb), _mm_or_si128(vc, vd));
        if (_mm_movemask_epi8(_mm_cmpeq_epi8(any, _mm_setzero_si128())) == 0xFFFF) {
            continue;
        }
        VELQUORIN_QUAD_SWAPS(__m128i, _mm_and_si128, _mm_or_si128, _mm_srli_epi64, _mm_slli_epi64,
                             _mm_set1_epi8, va, vb, vc, vd, p0, p1, p2, p3);
        // Interleave to pixel order: p0[k] p1[k] p2[k] p3[k] for k = 0..15.
        const __m128i lo01 = _mm_unpacklo_epi8(p0, p1);
        const __m128i hi01 = _mm_unpackhi_epi8(p0, p1);
        const __m128i lo23 = _mm_unpacklo_epi8(p2, p3);
        const __m128i hi23 = _mm_unpackhi_epi8(p2, p3);
        __m128i* o = reinterpret_cast<__m128i*>(out + 4 * i);
        const __m128i r[4] = {_mm_unpacklo_epi16(lo01, lo23), _mm_unpackhi_epi16(lo01, lo23),
                              _mm_unpacklo_epi16(hi01, hi23), _mm_unpackhi_epi16(hi01, hi23)};
        for (int k = 0; k < 4; ++k) {
            _mm_storeu_si128(o + k, _mm_or_si128(_mm_loadu_si128(o + k), r[k]));
        }
    }
    expand_tail(out, a, b, c, d, i, pixels);
}

// 32 input bytes, 128 pixels, per step. The unpacks work within 128-bit lanes, so the lanes
// are put back in order before the stores.
__attribute__((target("avx2"))) void expand_row_avx2(std::uint8_t* out, const std::uint8_t* a,
                                                     const std::uint8_t* b, const std::uint8_t* c,
                                                     const std::uint8_t* d, std::uint32_t pixels) {
    std::uint32_t i = 0;
    for (; (i + 32) * 4 <= pixels; i += 32) {
        const __m256i va = _mm256_load_si256(reinterpret_cast<const __m256i*>(a + i));
        const __m256i vb = _mm256_load_si256(reinterpret_cast<const __m256i*>(b + i));
        const __m256i vc = _mm256_load_si256(reinterpret_cast<const __m256i*>(c + i));
        const __m256i vd = _mm256_load_si256(reinterpret_cast<const __m256i*>(d + i));
        const __m256i any = _mm256_or_si256(_mm256_or_si256(va, vb), _mm256_or_si256(vc, vd));
        if (_mm256_testz_si256(any, any)) {
            continue;
        }
        VELQUORIN_QUAD_SWAPS(__m256i, _mm256_and_si256, _mm256_or_si256, _mm256_srli_epi64,
                             _mm256_slli_epi64, _mm256_set1_epi8, va, vb, vc, vd, p0, p1, p2, p3);
        const __m256i lo01 = _mm256_unpacklo_epi8(p0, p1);
        const __m256i hi01 = _mm256_unpackhi_epi8(p0, p1);
        const __m256i lo23 = _mm256_unpacklo_epi8(p2, p3);
        const __m256i hi23 = _mm256_unpackhi_epi8(p2, p3);
        // Lane 0 of r0..r3 holds input bytes 0-3, 4-7, 8-11, 12-15; lane 1 bytes 16-31.
        const __m256i r0 = _mm256_unpacklo_epi16(lo01, lo23);
        const __m256i r1 = _mm256_unpackhi_epi16(lo01, lo23);
        const __m256i r2 = _mm256_unpacklo_epi16(hi01, hi23);
        const __m256i r3 = _mm256_unpackhi_epi16(hi01, hi23);
        const __m256i ordered[4] = {
            _mm256_permute2x128_si256(r0, r1, 0x20), _mm256_permute2x128_si256(r2, r3, 0x20),
            _mm256_permute2x128_si256(r0, r1, 0x31), _mm256_permute2x128_si256(r2, r3, 0x31)};
        __m256i* o = reinterpret_cast<__m256i*>(out + 4 * i);
        for (int k = 0; k < 4; ++k) {
            _mm256_storeu_si256(o + k, _mm256_or_si256(_mm256_loadu_si256(o + k), ordered[k]));
        }
    }
    expand_tail(out, a, b, c, d, i, pixels);
}
#endif

void expand_row(std::uint8_t* out, const std::uint8_t* a, const std::uint8_t* b,
                const std::uint8_t* c, const std::uint8_t* d, std::uint32_t pixels) {
#if defined(__x86_64__) || defined(__i386__)
    switch (vector_level()) {
        case VectorLevel::Avx2:
            expand_row_avx2(out, a, b, c, d, pixels);
            return;
        case VectorLevel::Sse2:
            expand_row_sse2(out, a, b, c, d, pixels);
            return;
        case VectorLevel::Scalar:
            break;
    }
#endif
    expand_tail(out, a, b, c, d, 0, pixels);
}

}  // namespace

void clear_staging_planes() {
    const std::uint32_t columns =
        g_column_count < kNozzlePlaneColumns ? g_column_count : kNozzlePlaneColumns;
    for (auto& plane : g_nozzle_planes) {
        for (auto& row : plane) {
            std::memset(row, 0, columns);
        }
    }
}

void expand_pass_buffers() {
    const std::uint32_t rows = g_rotary_mode == 1
                                   ? (g_head_rows < kPassPlaneRows ? g_head_rows : kPassPlaneRows)
                                   : kFlatbedExpandedRows;
    // Pixels beyond the row's bytes are blank: a 1-bit file decodes as 2-bit pixels over its
    // row bytes, and a pixel count kept from an earlier job never reads past this job's rows.
    std::uint64_t pixels = g_line_pixels;
    const std::uint64_t row_pixels = std::uint64_t{held_row_bytes(g_row_bytes)} * 4;
    if (pixels > row_pixels)
        pixels = row_pixels;
    if (pixels > kNozzlePlaneColumns)
        pixels = kNozzlePlaneColumns;
    for (std::uint32_t p = 0; p < kPassPlaneCount; ++p) {
        for (std::uint32_t j = 0; j < kNozzlePlaneRows; ++j) {
            const std::uint32_t first = 4 * (kNozzlePlaneRows - 1 - j);
            const std::uint8_t* in[4];
            bool any = false;
            for (std::uint32_t k = 0; k < 4; ++k) {
                const bool expanded = first + k < rows;
                in[k] = expanded ? g_pass_planes[p][first + k] : kBlankRow;
                any = any || expanded;
            }
            if (any) {
                expand_row(g_nozzle_planes[p][j], in[0], in[1], in[2], in[3],
                           static_cast<std::uint32_t>(pixels));
            }
        }
    }
}
