// The preview builder: the decode rule, the geometry and the stretched size, the sampling and
// the sums of a hand-counted file, the shading of each class, short files and refused files.
#include "analysis/preview_builder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>

#include "analysis/dot_counts.h"
#include "fifo.h"
#include "prn_builder.h"
#include "temp_dir.h"

namespace {

using test_support::PrnBuilder;
using test_support::TempDir;

constexpr std::uint32_t kWhite = 0xFFFFFF;

TEST(DecodeDotCounts, CountsEachCodeOfTheByte) {
    struct Case {
        std::uint8_t byte;
        int large, middle, small;
    };
    const Case cases[] = {
        {0xFF, 4, 0, 0}, {0xAA, 0, 4, 0}, {0x55, 0, 0, 4}, {0xE4, 1, 1, 1},
        {0x00, 0, 0, 0}, {0x1B, 1, 1, 1}, {0xC0, 1, 0, 0}, {0x02, 0, 1, 0},
    };
    for (const Case& c : cases) {
        const DotCounts counts = decode_dot_counts(c.byte);
        EXPECT_EQ(counts.large, c.large) << int{c.byte};
        EXPECT_EQ(counts.middle, c.middle) << int{c.byte};
        EXPECT_EQ(counts.small, c.small) << int{c.byte};
    }
    for (int byte = 0; byte < 256; ++byte) {
        int dots = 0;
        for (int shift = 0; shift < 8; shift += 2) {
            dots += ((byte >> shift) & 3) != 0;
        }
        const DotCounts c = kDotCountTable[byte];
        EXPECT_EQ(c.large + c.middle + c.small, dots) << byte;
    }
}

TEST(PreviewGeometry, StepsRowsAndStretchedSize) {
    struct Case {
        std::uint32_t row_bytes, line_count, y_dpi;
        std::uint32_t m, s, n, rows, width;
        float f;
        std::uint32_t target_width, target_height;
    };
    const Case cases[] = {
        // 720 x 720, 300 bytes, 1000 lines: 250 cells down, within the width.
        {300, 1000, 720, 4, 1, 4, 250, 300, 0.5f, 354, 295},
        // 720 x 1440, 3540 bytes, 28800 lines: taller than wide, beyond 354 cells.
        {3540, 28800, 1440, 8, 10, 80, 360, 354, 1.0f, 348, 354},
        // 354 to 707 bytes step one column; 708 steps two.
        {354, 40, 720, 4, 1, 4, 10, 354, 0.5f, 354, 10},
        {707, 40, 1800, 10, 1, 10, 4, 707, 1.25f, 354, 2},
        {708, 64, 2880, 16, 2, 32, 2, 354, 2.0f, 354, 2},
        // Taller than wide, at most 354 cells down: enlarged to 354 high.
        {100, 800, 720, 4, 1, 4, 200, 100, 0.5f, 177, 354},
        // Wider than 354 pixels: the height follows the preview rows.
        {700, 2000, 720, 4, 1, 4, 500, 700, 0.5f, 354, 253},
    };
    for (const Case& c : cases) {
        PrnHeader h;
        h.row_bytes = c.row_bytes;
        h.line_count = c.line_count;
        h.y_dpi = c.y_dpi;
        const PreviewCheck check = preview_geometry(h);
        ASSERT_EQ(check.failure, PreviewFailure::None) << c.row_bytes << " " << check.message;
        const PreviewGeometry& g = check.geometry;
        EXPECT_EQ(g.lines_per_cell, c.m) << c.row_bytes;
        EXPECT_EQ(g.column_step, c.s) << c.row_bytes;
        EXPECT_EQ(g.row_lines, c.n) << c.row_bytes;
        EXPECT_EQ(g.rows, c.rows) << c.row_bytes;
        EXPECT_EQ(g.width, c.width) << c.row_bytes;
        EXPECT_EQ(g.intensity, c.f) << c.row_bytes;
        EXPECT_EQ(g.target_width, c.target_width) << c.row_bytes;
        EXPECT_EQ(g.target_height, c.target_height) << c.row_bytes;
    }
}

TEST(PreviewGeometry, InkModeChoosesTheInksShown) {
    for (int mode = 0; mode < 256; ++mode) {
        const PreviewClass expected = (mode == 2 || mode == 3 || mode == 13) ? PREVIEW_WHITE
                                      : mode == 4                            ? PREVIEW_VARNISH
                                                                             : PREVIEW_COLOR;
        EXPECT_EQ(preview_class_for(static_cast<std::uint8_t>(mode)), expected) << mode;
    }
}

TEST(PreviewGeometry, RefusesHeadersItCannotShow) {
    struct Case {
        std::uint32_t x_dpi, y_dpi, row_bytes, line_count;
        PreviewFailure failure;
        const char* message;
    };
    const Case cases[] = {
        {720, 1200, 300, 1000, PreviewFailure::BadResolution, "请选择正确图象模式!\n"},
        {360, 720, 300, 1000, PreviewFailure::BadResolution, "请选择正确图象模式!\n"},
        {720, 720, 0, 1000, PreviewFailure::BadLayout,
         "The print file's raster lines are empty (row length 0); no preview can be made."},
        {720, 720, 3601, 1000, PreviewFailure::BadLayout,
         "The print file's plane rows are 3601 bytes long, more than the 3600 bytes a preview "
         "reads; no preview can be made."},
        {720, 2880, 300, 15, PreviewFailure::BadLayout,
         "The print file has 15 raster lines, fewer than the 16 of one cell at its resolution; "
         "no preview can be made."},
        {720, 720, 3600, 39, PreviewFailure::BadLayout,
         "The print file has 39 raster lines, fewer than the 40 of one preview row; no preview "
         "can be made."},
    };
    for (const Case& c : cases) {
        PrnHeader h;
        h.x_dpi = c.x_dpi;
        h.y_dpi = c.y_dpi;
        h.row_bytes = c.row_bytes;
        h.line_count = c.line_count;
        const PreviewCheck check = preview_geometry(h);
        EXPECT_EQ(check.failure, c.failure) << c.row_bytes << "/" << c.line_count;
        EXPECT_EQ(check.message, c.message);
    }
    PrnHeader largest;
    largest.row_bytes = 3600;
    largest.line_count = 40;
    EXPECT_EQ(preview_geometry(largest).failure, PreviewFailure::None);
}

// 708 bytes a row at 720 x 720: every second byte column is read, 8 lines a preview row.
class HandCountedFile : public ::testing::Test {
  protected:
    HandCountedFile() : prn_(708, 16) {}

    void put(std::uint32_t line, PrnPlane plane, std::uint32_t x, std::uint8_t byte) {
        prn_.row(line, plane)[x] = byte;
    }

    TempDir dir_;
    PrnBuilder prn_;
};

TEST_F(HandCountedFile, SumsTheFirstColumnOfEachPixelOverItsLines) {
    put(0, PRN_PLANE_BLACK, 0, 0xFF);
    put(3, PRN_PLANE_BLACK, 0, 0xE4);
    put(7, PRN_PLANE_BLACK, 0, 0x55);
    put(1, PRN_PLANE_BLACK, 2, 0xAA);
    put(5, PRN_PLANE_CYAN, 0, 0xC3);
    put(6, PRN_PLANE_YELLOW, 706, 0x0F);
    // The second column of a pixel is never read, nor is a plane the colour class hides.
    for (std::uint32_t line = 0; line < 16; ++line) {
        put(line, PRN_PLANE_BLACK, 1, 0xFF);
        put(line, PRN_PLANE_BLACK, 707, 0xFF);
        put(line, PRN_PLANE_WHITE, 0, 0xFF);
    }
    put(8, PRN_PLANE_BLACK, 0, 0xFF);
    prn_.write(dir_ / "job.prn");

    PreviewReader reader;
    ASSERT_EQ(reader.open((dir_ / "job.prn").string()).failure, PreviewFailure::None);
    EXPECT_EQ(reader.geometry().column_step, 2u);
    EXPECT_EQ(reader.geometry().row_lines, 8u);
    ASSERT_TRUE(reader.read_row());
    const auto expect = [&](PrnPlane plane, std::uint32_t x, std::uint32_t large,
                            std::uint32_t middle, std::uint32_t small) {
        const PlaneSums s = reader.sums(plane, x);
        EXPECT_EQ(s.large, large) << "plane " << int{plane} << " x " << x;
        EXPECT_EQ(s.middle, middle) << "plane " << int{plane} << " x " << x;
        EXPECT_EQ(s.small, small) << "plane " << int{plane} << " x " << x;
    };
    expect(PRN_PLANE_BLACK, 0, 5, 1, 5);
    expect(PRN_PLANE_BLACK, 2, 0, 4, 0);
    expect(PRN_PLANE_BLACK, 4, 0, 0, 0);
    expect(PRN_PLANE_BLACK, 706, 0, 0, 0);
    expect(PRN_PLANE_CYAN, 0, 2, 0, 0);
    expect(PRN_PLANE_YELLOW, 706, 2, 0, 0);
    expect(PRN_PLANE_WHITE, 0, 0, 0, 0);

    // The next row starts from cleared sums.
    ASSERT_TRUE(reader.read_row());
    expect(PRN_PLANE_BLACK, 0, 4, 0, 0);
    expect(PRN_PLANE_BLACK, 2, 0, 0, 0);
    expect(PRN_PLANE_CYAN, 0, 0, 0, 0);
    EXPECT_FALSE(reader.read_row());
}

TEST_F(HandCountedFile, ShortFileCountsWhatItLacksAsBlank) {
    // Column 0 is full of large Black dots in every line the file has; the header announces
    // 24 lines, the file ends after line 9.
    for (std::uint32_t line = 0; line < 16; ++line) {
        put(line, PRN_PLANE_BLACK, 0, 0xFF);
    }
    const std::string whole = prn_.bytes();
    std::string bytes = whole.substr(0, kPrnHeaderSize + 10 * 6 * 708);
    std::uint8_t* header = reinterpret_cast<std::uint8_t*>(bytes.data());
    prn_put_u32(header, kPrnOffsetLineCount, 24);
    test_support::write_file(dir_ / "short.prn", bytes);

    PreviewReader reader;
    ASSERT_EQ(reader.open((dir_ / "short.prn").string()).failure, PreviewFailure::None);
    ASSERT_EQ(reader.geometry().rows, 3u);
    ASSERT_TRUE(reader.read_row());
    EXPECT_EQ(reader.sums(PRN_PLANE_BLACK, 0).large, 32u);
    EXPECT_FALSE(reader.exhausted());
    ASSERT_TRUE(reader.read_row());
    EXPECT_EQ(reader.sums(PRN_PLANE_BLACK, 0).large, 8u);
    EXPECT_TRUE(reader.exhausted());
    ASSERT_TRUE(reader.read_row());
    EXPECT_EQ(reader.sums(PRN_PLANE_BLACK, 0).large, 0u);
}

TEST(PreviewShade, EachClassByItsFormula) {
    struct Case {
        const char* name;
        PreviewClass preview_class;
        PrnPlane plane;
        PlaneSums sums;
        std::uint32_t n;
        float f;
        std::uint32_t colour;
    };
    const Case cases[] = {
        // A cell full of large Black dots: k 67 at 720 x 720, 100 at 1440 and above.
        {"black 720", PREVIEW_COLOR, PRN_PLANE_BLACK, {16, 0, 0}, 4, 0.5f, 0x545454},
        {"black 1440", PREVIEW_COLOR, PRN_PLANE_BLACK, {32, 0, 0}, 8, 1.0f, 0x000000},
        // Black middle dots weigh as much as large ones.
        {"black middle", PREVIEW_COLOR, PRN_PLANE_BLACK, {0, 16, 0}, 4, 0.5f, 0x545454},
        // c = 12.5 rounds away from zero to 13: red 87 x 100 x 255 / 10000.
        {"cyan small", PREVIEW_COLOR, PRN_PLANE_CYAN, {0, 0, 4}, 4, 0.5f, 0xDDFFFF},
        {"cyan capped", PREVIEW_COLOR, PRN_PLANE_CYAN, {16, 0, 0}, 4, 0.5f, 0x00FFFF},
        {"magenta middle", PREVIEW_COLOR, PRN_PLANE_MAGENTA, {0, 8, 0}, 4, 0.5f, 0xFFB5FF},
        {"yellow large", PREVIEW_COLOR, PRN_PLANE_YELLOW, {2, 0, 0}, 4, 0.5f, 0xFFFFD8},
        {"colour hides white", PREVIEW_COLOR, PRN_PLANE_WHITE, {16, 0, 0}, 4, 0.5f, kWhite},
        {"colour hides varnish", PREVIEW_COLOR, PRN_PLANE_VARNISH, {16, 0, 0}, 4, 0.5f, kWhite},
        // White: (100 lg + 66 md + 33 sm) div n div 4 below 1 stays white, else one tint.
        {"white below 4", PREVIEW_WHITE, PRN_PLANE_WHITE, {0, 0, 1}, 16, 2.0f, kWhite},
        {"white from 4", PREVIEW_WHITE, PRN_PLANE_WHITE, {0, 1, 0}, 16, 2.0f, 0xF2F4ED},
        {"white full", PREVIEW_WHITE, PRN_PLANE_WHITE, {64, 0, 0}, 16, 2.0f, 0xF2F4ED},
        {"white hides black", PREVIEW_WHITE, PRN_PLANE_BLACK, {16, 0, 0}, 4, 0.5f, kWhite},
        {"varnish", PREVIEW_VARNISH, PRN_PLANE_VARNISH, {16, 0, 0}, 4, 0.5f, 0x545454},
        {"varnish capped", PREVIEW_VARNISH, PRN_PLANE_VARNISH, {64, 0, 0}, 16, 2.0f, 0},
        {"varnish hides black", PREVIEW_VARNISH, PRN_PLANE_BLACK, {16, 0, 0}, 4, 0.5f, kWhite},
    };
    for (const Case& c : cases) {
        PlaneSums sums[kPrnPlaneCount] = {};
        sums[c.plane] = c.sums;
        EXPECT_EQ(preview_shade(c.preview_class, sums, c.n, c.f), c.colour) << c.name;
    }
    // Black over cyan: k 17, c 28.
    PlaneSums both[kPrnPlaneCount] = {};
    both[PRN_PLANE_BLACK] = {4, 0, 0};
    both[PRN_PLANE_CYAN] = {4, 0, 0};
    EXPECT_EQ(preview_shade(PREVIEW_COLOR, both, 4, 0.5f), 0x98D3D3u);
}

// A whole build of a file solid in one plane gives one colour everywhere, whichever source
// pixels the stretch picks.
TEST(BuildPreview, SolidFileOfEachClass) {
    struct Case {
        const char* name;
        std::uint8_t ink_mode;
        PrnPlane plane;
        std::uint8_t dot;
        std::uint32_t colour;
    };
    const Case cases[] = {
        {"black", 1, PRN_PLANE_BLACK, DOT_LARGE, 0x545454},
        {"white", 2, PRN_PLANE_WHITE, DOT_SMALL, 0xF2F4ED},
        {"eight white", 13, PRN_PLANE_WHITE, DOT_LARGE, 0xF2F4ED},
        {"varnish", 4, PRN_PLANE_VARNISH, DOT_LARGE, 0x545454},
        {"colour and white, white only", 5, PRN_PLANE_WHITE, DOT_LARGE, kWhite},
    };
    TempDir dir;
    for (const Case& c : cases) {
        PrnBuilder prn(60, 80);
        prn.ink_mode(c.ink_mode).solid(c.plane, 0, 80, 0, 240, c.dot);
        prn.write(dir / "job.prn");
        const PreviewResult result = build_preview((dir / "job.prn").string());
        ASSERT_EQ(result.failure, PreviewFailure::None) << c.name << result.message;
        ASSERT_EQ(result.picture.width, 354u) << c.name;
        ASSERT_EQ(result.picture.height, 118u) << c.name;
        for (const std::uint32_t pixel : result.picture.pixels) {
            ASSERT_EQ(pixel, c.colour) << c.name;
        }
    }
}

TEST(BuildPreview, LinesAfterTheLastWholeRowDoNotShow) {
    // 720 x 720, 4 lines a row: 42 lines make 10 rows; lines 40 and 41 are not read.
    TempDir dir;
    PrnBuilder prn(60, 42);
    prn.solid(PRN_PLANE_BLACK, 40, 2, 0, 240);
    prn.write(dir / "job.prn");
    const PreviewResult result = build_preview((dir / "job.prn").string());
    ASSERT_EQ(result.failure, PreviewFailure::None) << result.message;
    EXPECT_EQ(result.geometry.rows, 10u);
    for (const std::uint32_t pixel : result.picture.pixels) {
        ASSERT_EQ(pixel, kWhite);
    }
}

TEST(BuildPreview, HeaderAnnouncingFarMoreLinesThanTheFileHoldsEndsAtOnce) {
    TempDir dir;
    PrnBuilder prn(60, 8);
    prn.solid(PRN_PLANE_BLACK, 0, 8, 0, 240);
    std::string bytes = prn.bytes();
    prn_put_u32(reinterpret_cast<std::uint8_t*>(bytes.data()), kPrnOffsetLineCount, 0xFFFFFFF0u);
    test_support::write_file(dir / "job.prn", bytes);
    std::uint32_t last_row = 0;
    PreviewProgress progress;
    progress.row = [&](std::uint32_t row) { last_row = row; };
    const auto start = std::chrono::steady_clock::now();
    const PreviewResult result = build_preview((dir / "job.prn").string(), progress);
    const auto took = std::chrono::steady_clock::now() - start;
    ASSERT_EQ(result.failure, PreviewFailure::None) << result.message;
    EXPECT_EQ(result.picture.height, 354u);
    EXPECT_EQ(result.picture.pixels.size(),
              std::size_t{result.picture.width} * result.picture.height);
    // Two rows of the file were read; the rest of the billion announced ones were not.
    EXPECT_LE(last_row, 2u);
    EXPECT_LT(took, std::chrono::seconds(5));
}

TEST(BuildPreview, RefusedFiles) {
    TempDir dir;
    PrnBuilder good(60, 80);
    good.write_truncated(dir / "headless.prn", 100);
    PrnBuilder(60, 80).resolution(720, 1200).write(dir / "mode.prn");
    PrnBuilder(0, 80).write(dir / "empty_rows.prn");
    std::vector<std::pair<std::string, PreviewFailure>> cases = {
        {"missing.prn", PreviewFailure::CannotOpen},   {"", PreviewFailure::CannotOpen},
        {"headless.prn", PreviewFailure::NoHeader},    {"mode.prn", PreviewFailure::BadResolution},
        {"empty_rows.prn", PreviewFailure::BadLayout},
    };
    // A pipe or a device at the name is never waited on or read.
    const test_support::UnreadableNames unreadable =
        test_support::make_unreadable_names(dir.path(), ".prn");
    for (const auto& name : unreadable.names) {
        cases.emplace_back(name.filename().string(), PreviewFailure::CannotOpen);
    }
    for (const auto& [name, failure] : cases) {
        PreviewResult result;
        EXPECT_TRUE(test_support::ends_without_waiting_on(unreadable.fifos, [&] {
            result = build_preview((dir / name).string());
        })) << name;
        EXPECT_EQ(result.failure, failure) << name;
        EXPECT_FALSE(result.message.empty()) << name;
        EXPECT_TRUE(result.picture.pixels.empty()) << name;
    }
    EXPECT_EQ(build_preview((dir / "missing.prn").string()).message, "Print file can't read.");
    // A folder opens but does not read.
    EXPECT_EQ(build_preview(dir.path().string()).message, "Print file can't read.");
}

}  // namespace

namespace {

// The whole picture of every preview row, unstretched, from the reader alone.
std::vector<std::uint32_t> source_picture(const std::string& path, PreviewGeometry& g) {
    PreviewReader reader;
    EXPECT_EQ(reader.open(path).failure, PreviewFailure::None);
    g = reader.geometry();
    std::vector<std::uint32_t> pixels(std::size_t{g.width} * g.rows);
    for (std::uint32_t r = 0; reader.read_row(); ++r) {
        reader.shade_row(&pixels[std::size_t{r} * g.width]);
    }
    return pixels;
}

// The build reads past the rows and columns its stretch does not show; every pixel it shows
// is still the one of the whole picture. Both ways of shrinking and of enlarging.
TEST(BuildPreview, ShowsTheSourcePixelsItsStretchTakes) {
    struct Case {
        std::uint32_t row_bytes, line_count, y_dpi;
    };
    const Case cases[] = {{700, 2000, 720}, {1500, 640, 1440}, {100, 800, 720}, {3558, 1600, 2880}};
    TempDir dir;
    for (const Case& c : cases) {
        PrnBuilder prn(c.row_bytes, c.line_count);
        prn.resolution(720, c.y_dpi).random_dots(c.row_bytes, 0.3);
        prn.write(dir / "job.prn");
        const std::string path = (dir / "job.prn").string();
        PreviewGeometry g;
        const std::vector<std::uint32_t> source = source_picture(path, g);
        const PreviewResult result = build_preview(path);
        ASSERT_EQ(result.failure, PreviewFailure::None) << result.message;
        const PreviewPicture& p = result.picture;
        for (std::uint32_t v = 0; v < p.height; ++v) {
            for (std::uint32_t t = 0; t < p.width; ++t) {
                const std::size_t from = std::size_t{v} * g.rows / p.height * g.width +
                                         std::size_t{t} * g.width / p.width;
                ASSERT_EQ(p.pixels[std::size_t{v} * p.width + t], source[from])
                    << c.row_bytes << " at " << t << "," << v;
            }
        }
    }
}

}  // namespace
