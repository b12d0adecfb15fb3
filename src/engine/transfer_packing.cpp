#include "engine/transfer_packing.h"

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define VELQUORIN_X86 1
#endif

#include "engine/pass_expansion.h"
#include "engine/prn_reader.h"
#include "engine/vector_level.h"

alignas(64) std::uint8_t g_transfer_buffer[kTransferBufferBytes];
int g_ink_order[kHeadSlotCount] = {0, 1, 2, 3, 4, 5, 6, 7};

namespace {

constexpr int kNullSource = 8;

std::uint32_t cleared_columns() {
    return g_column_count < kTransferColumns ? g_column_count : kTransferColumns;
}

// Pixels packed per slot. Bounded by the nozzle-plane row and by the column count, so that
// neither the forward column x + F[k] nor the mirrored one (g_column_count - 1) - (x + F[k])
// leaves the buffer.
std::uint32_t packed_pixels() {
    if (g_column_count > kTransferColumns || g_column_count < kColumnOffsetSpan) {
        return 0;
    }
    std::uint32_t pixels = g_line_pixels;
    if (pixels > kNozzlePlaneColumns)
        pixels = kNozzlePlaneColumns;
    if (pixels > g_column_count - kColumnOffsetSpan)
        pixels = g_column_count - kColumnOffsetSpan;
    return pixels;
}

// Packing runs tile by tile of columns and writes every byte of each column once: a slot's
// data where the slot has a pixel in that column, zeros elsewhere. That equals a clear
// followed by the slot copies, in one pass over the band instead of nine.
struct SlotSource {
    const std::uint8_t (*plane)[kNozzlePlaneColumns];  // null: the slot stays zero
    std::uint32_t column_offset;
    std::uint32_t slot_byte;
};

struct PackJob {
    SlotSource slots[kHeadSlotCount];
    bool backward;
    std::uint32_t columns;  // columns written, from 0
    std::int64_t pixels;    // pixels per slot
    std::int64_t last_column;

    // Pixel of column c for a slot: forward c - F[k], backward the mirrored stream.
    std::int64_t pixel_of(const SlotSource& s, std::int64_t c) const {
        return backward ? last_column - c - s.column_offset : c - s.column_offset;
    }
};

// Columns are packed in blocks: each block is built in a small buffer that stays in the
// first-level cache, slot by slot, and then copied out whole. Writing the 45-byte slots of
// each column straight into the band instead costs a partial, unaligned store into a cold
// line for every slot of every column.
constexpr std::uint32_t kBlockColumns = 64;
alignas(64) std::uint8_t g_block[kBlockColumns * kColumnBytes];

// The 45 bytes [0..44][x] of a plane into one column slot.
inline void copy_pixel(std::uint8_t* dst, const std::uint8_t (*plane)[kNozzlePlaneColumns],
                       std::int64_t x) {
    for (std::uint32_t j = 0; j < kSlotBytes; ++j) {
        dst[j] = plane[j][x];
    }
}

// Packs `tile` columns of one slot whose pixels all lie in the plane, the lowest being x_low;
// column p of the tile (from `first`, 360 bytes apart) takes pixel x_low + p forward and
// x_low + tile - 1 - p backward.
using TileKernel = void (*)(const std::uint8_t (*plane)[kNozzlePlaneColumns], std::int64_t x_low,
                            bool backward, std::uint8_t* first);

void tile_scalar(const std::uint8_t (*plane)[kNozzlePlaneColumns], std::int64_t x_low,
                 bool backward, std::uint8_t* first) {
    for (std::uint32_t p = 0; p < 16; ++p) {
        copy_pixel(first + std::size_t{backward ? 15 - p : p} * kColumnBytes, plane, x_low + p);
    }
}

// The slot's rows are 45 streams a row pitch apart, too many for the hardware to foresee:
// ask for the pixels of the next block ahead of their use.
inline void prefetch_ahead(const PackJob& job, const SlotSource& s, std::int64_t x_low) {
    const std::int64_t ahead = job.backward ? x_low - kBlockColumns : x_low + kBlockColumns;
    if (ahead < 0 || ahead + kBlockColumns > job.pixels) {
        return;
    }
    for (std::uint32_t j = 0; j < kSlotBytes; ++j) {
        // Both ends: an unaligned block spans two lines, and a backward pass reads downwards,
        // where the next-line prefetcher does not help.
        __builtin_prefetch(s.plane[j] + ahead);
        __builtin_prefetch(s.plane[j] + ahead + kBlockColumns - 1);
    }
}

bool block_covered(const PackJob& job, std::uint32_t block, std::uint32_t width,
                   std::uint32_t tile) {
    if (width % tile != 0) {
        return false;
    }
    for (const SlotSource& s : job.slots) {
        const std::int64_t a = job.pixel_of(s, block);
        const std::int64_t b = job.pixel_of(s, std::int64_t{block} + width - 1);
        if (s.plane == nullptr || (a < b ? a : b) < 0 || (a < b ? b : a) >= job.pixels) {
            return false;
        }
    }
    return true;
}

void pack_blocks(const PackJob& job, std::uint32_t tile, TileKernel kernel) {
    const std::uint32_t blocks = (job.columns + kBlockColumns - 1) / kBlockColumns;
    for (std::uint32_t b = 0; b < blocks; ++b) {
        const std::uint32_t block = b * kBlockColumns;
        const std::uint32_t width =
            job.columns - block < kBlockColumns ? job.columns - block : kBlockColumns;
        // Where every slot has a pixel in every column of the block, the slots cover all of
        // it; elsewhere the columns without a pixel must read zero.
        if (!block_covered(job, block, width, tile)) {
            std::memset(g_block, 0, std::size_t{width} * kColumnBytes);
        }
        for (const SlotSource& s : job.slots) {
            if (s.plane == nullptr) {
                continue;
            }
            for (std::uint32_t c0 = block; c0 < block + width; c0 += tile) {
                const std::uint32_t n = block + width - c0 < tile ? block + width - c0 : tile;
                std::uint8_t* first =
                    g_block + std::size_t{c0 - block} * kColumnBytes + s.slot_byte;
                const std::int64_t a = job.pixel_of(s, c0);
                const std::int64_t b = job.pixel_of(s, std::int64_t{c0} + n - 1);
                const std::int64_t x_low = a < b ? a : b;
                const std::int64_t x_high = a < b ? b : a;
                if (x_high < 0 || x_low >= job.pixels) {
                    continue;  // no pixel of this slot here: the columns stay zero
                }
                if (n == tile && x_low >= 0 && x_high < job.pixels) {
                    prefetch_ahead(job, s, x_low);
                    kernel(s.plane, x_low, job.backward, first);
                    continue;
                }
                for (std::uint32_t i = 0; i < n; ++i) {
                    const std::int64_t x = job.pixel_of(s, c0 + i);
                    if (x >= 0 && x < job.pixels) {
                        copy_pixel(first + std::size_t{i} * kColumnBytes, s.plane, x);
                    }
                }
            }
        }
        std::memcpy(g_transfer_buffer + std::size_t{block} * kColumnBytes, g_block,
                    std::size_t{width} * kColumnBytes);
    }
}

#if defined(VELQUORIN_X86)
// Rows of a slot are moved as 16 x 16 byte transposes: rows 0-15, 16-31 and 29-44; the last
// overlaps the second by three rows of equal bytes.
constexpr std::uint32_t kGroupLast = 29;

// out[i] byte j = in[j] byte i, within each 128-bit lane: four rounds of unpacks at 8, 16,
// 32 and 64 bits. One body for both widths, since a template would not inherit the AVX2
// target of its caller.
#define VELQUORIN_TRANSPOSE16(V, UNPACK, in, out)                            \
    do {                                                                     \
        V s1[16], s2[16], s3[16];                                            \
        for (int p = 0; p < 8; ++p) {                                        \
            s1[p] = UNPACK(lo, epi8)(in[2 * p], in[2 * p + 1]);              \
            s1[p + 8] = UNPACK(hi, epi8)(in[2 * p], in[2 * p + 1]);          \
        }                                                                    \
        for (int h = 0; h < 2; ++h) {                                        \
            for (int q = 0; q < 4; ++q) {                                    \
                const V a = s1[h * 8 + 2 * q], b = s1[h * 8 + 2 * q + 1];    \
                s2[(2 * h) * 4 + q] = UNPACK(lo, epi16)(a, b);               \
                s2[(2 * h + 1) * 4 + q] = UNPACK(hi, epi16)(a, b);           \
            }                                                                \
        }                                                                    \
        for (int g = 0; g < 4; ++g) {                                        \
            for (int o = 0; o < 2; ++o) {                                    \
                const V a = s2[g * 4 + 2 * o], b = s2[g * 4 + 2 * o + 1];    \
                s3[(2 * g) * 2 + o] = UNPACK(lo, epi32)(a, b);               \
                s3[(2 * g + 1) * 2 + o] = UNPACK(hi, epi32)(a, b);           \
            }                                                                \
        }                                                                    \
        for (int pp = 0; pp < 8; ++pp) {                                     \
            out[2 * pp] = UNPACK(lo, epi64)(s3[pp * 2], s3[pp * 2 + 1]);     \
            out[2 * pp + 1] = UNPACK(hi, epi64)(s3[pp * 2], s3[pp * 2 + 1]); \
        }                                                                    \
    } while (0)

#define VELQUORIN_UNPACK128(half, width) _mm_unpack##half##_##width
#define VELQUORIN_UNPACK256(half, width) _mm256_unpack##half##_##width

// 16 columns: three transposes.
void tile_sse2(const std::uint8_t (*plane)[kNozzlePlaneColumns], std::int64_t x_low, bool backward,
               std::uint8_t* first) {
    for (std::uint32_t g : {0u, 16u, kGroupLast}) {
        __m128i in[16], out[16];
        for (std::uint32_t j = 0; j < 16; ++j) {
            in[j] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(plane[g + j] + x_low));
        }
        VELQUORIN_TRANSPOSE16(__m128i, VELQUORIN_UNPACK128, in, out);
        for (std::uint32_t p = 0; p < 16; ++p) {
            std::uint8_t* column = first + std::size_t{backward ? 15 - p : p} * kColumnBytes;
            _mm_storeu_si128(reinterpret_cast<__m128i*>(column + g), out[p]);
        }
    }
}

#define VELQUORIN_AVX2 __attribute__((target("avx2")))

// Loads 16 rows: lane 0 from rows first_low.. at x_low, lane 1 from rows first_high.. at x_high.
VELQUORIN_AVX2 inline void load_pair(const std::uint8_t (*plane)[kNozzlePlaneColumns],
                                     std::uint32_t first_low, std::int64_t x_low,
                                     std::uint32_t first_high, std::int64_t x_high,
                                     __m256i in[16]) {
    for (std::uint32_t j = 0; j < 16; ++j) {
        const __m128i lo =
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(plane[first_low + j] + x_low));
        const __m128i hi =
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(plane[first_high + j] + x_high));
        in[j] = _mm256_inserti128_si256(_mm256_castsi128_si256(lo), hi, 1);
    }
}

// 32 columns: for each half of 16 pixels one paired transpose gives every column's bytes
// 0-31 as one 32-byte store, and one more pairs the two halves' rows 29-44.
VELQUORIN_AVX2 void tile_avx2(const std::uint8_t (*plane)[kNozzlePlaneColumns], std::int64_t x_low,
                              bool backward, std::uint8_t* first) {
    auto column = [&](std::uint32_t p) {
        return first + std::size_t{backward ? 31 - p : p} * kColumnBytes;
    };
    __m256i in[16], out[16];
    for (std::uint32_t half = 0; half < 2; ++half) {
        const std::int64_t x = x_low + 16 * half;
        load_pair(plane, 0, x, 16, x, in);
        VELQUORIN_TRANSPOSE16(__m256i, VELQUORIN_UNPACK256, in, out);
        for (std::uint32_t i = 0; i < 16; ++i) {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(column(16 * half + i)), out[i]);
        }
    }
    load_pair(plane, kGroupLast, x_low, kGroupLast, x_low + 16, in);
    VELQUORIN_TRANSPOSE16(__m256i, VELQUORIN_UNPACK256, in, out);
    for (std::uint32_t i = 0; i < 16; ++i) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(column(i) + kGroupLast),
                         _mm256_castsi256_si128(out[i]));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(column(16 + i) + kGroupLast),
                         _mm256_extracti128_si256(out[i], 1));
    }
}
#endif

void pack_slots(bool white_and_varnish_only) {
    // A direction or toggle other than 0 or 1 packs nothing: the pass is sent blank.
    if (g_direction > 1 || (g_pass_toggle != 0 && g_pass_toggle != 1)) {
        clear_transfer_buffer();
        return;
    }
    PackJob job;
    for (std::uint32_t k = 0; k < kHeadSlotCount; ++k) {
        const int source = g_ink_order[k];
        // "NULL" and a source outside 0..8 leave the slot zero.
        const bool packed =
            source >= 0 && source < kNullSource && !(white_and_varnish_only && source < 4);
        job.slots[k] = SlotSource{packed ? g_nozzle_planes[source] : nullptr,
                                  kHeadSlotColumnOffset[k], 315 - 45 * k};
    }
    job.backward = g_direction == 1 && g_pass_toggle == 1;
    job.columns = cleared_columns();
    job.pixels = packed_pixels();
    job.last_column = std::int64_t{g_column_count} - 1;
#if defined(VELQUORIN_X86)
    switch (vector_level()) {
        case VectorLevel::Avx2:
            pack_blocks(job, 32, tile_avx2);
            return;
        case VectorLevel::Sse2:
            pack_blocks(job, 16, tile_sse2);
            return;
        case VectorLevel::Scalar:
            break;
    }
#endif
    pack_blocks(job, 16, tile_scalar);
}

}  // namespace

void clear_transfer_buffer() {
    std::memset(g_transfer_buffer, 0, std::size_t{cleared_columns()} * kColumnBytes);
}

void pack_transfer_buffer_8ch() {
    pack_slots(false);
}

void pack_transfer_buffer_4ch() {
    pack_slots(true);
}
