// The print-time estimate: the table, the band and blank-run counting, the tail bands of the
// two estimators, the pricing and the text, and the jobs it refuses instead of looping.
#include "analysis/print_time_estimate.h"

#include <gtest/gtest.h>

#include "config/all_settings.h"
#include "engine/stepping.h"
#include "fifo.h"
#include "prn_builder.h"
#include "temp_dir.h"

namespace {

using test_support::PrnBuilder;
using test_support::TempDir;

// The worked example: 100 printed bands of 2000-byte rows and one blank run of 500 rows.
TEST(PrintTimePrice, WorkedExample) {
    const float blank_ms = add_blank_run(0, 500);
    EXPECT_FLOAT_EQ(blank_ms, 2630.0f);
    const std::int64_t seconds = price_print_time(2000, false, 0, 0, 100, blank_ms);
    EXPECT_EQ(seconds, 267);
    EXPECT_EQ(format_print_time(seconds), "00:04:27");
    // Bidirectional with X 540: about 1858.44 ms a pass.
    EXPECT_EQ(price_print_time(2000, true, 540, 0, 1000, 0), 1858);
    // Each extra layer is one more pass a band; every run costs its 890 ms.
    EXPECT_EQ(price_print_time(2000, false, 0, 6, 100, 0), 1846);
    EXPECT_FLOAT_EQ(add_blank_run(add_blank_run(0, 0), 0), 1780.0f);
}

TEST(PrintTimeText, HoursMinutesSeconds) {
    const std::pair<std::int64_t, const char*> cases[] = {{3725, "01:02:05"},
                                                          {0, "00:00:00"},
                                                          {360000, "100:00:00"},
                                                          {59, "00:00:59"},
                                                          {36000, "10:00:00"}};
    for (const auto& [seconds, text] : cases) {
        EXPECT_EQ(format_print_time(seconds), text);
    }
}

// Every cell of the estimator's table as B/T/X, "-" where it has none, X 0 standing for none.
TEST(PrintTimeTable, EveryCell) {
    struct Row {
        bool rotary;
        bool single;
        std::uint32_t passes;
        const char* cells[4];
    };
    const Row rows[] = {
        {false, true, 4, {"143/179/540", "119/179/435", "101/177/360", "180/180/695"}},
        {false, true, 8, {"159/179/265", "129/178/200", "87/174/110", "175/175/230"}},
        {false, true, 10, {"149/179/-", "127/178/-", "105/179/-", "-"}},
        {false, true, 16, {"159/179/92", "143/179/75", "129/178/60", "175/175/113"}},
        {false, false, 4, {"71/178/230", "59/178/180", "45/180/150", "-"}},
        {false, false, 8, {"79/178/90", "71/178/75", "59/177/47", "-"}},
        {false, false, 10, {"81/178/-", "75/180/-", "69/179/-", "-"}},
        {false, false, 16, {"79/178/10", "71/178/0", "61/180/0", "-"}},
        {true, true, 4, {"71/89/230", "59/89/180", "51/90/160", "89/89/280"}},
        {true, true, 8, {"71/88/75", "65/89/65", "55/90/40", "89/89/110"}},
        {true, true, 10, {"-", "-", "-", "-"}},
        {true, true, 16, {"79/89/10", "71/89/0", "63/87/0", "87/87/0"}},
        {true, false, 4, {"39/88/230", "31/86/180", "29/87/150", "-"}},
        {true, false, 8, {"29/89/70", "29/89/70", "29/89/70", "-"}},
        {true, false, 10, {"-", "-", "-", "-"}},
        {true, false, 16, {"39/88/10", "31/90/0", "25/89/0", "-"}},
    };
    for (const Row& row : rows) {
        for (std::uint8_t edge = 0; edge < 4; ++edge) {
            const std::optional<PrintTimeCell> cell =
                print_time_cell(row.rotary, row.single, row.passes, edge);
            std::string text = "-";
            if (cell) {
                text = std::to_string(cell->band_rows) + "/" + std::to_string(cell->head_rows) +
                       "/" + (cell->bidir_extra_ms ? std::to_string(*cell->bidir_extra_ms) : "-");
            }
            EXPECT_EQ(text, row.cells[edge]) << row.rotary << row.single << row.passes << edge;
        }
    }
    // 13 "8White" is priced as a single-layer job, as 1 to 4 and 15; 5 to 12 and 14 are not.
    for (const int mode : {1, 2, 3, 4, 13, 15}) {
        EXPECT_TRUE(is_time_single_layer(static_cast<std::uint8_t>(mode))) << mode;
    }
    for (const int mode : {5, 6, 11, 12, 14, 0}) {
        EXPECT_FALSE(is_time_single_layer(static_cast<std::uint8_t>(mode))) << mode;
    }
}

class PrintTimeEstimateTest : public ::testing::Test {
  protected:
    // "all_setting.ini" as installed, with "feather set" (position 3) given.
    std::filesystem::path settings(int feather) {
        std::string text = "[overall situation]\r\n";
        for (int position = 1; position <= AllSettings::kEntryCount; ++position) {
            text += std::string(AllSettings::entry(position).key) + "=" +
                    (position == AllSettings::feather_set ? std::to_string(feather) : "0") + "\r\n";
        }
        const std::filesystem::path file = dir_ / ("all_setting_" + std::to_string(feather));
        test_support::write_file(file, text);
        return file;
    }
    // Sharp edges, flatbed, 720 dpi, ink mode 1: B 143, T 179, passes 4, P x T 716.
    PrintTimeOptions sharp(TimeEstimator estimator) {
        PrintTimeOptions options;
        options.estimator = estimator;
        options.settings_file = settings(0);
        return options;
    }
    std::string write(const PrnBuilder& prn, const std::string& name = "job.prn") {
        prn.write(dir_ / name);
        return (dir_ / name).string();
    }
    // A file of rows of 4 bytes in which each of `spans` alternates ink and blank lines,
    // starting with ink when ink_first.
    static PrnBuilder job(std::initializer_list<std::uint32_t> spans, bool ink_first) {
        std::uint32_t lines = 0;
        for (const std::uint32_t s : spans) {
            lines += s;
        }
        PrnBuilder prn(4, lines);
        std::uint32_t at = 0;
        bool ink = ink_first;
        for (const std::uint32_t s : spans) {
            if (ink) {
                prn.solid(PRN_PLANE_BLACK, at, s, 0, 16);
            }
            at += s;
            ink = !ink;
        }
        return prn;
    }
    TempDir dir_;
};

// Bands and blank runs, for the dialog and the printing list; the list adds two tail bands
// more than the dialog ((720 + 143) / 143 against (720 - 143) / 143).
TEST_F(PrintTimeEstimateTest, CountsBandsRunsAndTailBands) {
    struct Case {
        const char* name;
        PrnBuilder prn;
        int dialog_bands;
        int list_bands;
        float blank_ms;
    };
    const Case cases[] = {
        {"ten inked bands", job({1430}, true), 14, 16, 0},
        {"a short last band", job({150}, true), 6, 8, 0},
        // Two blank bands, then ink: one leading run of 286 rows.
        {"leading blank", job({286, 572}, false), 8, 10, 286 * 3.48f + 890},
        // 572 blank rows within 716 of the last printed band are printed bands.
        {"gap within P x T", job({143, 572, 143}, true), 10, 12, 0},
        // 1001 blank rows: five printed, then a run of 1001 - 716 = 285 rows.
        {"gap beyond P x T", job({143, 1001, 143}, true), 11, 13, 285 * 3.48f + 890},
        // Ends in 858 blank rows, more than 716: no tail bands.
        {"trailing blank", job({143, 858}, true), 6, 6, 0},
        // 715 trailing blank rows: printed, and the dialog's tail difference is negative.
        {"negative tail", job({143, 715}, true), 6, 7, 0},
        {"all blank", job({1000}, false), 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = write(c.prn);
        PrintTimeEstimator dialog_estimator;
        const PrintTimeResult dialog =
            dialog_estimator.estimate(path, sharp(TimeEstimator::Dialog));
        ASSERT_TRUE(dialog.ok) << dialog.message;
        EXPECT_EQ(dialog.bands, c.dialog_bands);
        EXPECT_FLOAT_EQ(dialog.blank_ms, c.blank_ms);
        PrintTimeEstimator list_estimator;
        const PrintTimeResult list = list_estimator.estimate(path, sharp(TimeEstimator::List));
        ASSERT_TRUE(list.ok) << list.message;
        EXPECT_EQ(list.bands, c.list_bands);
        EXPECT_EQ(list.seconds, price_print_time(4, false, 0, 0, c.list_bands, c.blank_ms));
    }
}

// Lines past the end of the file count as blank, taken in one step: the result is the one of
// the whole file with those lines blank, and a header that claims four billion lines ends.
TEST_F(PrintTimeEstimateTest, LinesPastTheEndAreBlank) {
    struct Case {
        std::initializer_list<std::uint32_t> spans;
        bool ink_first;
        std::uint32_t kept_lines;  // of the whole file, the rest cut off
    };
    const Case cases[] = {{{143, 2000}, true, 143},   {{143, 500}, true, 200},
                          {{300, 2000}, true, 250},   {{1000, 100}, false, 10},
                          {{143, 600, 1}, true, 143}, {{143, 200, 143, 2000}, true, 400}};
    for (const Case& c : cases) {
        const PrnBuilder whole = job(c.spans, c.ink_first);
        const std::uint32_t lines = whole.header().line_count;
        SCOPED_TRACE(std::to_string(lines) + " lines, kept " + std::to_string(c.kept_lines));
        // The whole file with every line after the kept ones blank.
        PrnBuilder blanked = whole;
        blanked.blank(c.kept_lines, lines - c.kept_lines);
        const std::string full = write(blanked, "full.prn");
        whole.write_truncated(dir_ / "cut.prn", kPrnHeaderSize + std::size_t{c.kept_lines} * 24);
        for (const TimeEstimator e : {TimeEstimator::Dialog, TimeEstimator::List}) {
            PrintTimeEstimator a;
            PrintTimeEstimator b;
            const PrintTimeResult expected = a.estimate(full, sharp(e));
            const PrintTimeResult cut = b.estimate((dir_ / "cut.prn").string(), sharp(e));
            ASSERT_TRUE(cut.ok);
            EXPECT_EQ(cut.bands, expected.bands);
            EXPECT_EQ(cut.blank_ms, expected.blank_ms);
            EXPECT_EQ(cut.seconds, expected.seconds);
        }
    }
    PrnBuilder huge = job({143}, true);
    std::string bytes = huge.bytes();
    prn_put_u32(reinterpret_cast<std::uint8_t*>(bytes.data()), kPrnOffsetLineCount, 0xFFFFFFFFu);
    test_support::write_file(dir_ / "huge.prn", bytes);
    PrintTimeEstimator estimator;
    const PrintTimeResult result =
        estimator.estimate((dir_ / "huge.prn").string(), sharp(TimeEstimator::List));
    ASSERT_TRUE(result.ok);
    EXPECT_EQ(result.bands, 6);  // the inked band and five within P x T
}

// The row's options: copies (the dialog's only), 3D levels, direction, and the resolution.
TEST_F(PrintTimeEstimateTest, OptionsOfTheRow) {
    const std::string path = write(job({1430}, true));
    const auto seconds = [&](PrintTimeOptions options) {
        PrintTimeEstimator estimator;
        const PrintTimeResult result = estimator.estimate(path, options);
        EXPECT_TRUE(result.ok) << result.message;
        return result.seconds;
    };
    PrintTimeOptions dialog = sharp(TimeEstimator::Dialog);
    const std::int64_t one = seconds(dialog);
    EXPECT_EQ(one, price_print_time(4, false, 0, 0, 14, 0));
    dialog.copies = 3;
    EXPECT_EQ(seconds(dialog), 3 * one);
    PrintTimeOptions list = sharp(TimeEstimator::List);
    list.copies = 3;
    EXPECT_EQ(seconds(list), price_print_time(4, false, 0, 0, 16, 0));

    // A copies text with any other character than a digit counts as one copy.
    EXPECT_EQ(time_options_from_row(TimeEstimator::Dialog, "N/A", "", "2a").copies, 1);
    EXPECT_EQ(time_options_from_row(TimeEstimator::Dialog, "N/A", "", "12").copies, 12);
    EXPECT_TRUE(time_options_from_row(TimeEstimator::Dialog, "", "BiDirection", "1").bidirectional);
    EXPECT_FALSE(time_options_from_row(TimeEstimator::Dialog, "", "Bi", "1").bidirectional);
    EXPECT_TRUE(time_options_from_row(TimeEstimator::List, "", "Bi", "1").bidirectional);

    // Bidirectional: half a pass plus X 540.
    dialog.copies = 1;
    dialog.bidirectional = true;
    EXPECT_EQ(seconds(dialog), price_print_time(4, true, 540, 0, 14, 0));
    // "Middle": four extra layers.
    dialog.bidirectional = false;
    dialog.level_3d = "Middle";
    EXPECT_EQ(seconds(dialog), price_print_time(4, false, 0, 4, 14, 0));
    // "Braille": six extra layers, bidirectional, edge kind 3 (B 180, X 695) whatever the
    // settings say: 1430 lines are 8 bands, plus (720 - 180) / 180 = 3 tail bands.
    dialog.level_3d = "Braille";
    EXPECT_EQ(seconds(dialog), price_print_time(4, true, 695, 6, 11, 0));
    // No settings file: Gaussian edges (B 101): 15 bands plus 6 tail bands.
    dialog = PrintTimeOptions{};
    EXPECT_EQ(seconds(dialog), price_print_time(4, false, 0, 0, 21, 0));
    // A resolution pair the printer has no mode for: 8 passes (Gaussian B 87), so 17 bands,
    // and the resolution along the feed taken as rows for the tail bands.
    struct Resolution {
        std::uint32_t x_dpi;
        std::uint32_t y_dpi;
        int bands;
    };
    const Resolution resolutions[] = {
        {360, 720, 17 + (720 - 87) / 87},
        {720, 1200, 17 + (1200 - 87) / 87},
        {720, 0, 17},  // a tail below 0 adds no bands
    };
    for (const Resolution& r : resolutions) {
        PrnBuilder odd = job({1430}, true);
        odd.resolution(r.x_dpi, r.y_dpi);
        PrintTimeEstimator estimator;
        const PrintTimeResult result =
            estimator.estimate(write(odd, "odd.prn"), PrintTimeOptions{});
        EXPECT_TRUE(result.ok) << r.x_dpi << "x" << r.y_dpi << ": " << result.message;
        EXPECT_EQ(result.bands, r.bands) << r.x_dpi << "x" << r.y_dpi;
    }
}

// The dialog's bar gets its range before the first band is read: the first report is 0 rows.
TEST_F(PrintTimeEstimateTest, ReportsTheLineCountBeforeTheFirstBand) {
    std::vector<std::pair<std::uint32_t, std::uint32_t>> reports;
    PrintTimeEstimator estimator;
    ASSERT_TRUE(estimator
                    .estimate(write(job({300}, true)), PrintTimeOptions{},
                              [&](std::uint32_t done, std::uint32_t lines) {
                                  reports.emplace_back(done, lines);
                              })
                    .ok);
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.front(), std::make_pair(0u, 300u));
    EXPECT_EQ(reports.back(), std::make_pair(300u, 300u));
}

// A job without a table cell is refused on an estimator's first estimate, never looped over;
// later it keeps the estimator's previous values. Rows longer than the estimate reads and
// missing files are refused.
TEST_F(PrintTimeEstimateTest, RefusesInsteadOfLooping) {
    PrnBuilder ten = job({300}, true);
    ten.resolution(720, 1800);
    const std::string ten_path = write(ten, "ten.prn");
    PrintTimeOptions rotary;
    rotary.rotary = true;
    PrintTimeEstimator estimator;
    const PrintTimeResult refused = estimator.estimate(ten_path, rotary);
    EXPECT_FALSE(refused.ok);
    EXPECT_EQ(refused.message,
              "The print time of this job cannot be estimated: the printer has no stepping for "
              "its print mode (rotary printing at 10 passes, or Braille with white or varnish "
              "layers).");
    // After a rotary 8-pass estimate (B 55) the 10-pass job takes its values: 6 bands and
    // (1800 - 55) / 55 = 31 tail bands.
    PrnBuilder eight = job({300}, true);
    eight.resolution(720, 1440);
    ASSERT_TRUE(estimator.estimate(write(eight, "eight.prn"), rotary).ok);
    const PrintTimeResult later = estimator.estimate(ten_path, rotary);
    ASSERT_TRUE(later.ok);
    EXPECT_EQ(later.bands, 37);

    PrnBuilder two_layer = job({300}, true);
    two_layer.ink_mode(5);
    PrintTimeOptions braille;
    braille.level_3d = "Braille";
    PrintTimeEstimator fresh;
    EXPECT_FALSE(fresh.estimate(write(two_layer, "two.prn"), braille).ok);

    const PrintTimeResult wider =
        fresh.estimate(write(PrnBuilder(4253, 2), "bad.prn"), PrintTimeOptions{});
    EXPECT_FALSE(wider.ok);
    EXPECT_EQ(wider.message,
              "The print file's plane rows are 4253 bytes long, more than the 4252 bytes the time "
              "estimate reads.");
    EXPECT_TRUE(fresh.estimate(write(PrnBuilder(4252, 2), "wide.prn"), PrintTimeOptions{}).ok);
    // Nothing there, or a pipe or a device there: neither waited on nor read.
    test_support::UnreadableNames unreadable =
        test_support::make_unreadable_names(dir_.path(), ".prn");
    unreadable.names.push_back(dir_ / "missing.prn");
    for (const auto& name : unreadable.names) {
        PrintTimeResult result;
        EXPECT_TRUE(test_support::ends_without_waiting_on(unreadable.fifos, [&] {
            result = fresh.estimate(name.string(), PrintTimeOptions{});
        })) << name;
        EXPECT_EQ(result.message, "Print file can't read. Please try again later!") << name;
    }
}

}  // namespace
