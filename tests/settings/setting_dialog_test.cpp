#include "settings/setting_dialog.h"

#include <gtest/gtest.h>

#include <QTimer>
#include <QWidget>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "config/all_settings.h"
#include "config/program_globals.h"
#include "engine/job_list_rows.h"
#include "engine/main_window_access.h"
#include "message_box_recorder.h"
#include "platform/ui/controls.h"
#include "temp_dir.h"
#include "test_main_window.h"
#include "undeletable_entries.h"

namespace {

namespace fs = std::filesystem;
namespace ui = platform::ui;
using test_support::read_file;
using test_support::write_file;
using Strings = std::vector<std::string>;

// An installed file, all eighteen entries in their order: a channel (#3) and the step
// adjustment hold values that are no item of their combos.
const std::string kInstalled =
    "[overall situation]\r\n"
    "file print finish set=0\r\n"
    "print cancel file set=1\r\n"
    "feather set=1\r\n"
    "UV set=0\r\n"
    "Print_job_set=1\r\n"
    "Channle 1=3\r\n"
    "Channle 2=2\r\n"
    "Channle 3=9\r\n"
    "Channle 4=0\r\n"
    "Channle 5=4\r\n"
    "Channle 6=5\r\n"
    "Channle 7=8\r\n"
    "Channle 8=8\r\n"
    "Print_direction_set=1\r\n"
    "print_media=0\r\n"
    "rotary_range=2\r\n"
    "rotary_dimeter=85.5\r\n"
    "step_adjust=-3\r\n";

// The values every combo shows, by position (16 and 17 have none).
std::vector<int> shown(const allsetting& dialog) {
    std::vector<int> values;
    for (int position = 1; position <= AllSettings::kEntryCount; ++position) {
        if (const ui::ComboBox* combo = dialog.combo_for(position)) {
            values.push_back(combo->current());
        }
    }
    return values;
}

class SettingDialog : public ::testing::Test {
  protected:
    SettingDialog() {
        g_settings_root = dir_.path().string();
        g_print_job_set = 1;
        g_rotary_mode = 0;
    }
    ~SettingDialog() override {
        g_settings_root.clear();
        g_print_job_set = 1;
        g_rotary_mode = 0;
    }

    fs::path file() const { return dir_.path() / "all_setting.ini"; }

    // Opens the dialog as the main window does and works it while its run is open; closes it
    // when the work has not.
    void with_dialog(const std::function<void(allsetting&)>& work) {
        bool worked = false;
        QTimer::singleShot(0, [&] {
            auto* dialog = dynamic_cast<allsetting*>(ui::Dialog::innermost_modal());
            ASSERT_NE(dialog, nullptr);
            worked = true;
            work(*dialog);
            if (dialog->is_visible()) {
                dialog->end_dialog(ui::kIdCancel);
            }
        });
        open_setting_dialog(nullptr);
        EXPECT_TRUE(worked);
    }
    static void click(allsetting& dialog, int id) { dialog.control<ui::Button>(id)->click(); }
    static void choose(allsetting& dialog, int position, int item) {
        dialog.combo_for(position)->set_current(item);
    }

    // A printing list of two jobs, the first in the given state, both estimated.
    void two_print_rows(std::string_view first_state) {
        window_.add_job("/jobs/a.prn");
        window_.add_job("/jobs/b.prn");
        window_.printing().set_item_text(0, PrintRow::state, first_state);
        for (int row = 0; row < 2; ++row) {
            window_.printing().set_item_text(row, PrintRow::expected_time, "0:12:30");
        }
    }
    Strings expected_times() { return window_.column(window_.printing(), PrintRow::expected_time); }

    test_support::TestMainWindow window_;
    test_support::MessageBoxRecorder boxes_;
    test_support::TempDir dir_;
};

// Drawn in the dialog font of the program's other dialogs.
TEST_F(SettingDialog, UsesTheDialogFont) {
    const allsetting dialog;
    EXPECT_EQ(dialog.window()->font().family().toStdString(), "MS Shell Dlg");
    EXPECT_EQ(dialog.window()->font().pointSizeF(), 8.0);
}

TEST_F(SettingDialog, OpensWithTheStoredChoicesAndAValueThatIsNoItemSavesAsMinusOne) {
    write_file(file(), kInstalled);
    with_dialog([&](allsetting& dialog) {
        EXPECT_EQ(dialog.caption(), "Setting");
        EXPECT_EQ(dialog.background(), ui::Rgb::from_bgr(0xF2F2F2));
        // Positions 1..15 and 18; "Channle 3" = 9 and "step_adjust" = -3 are no items.
        EXPECT_EQ(shown(dialog),
                  (std::vector<int>{0, 1, 1, 0, 1, 3, 2, -1, 0, 4, 5, 8, 8, 1, 0, -1}));
        const ui::ComboBox& slot = *dialog.control<ui::ComboBox>(IDC_SETTING_CHANNEL_1 + 7);
        EXPECT_EQ(slot.count(), 9);
        EXPECT_EQ(slot.item_text(5), "White 2 ");
        EXPECT_EQ(slot.item_text(8), "NULL");
        EXPECT_EQ(dialog.control<ui::ComboBox>(IDC_SETTING_STEP_ADJUST)->item_text(6), "+2");
        EXPECT_EQ(dialog.control<ui::ComboBox>(IDC_SETTING_PRINT_MODE)->item_text(1),
                  "360 rotary print");
        choose(dialog, AllSettings::feather_set, 2);
        click(dialog, IDC_SETTING_SAVE);
        EXPECT_FALSE(dialog.is_visible());
    });
    EXPECT_EQ(boxes_.texts(), Strings{"Save succeed!"});
    // Every key keeps its place; the rotary range and diameter are untouched.
    std::string expected = kInstalled;
    expected.replace(expected.find("feather set=1"), 13, "feather set=2");
    expected.replace(expected.find("Channle 3=9"), 11, "Channle 3=-1");
    expected.replace(expected.find("step_adjust=-3"), 14, "step_adjust=-1");
    EXPECT_EQ(read_file(file()), expected);
}

TEST_F(SettingDialog, AMissingFileShowsTheDefaultsAndASaveMakesItWholeInTheInstalledOrder) {
    with_dialog([&](allsetting& dialog) {
        EXPECT_EQ(shown(dialog),
                  (std::vector<int>{1, 1, 2, 2, 1, 0, 1, 2, 3, 4, 5, 6, 7, 2, 0, 2}));
        choose(dialog, AllSettings::print_job_set, 0);
        choose(dialog, AllSettings::step_adjust, 5);
        click(dialog, IDC_SETTING_6_CHANNEL_DEFAULT);
        click(dialog, IDC_SETTING_SAVE);
    });
    EXPECT_EQ(boxes_.texts(), Strings{"Save succeed!"});
    // Every positional reader finds each entry where it belongs, "step_adjust" at 18.
    const auto stored = AllSettings::read(file());
    ASSERT_TRUE(stored.has_value());
    std::vector<int> values;
    for (int position = 1; position <= AllSettings::kEntryCount; ++position) {
        values.push_back(stored->value(position));
    }
    EXPECT_EQ(values, (std::vector<int>{1, 1, 2, 2, 0, 8, 4, 0, 1, 2, 3, 5, 8, 2, 0, 0, 0, 5}));
    EXPECT_EQ(stored->text(AllSettings::rotary_dimeter), "");
    EXPECT_EQ(g_print_job_set.load(), 0);
    // Nothing but the file is left in the folder.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_.path()), fs::directory_iterator()), 1);

    // Opened again, the dialog shows what was saved.
    with_dialog([&](allsetting& dialog) {
        EXPECT_EQ(shown(dialog),
                  (std::vector<int>{1, 1, 2, 2, 0, 8, 4, 0, 1, 2, 3, 5, 8, 2, 0, 5}));
    });
}

// A file there whose section does not hold the eighteen entries in their order (an empty
// file passes the start-up check; a file made by saves alone lacks the rotary entries): a
// save writes the section again whole, in the installed order, keeping the rotary range and
// diameter it held, its other entries and the other sections.
TEST_F(SettingDialog, ASaveIntoAFileWithoutTheWholeSectionWritesItInTheInstalledOrder) {
    const auto section = [](std::string_view header, std::string_view range,
                            std::string_view diameter) {
        std::string text = std::string(header) + "\r\n";
        for (const AllSettingsEntry& entry : AllSettings::entries()) {
            const std::string_view value = entry.position == AllSettings::rotary_range ? range
                                           : entry.position == AllSettings::rotary_dimeter
                                               ? diameter
                                               : "1";
            text += std::string(entry.key) + "=" + std::string(value) + "\r\n";
        }
        return text;
    };
    std::string saves_alone = "[overall situation]\r\n";
    for (int position : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 18}) {
        saves_alone += std::string(AllSettings::entry(position).key) + "=2\r\n";
    }
    struct Case {
        const char* name;
        std::string before;
        std::string after;
    };
    const Case cases[] = {
        {"empty file", "", section("[overall situation]", "0", "")},
        {"another section only", "[other]\r\nx=1\r\n",
         "[other]\r\nx=1\r\n\r\n" + section("[overall situation]", "0", "")},
        {"made by saves alone", saves_alone, section("[overall situation]", "0", "")},
        {"entries missing",
         "[Overall Situation]\r\nstep_adjust=4\r\n; a remark\r\nrotary_dimeter=80.5\r\n"
         "UV set=0\r\nmine=7\r\n[other]\r\nx=1\r\n",
         section("[Overall Situation]", "0", "80.5") +
             "; a remark\r\nmine=7\r\n[other]\r\nx=1\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        write_file(file(), c.before);
        with_dialog([&](allsetting& dialog) {
            for (int position = 1; position <= AllSettings::kEntryCount; ++position) {
                if (dialog.combo_for(position) != nullptr) {
                    choose(dialog, position, 1);
                }
            }
            click(dialog, IDC_SETTING_SAVE);
        });
        EXPECT_EQ(read_file(file()), c.after);
        // Nothing but the file is left in the folder.
        EXPECT_EQ(std::distance(fs::directory_iterator(dir_.path()), fs::directory_iterator()), 1);
    }
    EXPECT_EQ(boxes_.texts(), Strings(std::size(cases), "Save succeed!"));
}

// A section out of order whose entries run past the readers' 20000 bytes: the save keeps
// every entry whole, the long one and those after it, the rotary range and diameter among
// them, and writes the operator's choices by name in their places.
TEST_F(SettingDialog, ASaveOfASectionLongerThanTheReadersBufferKeepsEveryEntryWhole) {
    const std::string long_entry = "notes=" + std::string(30000, 'n');
    std::string before = "[overall situation]\r\nfeather set=0\r\n" + long_entry + "\r\n";
    for (const AllSettingsEntry& entry : AllSettings::entries()) {
        if (entry.position != AllSettings::feather_set) {
            before += std::string(entry.key) + "=" +
                      (entry.position == AllSettings::rotary_range     ? "2"
                       : entry.position == AllSettings::rotary_dimeter ? "85.5"
                                                                       : "0") +
                      "\r\n";
        }
    }
    before += "mine=7\r\n";
    write_file(file(), before);
    with_dialog([&](allsetting& dialog) {
        choose(dialog, AllSettings::feather_set, 1);
        choose(dialog, AllSettings::print_job_set, 1);
        click(dialog, IDC_SETTING_SAVE);
    });
    EXPECT_EQ(boxes_.texts(), Strings{"Save succeed!"});
    std::string expected = before;
    const auto change = [&](const std::string& from, const std::string& to) {
        const std::size_t at = expected.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        expected.replace(at, from.size(), to);
    };
    change("feather set=0\r\n", "feather set=1\r\n");
    change("Print_job_set=0\r\n", "Print_job_set=1\r\n");
    const std::string after = read_file(file());
    EXPECT_TRUE(after == expected) << after.size() << " bytes, " << expected.size() << " expected";
}

// A line without a key ("=5") is no entry a key can name: the save leaves it as it stands and
// succeeds, whether it writes the keys in their places or puts the section in order.
TEST_F(SettingDialog, ASaveKeepsALineWithAnEmptyKeyAsItStands) {
    std::string in_order = kInstalled + "=5\r\n";
    std::string out_of_order = kInstalled;
    out_of_order.insert(out_of_order.find("UV set="), "=5\r\n");
    for (const std::string& before : {in_order, out_of_order}) {
        SCOPED_TRACE(before);
        test_support::MessageBoxRecorder boxes;
        write_file(file(), before);
        with_dialog([&](allsetting& dialog) {
            choose(dialog, AllSettings::uv_set, 2);
            click(dialog, IDC_SETTING_SAVE);
        });
        EXPECT_EQ(boxes.texts(), Strings{"Save succeed!"});
        const std::string after = read_file(file());
        EXPECT_NE(after.find("\r\n=5\r\n"), std::string::npos);
        const auto stored = AllSettings::read(file());
        ASSERT_TRUE(stored.has_value());
        EXPECT_EQ(stored->value(AllSettings::uv_set), 2);
        EXPECT_EQ(stored->text(AllSettings::rotary_dimeter), "85.5");
        // "-3" is no item: saved as -1, and found at its own position.
        EXPECT_EQ(stored->value(AllSettings::step_adjust), -1);
    }
}

TEST_F(SettingDialog, ClosingNeverWritesEvenAfterAPreset) {
    write_file(file(), kInstalled);
    with_dialog([&](allsetting& dialog) {
        click(dialog, IDC_SETTING_8_CHANNEL_DEFAULT);
        std::vector<int> chosen;
        for (int slot = 0; slot < 8; ++slot) {
            chosen.push_back(dialog.combo_for(AllSettings::channle_1 + slot)->current());
        }
        EXPECT_EQ(chosen, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7}));
        click(dialog, IDC_SETTING_6_CHANNEL_DEFAULT);
        EXPECT_EQ(dialog.control<ui::ComboBox>(IDC_SETTING_CHANNEL_1)->current(), 8);
        click(dialog, ui::kIdCancel);
        EXPECT_FALSE(dialog.is_visible());
    });
    EXPECT_EQ(read_file(file()), kInstalled);
    EXPECT_EQ(boxes_.count(), 0u);
    EXPECT_FALSE(window_.button_enabled(engine::IDC_ROTARY_BUTTON).has_value());
}

// What a save does to the running program, by the choices saved and the first printing row.
struct SaveCase {
    const char* name;
    int print_job_set;  // the item chosen; -1 none
    int print_media;
    const char* first_row_state;  // nullptr: an empty printing list
    int expected_print_job_set;
    bool rotary;
    Strings expected_times;
};

void PrintTo(const SaveCase& c, std::ostream* out) {
    *out << c.name;
}

class SettingSave : public SettingDialog, public ::testing::WithParamInterface<SaveCase> {};

TEST_P(SettingSave, AppliesTheChoicesToTheRunningProgramAtOnce) {
    const SaveCase& c = GetParam();
    write_file(file(), kInstalled);
    g_print_job_set = c.expected_print_job_set == 0 ? 1 : 0;
    g_rotary_mode = c.rotary ? 0 : 1;
    if (c.first_row_state != nullptr) {
        two_print_rows(c.first_row_state);
    }
    with_dialog([&](allsetting& dialog) {
        choose(dialog, AllSettings::print_job_set, c.print_job_set);
        choose(dialog, AllSettings::print_media, c.print_media);
        click(dialog, IDC_SETTING_SAVE);
    });
    EXPECT_EQ(boxes_.texts(), Strings{"Save succeed!"});
    EXPECT_EQ(g_print_job_set.load(), c.expected_print_job_set);
    EXPECT_EQ(g_rotary_mode.load(), c.rotary ? 1 : 0);
    EXPECT_EQ(window_.button_enabled(engine::IDC_ROTARY_BUTTON), std::optional<bool>(c.rotary));
    EXPECT_EQ(expected_times(), c.expected_times);
    const auto stored = AllSettings::read(file());
    EXPECT_EQ(stored->text(AllSettings::print_job_set), std::to_string(c.print_job_set));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SettingSave,
    ::testing::Values(
        SaveCase{
            "AutomaticRotaryAndANewEstimate", 0, 1, "Ready to print", 0, true, {"N/A", "0:12:30"}},
        SaveCase{"QueueFlatbedAndTheMediaOutRowIsEstimatedAgain",
                 1,
                 0,
                 "Tabel/Media Out",
                 1,
                 false,
                 {"N/A", "0:12:30"}},
        // No choice is no automatic printing, as at start-up.
        SaveCase{
            "NoChoiceKeepsJobsInTheQueue", -1, -1, "Ready to print", 1, false, {"N/A", "0:12:30"}},
        SaveCase{
            "APrintingRowKeepsItsEstimate", 0, 0, "Printing", 0, false, {"0:12:30", "0:12:30"}},
        SaveCase{"AnEmptyListIsLeftAlone", 0, 1, nullptr, 0, true, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SettingDialog, AWriteThatFailsShowsTheErrorAndChangesNothingRunning) {
    for (const bool file_there : {true, false}) {
        SCOPED_TRACE(file_there ? "file there" : "file missing");
        fs::remove(file());
        if (file_there) {
            write_file(file(), kInstalled);
        }
        window_.printing().delete_all_items();
        two_print_rows("Ready to print");
        test_support::MessageBoxRecorder boxes;
        {
            test_support::UndeletableEntries read_only(dir_.path());
            ASSERT_TRUE(read_only.ok());
            with_dialog([&](allsetting& dialog) {
                choose(dialog, AllSettings::print_job_set, 0);
                choose(dialog, AllSettings::print_media, 1);
                click(dialog, IDC_SETTING_SAVE);
                EXPECT_FALSE(dialog.is_visible());
            });
        }
        EXPECT_EQ(boxes.texts(), Strings{"Write set file error!"});
        EXPECT_EQ(g_print_job_set.load(), 1);
        EXPECT_EQ(g_rotary_mode.load(), 0);
        EXPECT_FALSE(window_.button_enabled(engine::IDC_ROTARY_BUTTON).has_value());
        EXPECT_EQ(expected_times(), (Strings{"0:12:30", "0:12:30"}));
        if (file_there) {
            EXPECT_EQ(read_file(file()), kInstalled);
        } else {
            EXPECT_TRUE(fs::is_empty(dir_.path()));
        }
    }
}

}  // namespace

// "Third-Party Software Print settings" opens the virtual-printer dialog over the Setting
// dialog, which stays open when it closes.
TEST_F(SettingDialog, TheThirdPartyButtonOpensTheVirtualPrinterDialog) {
    write_file(file(), kInstalled);
    std::string opened;
    with_dialog([&](allsetting& dialog) {
        QTimer::singleShot(0, [&] {
            ui::Dialog* innermost = ui::Dialog::innermost_modal();
            if (innermost != nullptr && innermost != &dialog) {
                opened = innermost->caption();
                innermost->end_dialog(ui::kIdCancel);
            }
        });
        click(dialog, IDC_SETTING_THIRD_PARTY);
        EXPECT_TRUE(dialog.is_visible());
    });
    EXPECT_EQ(opened, "Third-Party Software Driver Settings");
    EXPECT_EQ(read_file(file()), kInstalled);
}
