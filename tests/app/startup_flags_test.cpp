#include "app/startup_flags.h"

#include <gtest/gtest.h>

#include <string>

#include "app/startup_checks.h"
#include "config/program_globals.h"
#include "platform/files.h"
#include "workstation_fixture.h"

namespace {

namespace fs = std::filesystem;
using test_support::Workstation;

struct FlagCase {
    const char* print_job_set;
    const char* print_media;
    int job_set;
    int rotary;
    bool rotary_button;
};

void PrintTo(const FlagCase& c, std::ostream* out) {
    *out << "job_set '" << c.print_job_set << "', media '" << c.print_media << "'";
}

class StartupFlagsTest : public ::testing::TestWithParam<FlagCase> {
  protected:
    void SetUp() override { app::set_settings_root(); }
    Workstation station;
};

TEST_P(StartupFlagsTest, EntriesFiveAndFifteenSetTheFlags) {
    const FlagCase& c = GetParam();
    station.write_settings(c.print_job_set, c.print_media);
    g_print_job_set = 7;
    g_rotary_mode = 7;
    const auto flags = app::read_startup_flags();
    EXPECT_EQ(g_print_job_set, c.job_set);
    EXPECT_EQ(g_rotary_mode, c.rotary);
    EXPECT_EQ(flags.rotary_button_enabled, c.rotary_button);
}

INSTANTIATE_TEST_SUITE_P(
    Values, StartupFlagsTest,
    ::testing::Values(FlagCase{"0", "1", 0, 1, true}, FlagCase{"1", "0", 1, 0, false},
                      // Any number but 0 keeps jobs in the queue.
                      FlagCase{"2", "1", 1, 1, true}, FlagCase{"-1", "1", 1, 1, true},
                      // Only 1 is rotary printing.
                      FlagCase{"0", "2", 0, 0, false}, FlagCase{"0", "", 0, 0, false}));

// Saved by another editor, with a byte-order mark or CR line ends: the same choices. Read as
// zeros, "Print_job_set" would turn automatic printing on.
TEST(StartupFlags, AFileFromAnyEditorGivesTheSameChoices) {
    Workstation station;
    app::set_settings_root();
    station.write_settings("1", "1");
    const std::string installed = test_support::read_file(station.settings_file());
    std::string cr_only = installed;
    for (std::size_t at = cr_only.find("\r\n"); at != std::string::npos;
         at = cr_only.find("\r\n", at)) {
        cr_only.erase(at + 1, 1);
    }
    const std::string bom = "\xEF\xBB\xBF";
    for (const std::string& content : {bom + installed, cr_only, bom + cr_only}) {
        test_support::write_file(station.settings_file(), content);
        g_print_job_set = 7;
        g_rotary_mode = 7;
        EXPECT_TRUE(app::read_startup_flags().rotary_button_enabled);
        EXPECT_EQ(g_print_job_set, 1);
        EXPECT_EQ(g_rotary_mode, 1);
    }
}

TEST(StartupFlags, WithoutTheFileJobsWaitAndTheRotaryModeStays) {
    Workstation station;
    app::set_settings_root();
    fs::remove(station.settings_file());
    g_print_job_set = 0;
    g_rotary_mode = 1;
    EXPECT_FALSE(app::read_startup_flags().rotary_button_enabled);
    EXPECT_EQ(g_print_job_set, 1);
    EXPECT_EQ(g_rotary_mode, 1);
}

TEST(StartupFlags, AFolderInPlaceOfTheFileCountsAsMissing) {
    Workstation station;
    app::set_settings_root();
    fs::remove(station.settings_file());
    fs::create_directory(station.settings_file());
    g_print_job_set = 0;
    EXPECT_FALSE(app::read_startup_flags().rotary_button_enabled);
    EXPECT_EQ(g_print_job_set, 1);
}

TEST(StartupFlags, OutputFolderIsMadeOnTheSystemDrive) {
    Workstation station;
    app::create_mt_output_folder();
    EXPECT_TRUE(platform::is_directory(station.system_drive() / "MTOutput"));
    app::create_mt_output_folder();  // there already: nothing happens
    EXPECT_TRUE(platform::is_directory(station.system_drive() / "MTOutput"));
}

}  // namespace
