#include "app/after_print_chooser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/app_globals.h"
#include "engine/job_list_rows.h"
#include "modal_run.h"
#include "platform/ui/controls.h"
#include "test_main_window.h"

namespace {

namespace ui = platform::ui;

class AfterPrintChooser : public ::testing::Test {
  protected:
    AfterPrintChooser() {
        g_asc_last_index = 0;
        for (const char* path : {"/jobs/a.prn", "/jobs/b.prn", "/jobs/c.prn"}) {
            window_.add_job(path);
        }
    }

    ui::ComboBox& combo(ascadd& dialog) {
        return *dialog.control<ui::ComboBox>(ascadd::IDC_ASC_COMMAND);
    }
    std::vector<std::string> commands() {
        return window_.column(window_.printing(), PrintRow::after_print_command);
    }
    // Opens the chooser for a printing row as the After-print command does, runs steps in it and
    // returns its end code.
    int open_for(int row, const std::function<void(ascadd&)>& steps) {
        ascadd dialog;
        ascadd::SetJob(row, window_.printing().item_text(row, PrintRow::after_print_command));
        return test_support::run_modal(dialog, [&] { steps(dialog); });
    }

    test_support::TestMainWindow window_;
};

struct Opening {
    const char* keyword;
    int last_index;
    int selected;
    const char* saved;
};

class AfterPrintChooserOpening : public AfterPrintChooser,
                                 public ::testing::WithParamInterface<Opening> {};

TEST_P(AfterPrintChooserOpening, SelectsTheRowsKeywordAndOkWritesTheSelection) {
    const Opening& c = GetParam();
    window_.printing().set_item_text(1, PrintRow::after_print_command, c.keyword);
    g_asc_last_index = c.last_index;
    const int code = open_for(1, [&](ascadd& dialog) {
        EXPECT_EQ(dialog.caption(), "Norvaxel Command System V1.0");
        ASSERT_EQ(combo(dialog).count(), 3);
        EXPECT_EQ(combo(dialog).item_text(0), "N/A");
        EXPECT_EQ(combo(dialog).item_text(1), "Tabel back to print postion");
        EXPECT_EQ(combo(dialog).item_text(2),
                  "Tabel back to print postion and auto height measurement");
        EXPECT_EQ(combo(dialog).current(), c.selected);
        dialog.control<ui::Button>(ascadd::IDC_ASC_SAVE)->click();
    });
    EXPECT_EQ(code, ui::kIdCancel);
    EXPECT_EQ(g_asc_last_index, c.selected);
    EXPECT_EQ(commands(), (std::vector<std::string>{"N/A", c.saved, "N/A"}));
}

INSTANTIATE_TEST_SUITE_P(Keywords, AfterPrintChooserOpening,
                         ::testing::Values(Opening{"N/A", 2, 0, "N/A"},
                                           Opening{"YMoveB", 0, 1, "YMoveB"},
                                           Opening{"AutoYZ", 0, 2, "AutoYZ"},
                                           // Any other keyword: the last opening's choice.
                                           Opening{"", 2, 2, "AutoYZ"},
                                           Opening{"ymoveb", 1, 1, "YMoveB"}));

TEST_F(AfterPrintChooser, CancelWritesNothing) {
    const int code = open_for(0, [&](ascadd& dialog) {
        combo(dialog).set_current(1);
        dialog.control<ui::Button>(ui::kIdCancel)->click();
    });
    EXPECT_EQ(code, ui::kIdCancel);
    EXPECT_EQ(commands(), (std::vector<std::string>{"N/A", "N/A", "N/A"}));
}

// While the chooser is open the job printer may finish the first job and take its row away,
// or the job chosen for may go: the command goes to the job it was opened for, or nowhere.
TEST_F(AfterPrintChooser, OkWritesIntoTheRowOfItsJobFoundAgainByPath) {
    struct Case {
        int removed_row;
        std::vector<std::string> paths;
        std::vector<std::string> commands;
    };
    for (const Case& c : {Case{0, {"/jobs/b.prn", "/jobs/c.prn"}, {"AutoYZ", "N/A"}},
                          Case{1, {"/jobs/a.prn", "/jobs/c.prn"}, {"N/A", "N/A"}},
                          Case{2, {"/jobs/a.prn", "/jobs/b.prn"}, {"N/A", "AutoYZ"}}}) {
        open_for(1, [&](ascadd& dialog) {
            ASSERT_TRUE(test_support::run_off_ui_thread(
                [&] { window_.printing().delete_item(c.removed_row); }));
            combo(dialog).set_current(2);
            dialog.control<ui::Button>(ascadd::IDC_ASC_SAVE)->click();
        });
        EXPECT_EQ(window_.column(window_.printing(), PrintRow::job_path), c.paths);
        EXPECT_EQ(commands(), c.commands) << c.removed_row;
        window_.printing().delete_all_items();
        window_.jobs().delete_all_items();
        for (const char* path : {"/jobs/a.prn", "/jobs/b.prn", "/jobs/c.prn"}) {
            window_.add_job(path);
        }
    }
}

}  // namespace
