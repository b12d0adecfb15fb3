#include "analysis/ink_estimate.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <system_error>
#include <thread>
#include <vector>

#include "analysis/dot_counts.h"
#include "analysis/file_reads.h"
#include "platform/file_handle.h"

std::string g_ink_cost_prn_path;
std::string g_ink_cost_3d_level;
std::string g_ink_cost_black{kInkCostUnknown};
std::string g_ink_cost_cyan{kInkCostUnknown};
std::string g_ink_cost_magenta{kInkCostUnknown};
std::string g_ink_cost_yellow{kInkCostUnknown};
std::string g_ink_cost_white{kInkCostUnknown};
std::string g_ink_cost_varnish{kInkCostUnknown};
std::string g_ink_cost_total{kInkCostUnknown};

namespace {

const char kCannotRead[] = "Print file can't read.";
const char kBadResolution[] = "Please select right image mode!\n";

// Whole raster lines are read about this many bytes at a time, so that their bytes are still
// in the processor's cache when they are counted.
constexpr std::size_t kReadBytes = 256 * 1024;

// A job of more than this many body bytes is counted in several segments at once, at most
// kMaxSegments: the machine has other work, and a few already keep pace with reading.
constexpr std::uint64_t kBytesPerSegment = 64ull * 1024 * 1024;
constexpr unsigned kMaxSegments = 4;

constexpr std::uint64_t kLowBits = 0x5555555555555555ull;

// The dot totals of whole 64-bit words: a code's low bit alone is a small dot, its high bit
// alone a middle one, both a large one. Built twice, for processors with and without a
// population-count instruction; the loader picks one.
__attribute__((target_clones("popcnt", "default"))) void count_words(const std::uint8_t* bytes,
                                                                     std::size_t words,
                                                                     InkDots& dots) {
    std::uint64_t low = 0;
    std::uint64_t high = 0;
    std::uint64_t both = 0;
    for (std::size_t i = 0; i < words; ++i) {
        std::uint64_t w;
        std::memcpy(&w, bytes + 8 * i, sizeof w);
        const std::uint64_t lo = w & kLowBits;
        const std::uint64_t hi = (w >> 1) & kLowBits;
        low += static_cast<std::uint64_t>(std::popcount(lo));
        high += static_cast<std::uint64_t>(std::popcount(hi));
        both += static_cast<std::uint64_t>(std::popcount(lo & hi));
    }
    dots.large += both;
    dots.middle += high - both;
    dots.small += low - both;
}

float weighted_amount(const InkDots& d) {
    const double amount =
        (static_cast<double>(d.large) * 0.015 + static_cast<double>(d.middle) * 0.007 +
         static_cast<double>(d.small) * 0.0038) /
        1000000.0;
    return static_cast<float>(amount);
}

bool accepted_resolution(const PrnHeader& h) {
    return h.x_dpi == 720 &&
           (h.y_dpi == 720 || h.y_dpi == 1440 || h.y_dpi == 1800 || h.y_dpi == 2880);
}

InkEstimate refuse(std::string message) {
    InkEstimate estimate;
    estimate.message = std::move(message);
    return estimate;
}

bool count_lines(int fd, const PrnHeader& h, const std::array<bool, kPrnPlaneCount>& counted,
                 std::uint32_t first_line, std::uint32_t line_count,
                 std::array<InkDots, kPrnPlaneCount>& dots,
                 const std::function<void(std::uint32_t)>& on_chunk);

}  // namespace

void count_plane_dots(const std::uint8_t* bytes, std::size_t count, InkDots& dots) {
    const std::size_t words = count / 8;
    count_words(bytes, words, dots);
    for (std::size_t i = words * 8; i < count; ++i) {
        const DotCounts c = kDotCountTable[bytes[i]];
        dots.large += c.large;
        dots.middle += c.middle;
        dots.small += c.small;
    }
}

namespace {

// Counts lines [first_line, first_line + line_count) of the print file into `dots`, reading
// whole lines about kReadBytes at a time. on_chunk is told the lines done after every 200.
// False when a read failed: what was counted is then no count of the file.
bool count_lines(int fd, const PrnHeader& h, const std::array<bool, kPrnPlaneCount>& counted,
                 std::uint32_t first_line, std::uint32_t line_count,
                 std::array<InkDots, kPrnPlaneCount>& dots,
                 const std::function<void(std::uint32_t)>& on_chunk) {
    const std::size_t line_bytes = std::size_t{h.row_bytes} * kPrnPlaneCount;
    // Nothing is allocated per chunk: one buffer for the count, sized for the longest row.
    std::vector<std::uint8_t> buffer(
        std::max<std::size_t>(kReadBytes, std::size_t{kInkMaxRowBytes} * kPrnPlaneCount));
    const std::uint32_t read_lines = static_cast<std::uint32_t>(std::clamp<std::size_t>(
        line_bytes == 0 ? kInkChunkLines : kReadBytes / line_bytes, 1, kInkChunkLines));
    std::uint64_t offset = kPrnHeaderSize + std::uint64_t{first_line} * line_bytes;
    std::uint32_t lines_left = line_count;
    std::uint32_t lines_done = 0;
    // Lines the file lacks count as blank: once it ends, or when its rows are empty, there is
    // nothing more to count however many lines the header announces.
    bool ended = line_bytes == 0;
    while (lines_left > 0 && !ended) {
        const std::uint32_t lines = std::min(lines_left, read_lines);
        const std::size_t wanted = line_bytes * lines;
        const long got =
            analysis::pread_fully(fd, buffer.data(), wanted, static_cast<off_t>(offset));
        if (got < 0) {
            return false;
        }
        // Only the bytes read are counted: the rest of a cut-off line is blank, never what an
        // earlier chunk left in the buffer.
        const std::size_t have = static_cast<std::size_t>(got);
        ended = have < wanted;
        for (std::uint32_t i = 0; i < lines; ++i) {
            for (std::size_t p = 0; p < kPrnPlaneCount; ++p) {
                const std::size_t start = i * line_bytes + p * h.row_bytes;
                if (!counted[p] || start >= have) {
                    continue;
                }
                const std::size_t end = std::min<std::size_t>(start + h.row_bytes, have);
                count_plane_dots(buffer.data() + start, end - start, dots[p]);
            }
        }
        const std::uint32_t chunks_before = lines_done / kInkChunkLines;
        lines_done += lines;
        lines_left -= lines;
        offset += wanted;
        if (on_chunk && lines_done / kInkChunkLines != chunks_before) {
            on_chunk(lines_done);
        }
    }
    return true;
}

}  // namespace

std::array<bool, kPrnPlaneCount> ink_counted_planes(std::uint8_t ink_mode) {
    //                       Black  Cyan   Magenta Yellow White  Varnish
    switch (ink_mode) {
        case 1:
            return {true, true, true, true, false, false};
        case 2:
        case 3:
        case 13:
            return {false, false, false, false, true, false};
        case 4:
        case 14:
            return {false, false, false, false, false, true};
        case 5:
        case 6:
        case 7:
        case 8:
            return {true, true, true, true, true, false};
        case 9:
        case 10:
            return {true, true, true, true, false, true};
        case 11:
        case 12:
            return {false, false, false, false, true, true};
        default:
            return {false, false, false, false, true, false};
    }
}

std::string format_ink_amount(float amount) {
    // The product is rounded to single precision, the quotient is not: of the two renderings
    // a single-precision quotient would also allow, this is the one nearest the product.
    const float scaled = amount * 100000.0f;
    char text[64];
    std::snprintf(text, sizeof text, "%.5f", static_cast<double>(scaled) / 100000.0);
    return text;
}

InkCostTexts ink_cost_texts(const std::array<InkDots, kPrnPlaneCount>& dots, std::uint8_t ink_mode,
                            std::string_view level_3d) {
    float amounts[kPrnPlaneCount];
    for (std::size_t p = 0; p < kPrnPlaneCount; ++p) {
        amounts[p] = weighted_amount(dots[p]);
    }
    float& white = amounts[PRN_PLANE_WHITE];
    float& varnish = amounts[PRN_PLANE_VARNISH];
    // White and varnish fill several nozzle planes each, by the channel layout.
    switch (ink_mode) {
        case 2:
        case 5:
        case 6:
            white *= 4.0f;
            break;
        case 3:
        case 7:
        case 8:
        case 11:
        case 12:
            white *= 2.0f;
            break;
        case 13:
            white *= 8.0f;
            break;
        default:
            break;
    }
    switch (ink_mode) {
        case 4:
        case 9:
        case 10:
        case 11:
        case 12:
            varnish *= 2.0f;
            break;
        case 14:
            varnish *= 8.0f;
            break;
        default:
            break;
    }
    // Embossing lays white down again for every extra layer.
    if (level_3d == "Small") {
        white *= 3.0f;
    } else if (level_3d == "Middle") {
        white *= 5.0f;
    } else if (level_3d == "Big" || level_3d == "Braille") {
        white *= 7.0f;
    }
    const float total = amounts[PRN_PLANE_CYAN] + amounts[PRN_PLANE_BLACK] +
                        amounts[PRN_PLANE_MAGENTA] + amounts[PRN_PLANE_YELLOW] + white + varnish;
    InkCostTexts texts;
    for (std::size_t p = 0; p < kPrnPlaneCount; ++p) {
        texts[p] = format_ink_amount(amounts[p]);
    }
    texts[6] = format_ink_amount(total);
    return texts;
}

InkEstimate estimate_ink(const std::string& prn_path, std::string_view level_3d,
                         const InkProgress& progress) {
    // Run on the window's thread: a pipe or a device at the name is refused, never waited on.
    const platform::FileHandle file = platform::open_regular_file(prn_path);
    if (!file.is_open()) {
        return refuse(kCannotRead);
    }
    std::uint8_t raw[kPrnHeaderSize] = {};
    const long got_header = analysis::read_fully(file.get(), raw, sizeof raw);
    if (got_header < 0) {
        return refuse(kCannotRead);
    }
    if (static_cast<std::size_t>(got_header) < kPrnHeaderSize) {
        return refuse(
            "The print file is shorter than its 120-byte header; its ink cannot be "
            "calculated.");
    }
    const PrnHeader h = parse_prn_header(raw);
    if (!accepted_resolution(h)) {
        return refuse(kBadResolution);
    }
    // The plane rows are read into buffers of 3600 bytes a row; a longer row is wider than
    // any job the size limits accept and is refused rather than read past the buffer.
    if (h.row_bytes > kInkMaxRowBytes) {
        return refuse("The print file's plane rows are " + std::to_string(h.row_bytes) +
                      " bytes long, more than the 3600 bytes the ink calculation reads.");
    }
    const std::array<bool, kPrnPlaneCount> counted = ink_counted_planes(h.ink_mode);

    InkEstimate estimate;
    estimate.header = h;
    if (progress.begin) {
        progress.begin(h.line_count / kInkChunkLines);
    }
    // A large job is counted in a few segments of whole lines at once, each on a thread of
    // its own with its own buffer, so that the count keeps pace with reading the file; this
    // thread counts the first segment and moves the progress bar.
    const std::uint64_t body = std::uint64_t{h.line_count} * h.row_bytes * kPrnPlaneCount;
    const unsigned segments = static_cast<unsigned>(std::clamp<std::uint64_t>(
        body / kBytesPerSegment, 1,
        std::min<unsigned>(kMaxSegments, std::max(1u, std::thread::hardware_concurrency()))));
    const std::uint32_t per_segment = h.line_count / segments;
    std::vector<std::array<InkDots, kPrnPlaneCount>> segment_dots(segments);
    // One flag a segment, each written by its own counter only.
    std::vector<char> segment_read(segments, 0);
    std::vector<std::thread> helpers;
    for (unsigned i = 1; i < segments; ++i) {
        const std::uint32_t first = per_segment * i;
        const std::uint32_t lines = i + 1 == segments ? h.line_count - first : per_segment;
        const auto count_segment = [&, i, first, lines] {
            segment_read[i] =
                count_lines(file.get(), h, counted, first, lines, segment_dots[i], {});
        };
        try {
            helpers.emplace_back(count_segment);
        } catch (const std::system_error&) {
            // No thread to be had: this one counts the segment, only later.
            count_segment();
        }
    }
    // The bar moves once a chunk, the last short chunk too, and never twice to one place.
    std::uint32_t chunks_shown = 0;
    const auto show_chunks = [&](std::uint32_t chunks) {
        if (progress.chunk && chunks != chunks_shown) {
            chunks_shown = chunks;
            progress.chunk(chunks);
        }
    };
    segment_read[0] =
        count_lines(file.get(), h, counted, 0, segments == 1 ? h.line_count : per_segment,
                    segment_dots[0], [&](std::uint32_t lines_done) {
                        // The first segment's share of the whole, in chunks of 200 lines.
                        show_chunks(static_cast<std::uint32_t>(std::uint64_t{lines_done} *
                                                               segments / kInkChunkLines));
                    });
    for (std::thread& helper : helpers) {
        helper.join();
    }
    // A read that failed is no end of the file: the dots it kept from being counted are not
    // known, so there is no estimate.
    if (std::find(segment_read.begin(), segment_read.end(), 0) != segment_read.end()) {
        return refuse(kCannotRead);
    }
    for (const auto& dots : segment_dots) {
        for (std::size_t p = 0; p < kPrnPlaneCount; ++p) {
            estimate.dots[p].large += dots[p].large;
            estimate.dots[p].middle += dots[p].middle;
            estimate.dots[p].small += dots[p].small;
        }
    }
    show_chunks(static_cast<std::uint32_t>((std::uint64_t{h.line_count} + kInkChunkLines - 1) /
                                           kInkChunkLines));
    estimate.texts = ink_cost_texts(estimate.dots, h.ink_mode, level_3d);
    estimate.ok = true;
    return estimate;
}
