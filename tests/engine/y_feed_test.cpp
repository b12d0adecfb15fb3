#include "engine/y_feed.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>

#include "engine/step_settings.h"
#include "engine_state.h"

namespace {

using engine_test::Job;
using engine_test::start_job;

// A job start as the job printer makes it: the stepping selected, the skip state cleared.
void start(const Job& job, std::int32_t head_offset = 0) {
    start_job(job);
    g_skip_state = 0;
    g_blank_lines = 0;
    g_ink_seen = 0;
    g_head_offset = head_offset;
    g_stop_printing = 0;
}

// Clears the band rows of the window, then puts one dot in plane `plane` when asked.
void load_band(bool ink, std::uint32_t plane = 5) {
    clear_step_rows();
    if (ink) {
        g_input_planes[plane][g_window_start_row + g_step_rows - 1][g_row_bytes - 1] = 0x40;
    }
}

TEST(BlankBand, ThreeHundredBlankLinesAtTheStartAreSkippedInOneMove) {
    start({.row_bytes = 1000, .pass_count = 4});
    ASSERT_EQ(g_step_rows, 143u);
    for (int band = 0; band < 2; ++band) {
        load_band(false);
        EXPECT_EQ(detect_blank_band(), 0u);
        EXPECT_EQ(g_skip_state, SKIP_BLANK_GAP);
        compute_skip_position();
    }
    EXPECT_EQ(g_blank_lines, 286u);
    load_band(true);
    EXPECT_EQ(detect_blank_band(), 1u);
    EXPECT_EQ(g_skip_state, SKIP_REPOSITION);
    compute_skip_position();
    EXPECT_EQ(g_y_position, 286 * 144);
    EXPECT_EQ(g_y_position, 41184);
    EXPECT_EQ(g_start_offset, 286);
    EXPECT_EQ(g_ink_seen, 1u);
    EXPECT_EQ(g_blank_lines, 0u);
}

TEST(BlankBand, AGapUpToPassesTimesHeadRowsKeepsPrinting) {
    start({.row_bytes = 64, .pass_count = 4});
    g_ink_seen = 1;
    const std::uint32_t limit = g_pass_count * g_head_rows;  // 4 x 179 = 716
    // Five blank bands: 715 lines, still inside the limit, so the state stays "print".
    for (int band = 0; band < 5; ++band) {
        load_band(false);
        detect_blank_band();
        EXPECT_EQ(g_skip_state, SKIP_PRINT) << "band " << band;
    }
    EXPECT_LE(g_blank_lines, limit);
    load_band(true);
    EXPECT_EQ(detect_blank_band(), 0u);
    EXPECT_EQ(g_skip_state, SKIP_PRINT);
    EXPECT_EQ(g_blank_lines, 0u);

    // Exactly P x H blank lines before ink: printed through, no reposition.
    g_blank_lines = limit;
    load_band(true);
    EXPECT_EQ(detect_blank_band(), 0u);
    EXPECT_EQ(g_skip_state, SKIP_PRINT);

    // One band more than that: the gap is skipped, less the lines still under the heads.
    g_blank_lines = 0;
    for (int band = 0; band < 6; ++band) {
        load_band(false);
        detect_blank_band();
    }
    EXPECT_EQ(g_skip_state, SKIP_BLANK_GAP);
    load_band(true);
    EXPECT_EQ(detect_blank_band(), 1u);
    compute_skip_position();
    EXPECT_EQ(g_start_offset, static_cast<std::int32_t>(6 * 143 - limit));
    EXPECT_EQ(g_y_position, (6 * 143 - static_cast<std::int32_t>(limit)) * 144);
}

TEST(BlankBand, InkInAnyPlaneAndAnyByteCounts) {
    start({.row_bytes = 1001, .pass_count = 8});
    for (std::uint32_t plane = 0; plane < 6; ++plane) {
        for (std::uint32_t byte : {0u, 7u, 8u, 63u, 64u, 999u, 1000u}) {
            clear_step_rows();
            g_input_planes[plane][g_window_start_row][byte] = 1;
            g_skip_state = 0;
            g_blank_lines = 0;
            g_ink_seen = 0;
            detect_blank_band();
            EXPECT_EQ(g_blank_lines, 0u) << "plane " << plane << " byte " << byte;
        }
    }
    // Bytes past the job's row length are not part of the band.
    clear_step_rows();
    g_input_planes[0][g_window_start_row][1001] = 1;
    detect_blank_band();
    EXPECT_EQ(g_blank_lines, g_step_rows);
    g_input_planes[0][g_window_start_row][1001] = 0;
}

TEST(BlankBand, APendingStopMakesEveryBandBlank) {
    start({.row_bytes = 64, .pass_count = 4});
    load_band(true);
    g_stop_printing = 1;
    EXPECT_EQ(detect_blank_band(), 0u);
    EXPECT_EQ(g_skip_state, SKIP_BLANK_GAP);
    EXPECT_EQ(g_blank_lines, g_step_rows);
    g_stop_printing = 0;
}

TEST(BlankBand, SkipPositionActsOnlyInTheRepositionState) {
    start({.row_bytes = 64, .pass_count = 16, .ink_mode = 1, .edge_kind = EDGE_SHARP, .rotary = 1});
    g_y_position = 1234;
    g_blank_lines = 500;
    g_skip_state = SKIP_BLANK_GAP;
    compute_skip_position();
    EXPECT_EQ(g_y_position, 1234);
    g_skip_state = SKIP_REPOSITION;
    compute_skip_position();
    EXPECT_EQ(g_y_step_per_line, 51u);
    EXPECT_EQ(g_y_position, 500 * 51);
}

// Steps per skipped line by machine and pass count. A flatbed 10-pass gap keeps the 36 that the
// start offset set; a rotary 10-pass gap takes 82, the rotary steps per inch at 1800 dpi.
TEST(BlankBand, StepsPerSkippedLine) {
    struct Case {
        std::uint32_t passes;
        std::uint8_t rotary;
        std::uint32_t steps;
    };
    const Case cases[] = {{4, 0, 144}, {8, 0, 72},  {10, 0, 36}, {16, 0, 36},
                          {4, 1, 203}, {8, 1, 102}, {10, 1, 82}, {16, 1, 51}};
    for (const Case& c : cases) {
        start({.row_bytes = 64, .pass_count = c.passes, .rotary = c.rotary}, 7);
        select_start_offset();
        g_y_step_per_line = c.rotary == 1 ? 0 : g_y_step_per_line;
        g_blank_lines = 1000;
        g_skip_state = SKIP_REPOSITION;
        compute_skip_position();
        EXPECT_EQ(g_y_step_per_line, c.steps) << c.passes << " passes, rotary " << int{c.rotary};
        EXPECT_EQ(g_y_position, static_cast<std::int32_t>(1000 * c.steps) + 7);
    }
}

struct FeedCase {
    const char* name;
    Job job;
    std::int32_t head_offset;
    std::int32_t expected;
};

void PrintTo(const FeedCase& c, std::ostream* out) {
    *out << c.name;
}

// The step table as the installation's defaults give it.
void load_default_feeds() {
    for (std::size_t i = 0; i < StepSettings::kEntryCount; ++i) {
        g_y_motor_steps[i] = std::stoi(std::string(StepSettings::kEntries[i].default_text));
    }
}

class Feed : public ::testing::TestWithParam<FeedCase> {};

TEST_P(Feed, OnePassFeedsTheMediaByTheTableOrTheRotaryFormula) {
    const FeedCase& c = GetParam();
    load_default_feeds();
    start(c.job, c.head_offset);
    g_y_position = 100;
    compute_y_feed_steps();
    EXPECT_EQ(g_y_position, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Feed,
    ::testing::Values(
        FeedCase{"RotarySingle4Sharp", {.pass_count = 4, .rotary = 1}, 0, 10536},
        FeedCase{"RotaryTwoLayer8", {.pass_count = 8, .ink_mode = 5, .rotary = 1}, 0, 1785},
        FeedCase{"RotarySingle10Sharp", {.pass_count = 10, .rotary = 1}, 0, 8771},
        // Rotary feeds take no head offset; a Braille two-layer rotary job backs off 460.
        FeedCase{"RotaryIgnoresHeadOffset", {.pass_count = 4, .rotary = 1}, 72, 10536},
        FeedCase{"RotaryBrailleTwoLayer",
                 {.pass_count = 4, .ink_mode = 5, .edge_kind = EDGE_BRAILLE, .rotary = 1},
                 0,
                 100 - 460},
        // Flatbed: the step table entry 6p + 2e + g plus the head offset.
        FeedCase{"FlatbedSingle4Sharp", {.pass_count = 4}, 0, 20556},
        FeedCase{"FlatbedTwoLayer4Smooth",
                 {.pass_count = 4, .ink_mode = 7, .edge_kind = EDGE_SMOOTH},
                 -36,
                 8460 - 36},
        FeedCase{"FlatbedBraille16", {.pass_count = 16, .edge_kind = EDGE_BRAILLE}, 18, 6264 + 18},
        FeedCase{
            "FlatbedBraille10Keeps", {.pass_count = 10, .edge_kind = EDGE_BRAILLE}, 18, 100 + 18}));

// A step value at the 32-bit limit (the reader's clamp of "99999999999" included) with the head
// offset on top, or a kept position moved on past it, is sent as the limit itself: the
// farthest feed the position command's field holds, never a wrap into a move the other way.
TEST(Feed, ValuesPastTheFieldsRangeAreSentAsItsLimit) {
    constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
    constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
    struct Case {
        const char* name;
        Job job;
        std::int32_t step_value;  // entry 1 and entry 13 (4 and 10 passes, single-layer Sharp)
        std::int32_t head_offset;
        std::int32_t before;  // g_y_position before the call
        std::int32_t expected;
    };
    const Case cases[] = {
        {"largest step value", {.pass_count = 4}, kMax, 36, 0, kMax},
        {"smallest step value", {.pass_count = 4}, kMin, -36, 0, kMin},
        {"a value that fits", {.pass_count = 4}, kMax - 36, 36, 0, kMax},
        {"kept position", {.pass_count = 10, .edge_kind = EDGE_BRAILLE}, 0, 18, kMax - 1, kMax},
        {"rotary backlash",
         {.pass_count = 10, .edge_kind = EDGE_BRAILLE, .rotary = 1},
         0,
         0,
         kMin + 1,
         kMin},
    };
    for (const Case& c : cases) {
        load_default_feeds();
        g_y_motor_steps[0] = c.step_value;
        g_y_motor_steps[12] = c.step_value;
        start(c.job, c.head_offset);
        g_y_position = c.before;
        compute_y_feed_steps();
        EXPECT_EQ(g_y_position, c.expected) << c.name;
    }
    // A gap so long that its distance passes the field: the farthest move, not a wrap.
    start({.pass_count = 4}, 36);
    g_blank_lines = 20'000'000;
    g_skip_state = SKIP_REPOSITION;
    compute_skip_position();
    EXPECT_EQ(g_y_position, kMax);
}

TEST(StartOffset, FlatbedOffsetsAreThirtySixStepsALine) {
    start({.pass_count = 16, .edge_kind = EDGE_BRAILLE});
    select_start_offset();
    EXPECT_EQ(g_start_offset, 178);
    EXPECT_EQ(g_y_position, 6408);
    EXPECT_EQ(g_y_step_per_line, 36u);
    // A pair without an offset keeps the previous one.
    start({.pass_count = 8, .ink_mode = 6, .edge_kind = EDGE_BRAILLE}, 50);
    select_start_offset();
    EXPECT_EQ(g_start_offset, 178);
    start({.pass_count = 4, .ink_mode = 6, .edge_kind = EDGE_GAUSSIAN}, 50);
    select_start_offset();
    EXPECT_EQ(g_y_position, 106 * 36) << "no head offset in the start position";
}

TEST(EndOfJob, TailBandsAndTrailingPasses) {
    start({.pass_count = 4});  // W 572, S 143
    g_blank_lines = 100;
    compute_tail_bands();
    EXPECT_EQ(g_tail_bands, 3);
    g_blank_lines = 600;
    compute_tail_bands();
    EXPECT_EQ(g_tail_bands, 0);

    start({.pass_count = 4, .ink_mode = 4});
    compute_trailing_passes();
    EXPECT_EQ(g_trailing_passes, 12);
    start({.pass_count = 8, .ink_mode = 4, .edge_kind = EDGE_GAUSSIAN});  // W 1305, S 87
    compute_trailing_passes();
    EXPECT_EQ(g_trailing_passes, 42);
}

}  // namespace
