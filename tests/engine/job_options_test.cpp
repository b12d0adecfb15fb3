#include "engine/job_options.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "config/all_settings.h"
#include "config/program_globals.h"
#include "engine/stepping.h"
#include "engine/transfer_packing.h"
#include "engine/y_feed.h"
#include "printer/commands.h"
#include "temp_dir.h"

namespace {

using namespace engine;

TEST(JobOptions, RowTexts) {
    EXPECT_EQ(emboss_passes_for("Small"), 2);
    EXPECT_EQ(emboss_passes_for("Middle"), 4);
    EXPECT_EQ(emboss_passes_for("Big"), 6);
    EXPECT_EQ(emboss_passes_for("Braille"), 6);
    EXPECT_EQ(emboss_passes_for("N/A"), 0);
    EXPECT_EQ(after_print_command_for("YMoveB"), CMD_END_Y_MOVE_BACK);
    EXPECT_EQ(after_print_command_for("AutoYZ"), CMD_END_AUTO_YZ);
    EXPECT_EQ(after_print_command_for("N/A"), 0);
    EXPECT_EQ(copies_for("3"), 3);
    EXPECT_EQ(copies_for("2x"), 1);
    EXPECT_EQ(copies_for(""), 0);
    EXPECT_EQ(copies_for("99999999999999999999"), 9999);
    // Band progress never divides by zero: 0 and texts that are not numbers count lines.
    EXPECT_EQ(band_progress_divisor("N/A"), 0);
    EXPECT_EQ(band_progress_divisor("0"), 0);
    EXPECT_EQ(band_progress_divisor("abc"), 0);
    EXPECT_EQ(band_progress_divisor(""), 0);
    EXPECT_EQ(band_progress_divisor("42"), 42);
}

TEST(JobOptions, UvSettingFollowsTheEntryAndTheDirection) {
    EXPECT_EQ(uv_setting_for(2, 0), 2);  // Auto, Uni
    EXPECT_EQ(uv_setting_for(2, 1), 0);  // Auto, Bi
    EXPECT_EQ(uv_setting_for(0, 0), 2);
    EXPECT_EQ(uv_setting_for(0, 1), 2);
    EXPECT_EQ(uv_setting_for(1, 0), 0);
    EXPECT_EQ(uv_setting_for(1, 1), 0);
}

TEST(JobOptions, HeadOffsetTable) {
    const std::int32_t expected[] = {-18, -36, 0, 9, 18, 27, 36, 0};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(head_offset_for(i), expected[i]) << i;
    }
}

TEST(JobOptions, SettingsFileEntries) {
    test_support::TempDir dir;
    g_settings_root = dir.path().string();
    test_support::write_file(AllSettings::path(),
                             "[overall situation]\r\nfile print finish set=0\r\n"
                             "print cancel file set=7\r\nfeather set=5\r\nUV set=9\r\n"
                             "Print_job_set=1\r\nChannle 1=9\r\nChannle 2=-1\r\nChannle 3=8\r\n"
                             "Channle 4=0\r\nChannle 5=4\r\nChannle 6=5\r\nChannle 7=6\r\n"
                             "Channle 8=7\r\nPrint_direction_set=0\r\nprint_media=1\r\n"
                             "rotary_range=0\r\nrotary_dimeter=60\r\nstep_adjust=1\r\n");
    const JobSettings s = read_job_settings(false);
    EXPECT_FALSE(s.keep_printed);
    EXPECT_TRUE(s.keep_cancelled);
    EXPECT_EQ(s.uv_entry, 2);
    EXPECT_EQ(g_edge_kind, EDGE_GAUSSIAN);
    const int order[8] = {0, 1, 8, 0, 4, 5, 6, 7};  // 9 and -1 the slot's default, 8 blank
    for (int k = 0; k < 8; ++k) {
        EXPECT_EQ(g_ink_order[k], order[k]) << k;
    }
    EXPECT_EQ(g_rotary_mode, 1);
    EXPECT_EQ(g_head_offset, -36);
    g_rotary_mode = 0;
    for (int k = 0; k < 8; ++k) {
        g_ink_order[k] = k;
    }
}

TEST(JobOptions, MissingSettingsFileBrailleTakesUvZeroAndEdgeKindThree) {
    test_support::TempDir dir;
    g_settings_root = (dir.path() / "none").string();
    g_uv_setting = 7;
    const JobSettings s = read_job_settings(true);
    EXPECT_TRUE(s.keep_printed);
    EXPECT_TRUE(s.keep_cancelled);
    EXPECT_EQ(s.uv_entry, 2);
    EXPECT_EQ(g_uv_setting, 0);
    EXPECT_EQ(g_edge_kind, EDGE_BRAILLE);
    EXPECT_EQ(g_head_offset, 0);
}

}  // namespace
