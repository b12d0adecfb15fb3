#include "config/all_settings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/program_globals.h"
#include "temp_dir.h"

namespace {

using test_support::read_file;
using test_support::TempDir;
using test_support::write_file;

// An installed file: all eighteen entries in their order.
const char* const kInstalled =
    "[overall situation]\r\n"
    "file print finish set=0\r\n"
    "print cancel file set=1\r\n"
    "feather set=1\r\n"
    "UV set=0\r\n"
    "Print_job_set=0\r\n"
    "Channle 1=3\r\n"
    "Channle 2=2\r\n"
    "Channle 3=1\r\n"
    "Channle 4=0\r\n"
    "Channle 5=4\r\n"
    "Channle 6=5\r\n"
    "Channle 7=8\r\n"
    "Channle 8=8\r\n"
    "Print_direction_set=1\r\n"
    "print_media=1\r\n"
    "rotary_range=2\r\n"
    "rotary_dimeter=85.5\r\n"
    "step_adjust=5\r\n";

// The sixteen keys the Setting dialog writes, in its order, with the values it saves.
void save_like_the_setting_dialog(const std::filesystem::path& file, const std::string& value) {
    for (int position : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 18}) {
        ASSERT_TRUE(AllSettings::write(AllSettings::entry(position).key, value, file));
    }
}

TEST(AllSettings, TableHoldsTheKeysAsStored) {
    const auto& entries = AllSettings::entries();
    for (int k = 1; k <= AllSettings::kEntryCount; ++k) {
        EXPECT_EQ(entries[static_cast<std::size_t>(k - 1)].position, k);
    }
    EXPECT_EQ(AllSettings::entry(6).key, "Channle 1");
    EXPECT_EQ(AllSettings::entry(13).key, "Channle 8");
    EXPECT_EQ(AllSettings::entry(17).key, "rotary_dimeter");
    EXPECT_TRUE(AllSettings::entry(17).items.empty());
    EXPECT_EQ(AllSettings::entry(6).items[5], "White 2 ");
    EXPECT_EQ(AllSettings::entry(6).items.size(), 9u);
    EXPECT_EQ(AllSettings::entry(18).items[0], "-1");
    EXPECT_EQ(AllSettings::entry(18).default_value, 2);
    for (int slot = 1; slot <= 8; ++slot) {
        EXPECT_EQ(AllSettings::entry(5 + slot).default_value, slot - 1);
    }
}

TEST(AllSettings, InstalledFileReadsByPosition) {
    TempDir dir;
    g_settings_root = dir.path().string();
    write_file(AllSettings::path(), kInstalled);
    EXPECT_EQ(AllSettings::path(), dir / "all_setting.ini");

    const auto settings = AllSettings::read();
    ASSERT_TRUE(settings.has_value());
    EXPECT_EQ(settings->first<15>(),
              (std::array<int, 15>{0, 1, 1, 0, 0, 3, 2, 1, 0, 4, 5, 8, 8, 1, 1}));
    EXPECT_EQ(settings->value(AllSettings::rotary_range), 2);
    EXPECT_EQ(settings->text(AllSettings::rotary_dimeter), "85.5");
    EXPECT_EQ(settings->value(AllSettings::step_adjust), 5);
    EXPECT_EQ(settings->value(19), 0);
}

TEST(AllSettings, MissingFileIsReportedAndMissingSectionReadsZero) {
    TempDir dir;
    EXPECT_FALSE(AllSettings::read(dir / "all_setting.ini").has_value());

    write_file(dir / "all_setting.ini", "[other]\r\nfile print finish set=1\r\n");
    const auto settings = AllSettings::read(dir / "all_setting.ini");
    ASSERT_TRUE(settings.has_value());
    for (int k = 1; k <= AllSettings::kEntryCount; ++k) {
        EXPECT_EQ(settings->value(k), 0) << k;
        EXPECT_EQ(settings->text(k), "") << k;
    }
}

TEST(AllSettings, ASaveIntoAMissingFileMakesSixteenEntries) {
    TempDir dir;
    const auto file = dir / "all_setting.ini";
    save_like_the_setting_dialog(file, "3");
    const auto settings = AllSettings::read(file);
    ASSERT_TRUE(settings.has_value());
    // "step_adjust" lands at position 16, where readers take it as the rotary range, and
    // position 18 reads 0 ("-1").
    EXPECT_EQ(settings->value(15), 3);
    EXPECT_EQ(settings->value(AllSettings::rotary_range), 3);
    EXPECT_EQ(settings->text(AllSettings::rotary_dimeter), "");
    EXPECT_EQ(settings->value(AllSettings::step_adjust), 0);
    std::string expected = "[overall situation]\r\n";
    for (int position : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 18}) {
        expected += std::string(AllSettings::entry(position).key) + "=3\r\n";
    }
    EXPECT_EQ(read_file(file), expected);
}

TEST(AllSettings, SavesKeepTheInstalledOrderAndEntries16And17) {
    TempDir dir;
    const auto file = dir / "all_setting.ini";
    write_file(file, kInstalled);
    save_like_the_setting_dialog(file, "-1");
    const auto settings = AllSettings::read(file);
    ASSERT_TRUE(settings.has_value());
    for (int k : {1, 5, 13, 15, 18}) {
        EXPECT_EQ(settings->value(k), -1) << k;
    }
    EXPECT_EQ(settings->value(AllSettings::rotary_range), 2);
    EXPECT_EQ(settings->text(AllSettings::rotary_dimeter), "85.5");
    const std::string text = read_file(file);
    EXPECT_LT(text.find("print_media=-1\r\nrotary_range=2\r\nrotary_dimeter=85.5\r\n"),
              text.find("step_adjust=-1"));
}

TEST(AllSettings, EntriesCountByPositionNotByName) {
    TempDir dir;
    const auto file = dir / "all_setting.ini";
    // A reader that needs only entry 5 walks past four entries whatever their names; a line
    // without '=' makes the walk take the following line as its value, so entry 5 moves on.
    write_file(file,
               "[Overall Situation]\n"
               "a=1\nb=1\nc=1\nd=1\nPrint_job_set=0\n");
    EXPECT_EQ(AllSettings::read(file)->value(AllSettings::print_job_set), 0);
    write_file(file,
               "[overall situation]\n"
               "Print_job_set=7\nb=1\nc=1\nd=1\ne=4\n");
    EXPECT_EQ(AllSettings::read(file)->value(AllSettings::print_job_set), 4);
    write_file(file,
               "[overall situation]\n"
               "a=1\nno equals\nc=2\nd=3\ne=4\nf=5\n");
    const auto settings = AllSettings::read(file);
    EXPECT_EQ(settings->text(2), "c=2");
    EXPECT_EQ(settings->value(3), 3);
    EXPECT_EQ(settings->value(AllSettings::print_job_set), 5);
}

}  // namespace
