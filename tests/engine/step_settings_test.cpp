#include "engine/step_settings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/program_globals.h"
#include "fifo.h"
#include "message_box_recorder.h"
#include "platform/files.h"
#include "temp_dir.h"

namespace {

using test_support::MessageBoxRecorder;
using test_support::TempDir;
using test_support::write_file;

class StepSettingsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        g_settings_root = dir.path().string();
        g_y_motor_steps.fill(-12345);  // every load must overwrite all of it
    }
    std::filesystem::path step_file() const { return dir / "Norvaxel.ini"; }

    TempDir dir;
    MessageBoxRecorder boxes;
};

// A step file with the given value texts under the table's key names (more values than keys get
// made-up names).
std::string step_file_with(const std::vector<std::string>& values) {
    std::string text = "[Y motor step setting]\r\n";
    for (std::size_t i = 0; i < values.size(); ++i) {
        const std::string key = i < StepSettings::kEntryCount
                                    ? std::string(StepSettings::kEntries[i].key)
                                    : "extra " + std::to_string(i + 1);
        text += key + "=" + values[i] + "\r\n";
    }
    return text;
}

// The same text with every CR LF turned into CR alone.
std::string cr_line_ends(std::string text) {
    for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at)) {
        text.erase(at + 1, 1);
    }
    return text;
}

std::vector<std::string> numbered_values(std::size_t count) {
    std::vector<std::string> values;
    for (std::size_t i = 0; i < count; ++i) {
        values.push_back(std::to_string(1000 + i));
    }
    return values;
}

TEST_F(StepSettingsTest, MissingFileGivesTheDefaults) {
    load_step_settings();
    const std::array<std::int32_t, 24> expected = {
        20556, 10188, 17100, 8460, 14508, 6444, 11412, 5652, 9252, 5076, 6228, 4212,
        9390,  4666,  8583,  4378, 7891,  3974, 5688,  2808, 5112, 2520, 4608, 2160};
    EXPECT_EQ(g_y_motor_steps, expected);
    EXPECT_EQ(boxes.count(), 0u);
}

TEST_F(StepSettingsTest, ValuesAreTakenByPosition) {
    struct Case {
        const char* name;
        std::string file;
        std::vector<std::pair<std::size_t, std::int32_t>> expected;  // index, value
    };
    auto swapped = numbered_values(24);
    std::swap(swapped[2], swapped[3]);
    auto odd = numbered_values(24);
    odd[0] = "1234 steps for 4 passes";
    odd[1] = "x99";
    odd[2] = "-250";
    odd[3] = "";
    std::string without_equals = step_file_with(numbered_values(24));
    without_equals.replace(without_equals.find("4PASS KCMY/WW/VV Smooth stepping=1002"), 37,
                           "4PASS KCMY/WW/VV Smooth stepping");
    const std::vector<Case> cases = {
        {"ten entries",
         step_file_with(numbered_values(10)),
         {{0, 1000}, {9, 1009}, {10, 0}, {23, 0}}},
        {"remark, letter, minus, empty",
         step_file_with(odd),
         {{0, 1234}, {1, 0}, {2, -250}, {3, 0}, {4, 1004}}},
        {"swapped lines", step_file_with(swapped), {{2, 1003}, {3, 1002}}},
        {"a 25th entry", step_file_with(numbered_values(25)), {{23, 1023}}},
        // An entry without '=' reads 0 and does not swallow the entry after it.
        {"no equals", without_equals, {{1, 1001}, {2, 0}, {3, 1003}, {23, 1023}}},
        {"no section", "[other]\r\nx=5\r\n", {{0, 0}, {23, 0}}},
        // Saved by another editor: the same values.
        {"byte-order mark",
         "\xEF\xBB\xBF" + step_file_with(numbered_values(24)),
         {{0, 1000}, {23, 1023}}},
        {"CR line ends",
         cr_line_ends(step_file_with(numbered_values(24))),
         {{0, 1000}, {23, 1023}}},
    };
    for (const Case& c : cases) {
        write_file(step_file(), c.file);
        g_y_motor_steps.fill(-12345);
        engine::load_y_motor_steps();
        for (const auto& [index, value] : c.expected) {
            EXPECT_EQ(g_y_motor_steps[index], value) << c.name << ", index " << index;
        }
        for (std::int32_t value : g_y_motor_steps) {
            EXPECT_NE(value, -12345) << c.name;
        }
    }
}

TEST_F(StepSettingsTest, AnEditBetweenTwoJobsIsSeen) {
    write_file(step_file(), step_file_with(numbered_values(24)));
    load_step_settings();
    EXPECT_EQ(g_y_motor_steps[5], 1005);
    write_file(step_file(), step_file_with({"1", "2", "3", "4", "5", "6"}));
    load_step_settings();
    EXPECT_EQ(g_y_motor_steps[5], 6);
    EXPECT_EQ(g_y_motor_steps[6], 0);
}

TEST_F(StepSettingsTest, HotFoldersAreMadeAndOnlyAMissingOneIsReported) {
    load_step_settings();
    for (const char* layout :
         {"kcmy", "wwww", "ww", "kcmywwww", "wwwwkcmy", "kcmyww", "wwkcmy", "vv", "wwwwwwww"}) {
        EXPECT_TRUE(platform::is_directory(dir / "VirtualHotFolder" / layout)) << layout;
    }
    EXPECT_EQ(boxes.count(), 0u);

    // A plain file in place of a folder passes the existence test.
    platform::remove_empty_folder(dir / "VirtualHotFolder" / "vv");
    write_file(dir / "VirtualHotFolder" / "vv", "");
    load_step_settings();
    EXPECT_EQ(boxes.count(), 0u);
}

TEST_F(StepSettingsTest, AHotFolderThatCannotBeMadeIsReportedOnceAndTheLoadGoesOn) {
    write_file(dir / "VirtualHotFolder", "a file in the way");
    write_file(step_file(), step_file_with(numbered_values(24)));
    load_step_settings();
    ASSERT_EQ(boxes.count(), 1u);
    EXPECT_EQ(boxes.texts()[0], "Virtual hot folder create error.");
    EXPECT_EQ(g_y_motor_steps[23], 1023);
    EXPECT_TRUE(platform::exists(dir / "VirtualPrintingSettings" / "kcmy.ini"));
}

TEST_F(StepSettingsTest, PipesInPlaceOfTheSettingsFilesHoldNothingUp) {
    // The loader runs on the print thread at every job: a pipe must not hold it up. The step
    // file reads as one that cannot be read (0 everywhere), the layout file is named as one
    // that cannot be read and left alone.
    std::filesystem::create_directory(dir / "VirtualPrintingSettings");
    const std::vector<std::filesystem::path> pipes = {step_file(),
                                                      dir / "VirtualPrintingSettings" / "kcmy.ini"};
    for (const auto& pipe : pipes) {
        test_support::make_fifo(pipe);
    }
    EXPECT_TRUE(test_support::ends_without_waiting_on(pipes, [] { load_step_settings(); }));
    for (std::int32_t value : g_y_motor_steps) {
        EXPECT_EQ(value, 0);
    }
    ASSERT_EQ(boxes.count(), 1u);
    EXPECT_EQ(boxes.texts()[0], "<KCMY Virtual printing config file can't be read>\r\n");
}

}  // namespace
