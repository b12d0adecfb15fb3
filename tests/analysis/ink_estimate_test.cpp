// The ink-consumption estimate: which planes each ink mode counts, the dot weights and the
// factors, the texts, and print files that are short, long-lined or of a wrong resolution.
#include "analysis/ink_estimate.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "analysis/dot_counts.h"
#include "fifo.h"
#include "prn_builder.h"
#include "temp_dir.h"

namespace {

using test_support::PrnBuilder;
using test_support::TempDir;

class InkEstimateTest : public ::testing::Test {
  protected:
    std::string write(const PrnBuilder& prn, const std::string& name = "job.prn") {
        prn.write(dir_ / name);
        return (dir_ / name).string();
    }
    TempDir dir_;
};

// A White plane of 1,000,000 large dots in a job of ink mode 2 at 3D level "Small":
// 0.015 x 4 x 3.
TEST_F(InkEstimateTest, WhiteExampleShows018000) {
    // 100 lines of 2500 bytes: 250,000 bytes of four large dots each.
    const std::string path =
        write(PrnBuilder(2500, 100).ink_mode(2).solid(PRN_PLANE_WHITE, 0, 100, 0, 10000));
    const InkEstimate estimate = estimate_ink(path, "Small");
    ASSERT_TRUE(estimate.ok) << estimate.message;
    EXPECT_EQ(estimate.dots[PRN_PLANE_WHITE].large, 1000000u);
    const InkCostTexts expected = {"0.00000", "0.00000", "0.00000", "0.00000",
                                   "0.18000", "0.00000", "0.18000"};
    EXPECT_EQ(estimate.texts, expected);
}

// Every plane holds ink; only the planes of the ink mode are counted.
TEST_F(InkEstimateTest, EachInkModeCountsItsPlanes) {
    PrnBuilder prn(40, 10);
    prn.random_dots(5, 0.5);
    struct Case {
        std::uint8_t ink_mode;
        const char* planes;  // K C M Y W V
    };
    const Case cases[] = {{1, "KCMY.."},  {2, "....W."},  {3, "....W."},  {13, "....W."},
                          {4, ".....V"},  {14, ".....V"}, {5, "KCMYW."},  {6, "KCMYW."},
                          {7, "KCMYW."},  {8, "KCMYW."},  {9, "KCMY.V"},  {10, "KCMY.V"},
                          {11, "....WV"}, {12, "....WV"}, {15, "....W."}, {0, "....W."},
                          {200, "....W."}};
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.ink_mode));
        const InkEstimate estimate = estimate_ink(write(prn.ink_mode(c.ink_mode)), "N/A");
        ASSERT_TRUE(estimate.ok);
        for (std::size_t p = 0; p < kPrnPlaneCount; ++p) {
            std::uint64_t expected_large = 0;
            if (c.planes[p] != '.') {
                for (std::uint32_t line = 0; line < 10; ++line) {
                    for (std::uint32_t x = 0; x < 40; ++x) {
                        expected_large +=
                            kDotCountTable[prn.row(line, static_cast<PrnPlane>(p))[x]].large;
                    }
                }
                EXPECT_GT(expected_large, 0u);
            }
            EXPECT_EQ(estimate.dots[p].large, expected_large) << "plane " << p;
        }
    }
}

// 1,000,000 large dots in one plane is 0.015 before the factors.
TEST(InkCostTexts, FactorsOfInkModeAnd3DLevel) {
    struct Case {
        std::uint8_t ink_mode;
        const char* level;
        const char* white;
        const char* varnish;
    };
    const Case cases[] = {
        {1, "N/A", "0.01500", "0.01500"},     {2, "N/A", "0.06000", "0.01500"},
        {5, "N/A", "0.06000", "0.01500"},     {3, "N/A", "0.03000", "0.01500"},
        {7, "N/A", "0.03000", "0.01500"},     {11, "N/A", "0.03000", "0.03000"},
        {13, "N/A", "0.12000", "0.01500"},    {14, "N/A", "0.01500", "0.12000"},
        {4, "N/A", "0.01500", "0.03000"},     {9, "N/A", "0.01500", "0.03000"},
        {15, "N/A", "0.01500", "0.01500"},    {1, "Small", "0.04500", "0.01500"},
        {1, "Middle", "0.07500", "0.01500"},  {1, "Big", "0.10500", "0.01500"},
        {1, "Braille", "0.10500", "0.01500"}, {2, "Big", "0.42000", "0.01500"},
    };
    std::array<InkDots, kPrnPlaneCount> dots{};
    dots[PRN_PLANE_WHITE].large = 1000000;
    dots[PRN_PLANE_VARNISH].large = 1000000;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.ink_mode) + " " + c.level);
        const InkCostTexts texts = ink_cost_texts(dots, c.ink_mode, c.level);
        EXPECT_EQ(texts[PRN_PLANE_WHITE], c.white);
        EXPECT_EQ(texts[PRN_PLANE_VARNISH], c.varnish);
        EXPECT_EQ(texts[PRN_PLANE_BLACK], "0.00000");
    }
    // Middle and small dots weigh 0.007 and 0.0038; the total sums the six amounts.
    std::array<InkDots, kPrnPlaneCount> mixed{};
    mixed[PRN_PLANE_BLACK] = {0, 1000000, 0};
    mixed[PRN_PLANE_CYAN] = {0, 0, 1000000};
    mixed[PRN_PLANE_YELLOW] = {2000000, 0, 0};
    const InkCostTexts texts = ink_cost_texts(mixed, 1, "N/A");
    EXPECT_EQ(texts[0], "0.00700");
    EXPECT_EQ(texts[1], "0.00380");
    EXPECT_EQ(texts[3], "0.03000");
    EXPECT_EQ(texts[6], "0.04080");
}

// The one rendering of a half-way amount: the single-precision product 0.5 divided by 100000
// in double precision shows 0.00001 (a single-precision quotient would show 0.00000).
TEST(InkCostTexts, HalfWayAmountsRenderFromTheDoubleQuotient) {
    EXPECT_EQ(format_ink_amount(5e-6f), "0.00001");
    EXPECT_EQ(format_ink_amount(0.18f), "0.18000");
    EXPECT_EQ(format_ink_amount(0.0f), "0.00000");
}

// Totals past 32 bits stay exact, and the amount of billions of dots is shown whole.
TEST(InkCostTexts, CountsPastFourBillionStayExact) {
    InkDots dots{0xFFFFFFFFull, 0, 0};
    const std::uint8_t full[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    count_plane_dots(full, sizeof full, dots);
    EXPECT_EQ(dots.large, 0xFFFFFFFFull + 32);
    std::array<InkDots, kPrnPlaneCount> all{};
    all[PRN_PLANE_BLACK].large = 6000000000ull;
    EXPECT_EQ(ink_cost_texts(all, 1, "N/A")[0], "90.00000");
}

// Whole words and the bytes after them count by the decode rule, for every byte value.
TEST(CountPlaneDots, AgreesWithTheDecodeRule) {
    std::vector<std::uint8_t> bytes(1027);
    std::mt19937 random(7);
    for (std::uint8_t& b : bytes) {
        b = static_cast<std::uint8_t>(random());
    }
    for (int v = 0; v < 256; ++v) {
        bytes[static_cast<std::size_t>(v)] = static_cast<std::uint8_t>(v);
    }
    for (const std::size_t length :
         {std::size_t{0}, std::size_t{5}, std::size_t{8}, std::size_t{1021}, bytes.size()}) {
        InkDots expected;
        for (std::size_t i = 0; i < length; ++i) {
            const DotCounts c = decode_dot_counts(bytes[i]);
            expected.large += c.large;
            expected.middle += c.middle;
            expected.small += c.small;
        }
        InkDots counted;
        count_plane_dots(bytes.data(), length, counted);
        EXPECT_EQ(counted.large, expected.large) << length;
        EXPECT_EQ(counted.middle, expected.middle) << length;
        EXPECT_EQ(counted.small, expected.small) << length;
    }
    InkDots single;
    for (const std::uint8_t b : {0xFF, 0x55, 0xAA}) {
        count_plane_dots(&b, 1, single);
    }
    EXPECT_EQ(single.large, 4u);
    EXPECT_EQ(single.small, 4u);
    EXPECT_EQ(single.middle, 4u);
}

// Chunks of 200 lines, the last one short: every line counts, and the bar moves once a chunk,
// the short one too.
TEST_F(InkEstimateTest, EveryLineOfEveryChunkCounts) {
    const std::pair<std::uint32_t, std::vector<std::uint32_t>> cases[] = {
        {150, {1}}, {400, {1, 2}}, {450, {1, 2, 3}}};
    for (const auto& [lines, expected_steps] : cases) {
        SCOPED_TRACE(lines);
        const std::string path =
            write(PrnBuilder(10, lines).solid(PRN_PLANE_BLACK, 0, lines, 0, 40));
        std::uint32_t range = 99;
        std::vector<std::uint32_t> steps;
        InkProgress progress;
        progress.begin = [&](std::uint32_t chunks) { range = chunks; };
        progress.chunk = [&](std::uint32_t done) { steps.push_back(done); };
        const InkEstimate estimate = estimate_ink(path, "N/A", progress);
        ASSERT_TRUE(estimate.ok);
        EXPECT_EQ(estimate.dots[PRN_PLANE_BLACK].large, 40u * lines);
        EXPECT_EQ(range, lines / 200);
        EXPECT_EQ(steps, expected_steps);
    }
}

// A file shorter than its header says: only the bytes it has count, however many lines the
// header announces; a cut-off line counts up to where it ends.
TEST_F(InkEstimateTest, ShortFileCountsOnlyTheBytesItHas) {
    PrnBuilder prn(100, 300);
    prn.solid(PRN_PLANE_BLACK, 0, 300, 0, 400);
    // 250 whole lines and 50 bytes of the next line's Black row.
    const std::size_t size = kPrnHeaderSize + 250 * 600 + 50;
    prn.write_truncated(dir_ / "short.prn", size);
    InkEstimate estimate = estimate_ink((dir_ / "short.prn").string(), "N/A");
    ASSERT_TRUE(estimate.ok);
    EXPECT_EQ(estimate.dots[PRN_PLANE_BLACK].large, 4u * (250 * 100 + 50));

    // A header that claims four billion lines of a 20-line file.
    PrnBuilder huge(100, 20);
    huge.solid(PRN_PLANE_BLACK, 0, 20, 0, 400);
    std::string bytes = huge.bytes();
    prn_put_u32(reinterpret_cast<std::uint8_t*>(bytes.data()), kPrnOffsetLineCount, 0xFFFFFFFFu);
    test_support::write_file(dir_ / "huge.prn", bytes);
    estimate = estimate_ink((dir_ / "huge.prn").string(), "N/A");
    ASSERT_TRUE(estimate.ok);
    EXPECT_EQ(estimate.dots[PRN_PLANE_BLACK].large, 4u * 20 * 100);
}

// A large job is counted in segments at once: a sparse file of 100 MB with ink at the ends of
// the segments counts every dot once.
TEST_F(InkEstimateTest, LargeJobCountsEveryLineOnceAcrossSegments) {
    constexpr std::uint32_t kRow = 3600;
    constexpr std::uint32_t kLines = 5000;
    const std::size_t line_bytes = std::size_t{kRow} * kPrnPlaneCount;
    std::string bytes = PrnBuilder(kRow, 0).bytes();
    prn_put_u32(reinterpret_cast<std::uint8_t*>(bytes.data()), kPrnOffsetLineCount, kLines);
    bytes.resize(kPrnHeaderSize + line_bytes * kLines, '\0');
    std::uint64_t expected = 0;
    for (const std::uint32_t line : {0u, 1249u, 1250u, 2499u, 2500u, 3749u, 3750u, 4999u}) {
        // A Black row full of large dots; White, not counted in ink mode 1, beside it.
        const std::size_t at = kPrnHeaderSize + line_bytes * line;
        std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(at), kRow, '\xFF');
        std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(at + 4 * kRow), kRow, '\xFF');
        expected += 4 * kRow;
    }
    test_support::write_file(dir_ / "large.prn", bytes);
    const InkEstimate estimate = estimate_ink((dir_ / "large.prn").string(), "N/A");
    ASSERT_TRUE(estimate.ok);
    EXPECT_EQ(estimate.dots[PRN_PLANE_BLACK].large, expected);
    EXPECT_EQ(estimate.dots[PRN_PLANE_WHITE].large, 0u);
}

TEST_F(InkEstimateTest, RefusesWhatItCannotRead) {
    struct Case {
        PrnBuilder prn;
        const char* message;
    };
    const Case cases[] = {
        {PrnBuilder(10, 10).resolution(720, 1200), "Please select right image mode!\n"},
        {PrnBuilder(10, 10).resolution(360, 720), "Please select right image mode!\n"},
        {PrnBuilder(3601, 2),
         "The print file's plane rows are 3601 bytes long, more than the 3600 bytes the ink "
         "calculation reads."},
    };
    for (const Case& c : cases) {
        const InkEstimate estimate = estimate_ink(write(c.prn), "N/A");
        EXPECT_FALSE(estimate.ok);
        EXPECT_EQ(estimate.message, c.message);
    }
    // Nothing there, or a pipe or a device there: neither waited on nor read.
    test_support::UnreadableNames unreadable =
        test_support::make_unreadable_names(dir_.path(), ".prn");
    unreadable.names.push_back(dir_ / "missing.prn");
    for (const auto& name : unreadable.names) {
        InkEstimate estimate;
        EXPECT_TRUE(test_support::ends_without_waiting_on(unreadable.fifos, [&] {
            estimate = estimate_ink(name.string(), "N/A");
        })) << name;
        EXPECT_EQ(estimate.message, "Print file can't read.") << name;
    }
    // 1800 dpi is accepted, and a row of 3600 bytes is read whole.
    EXPECT_TRUE(estimate_ink(write(PrnBuilder(3600, 3).resolution(720, 1800)), "N/A").ok);
}

}  // namespace
