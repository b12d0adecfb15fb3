#include "jobs/job_print_settings.h"

#include <gtest/gtest.h>

#include <QWidget>

#include <string>
#include <vector>

#include "engine/job_list_rows.h"
#include "message_box_recorder.h"
#include "modal_run.h"
#include "platform/ui/controls.h"
#include "test_main_window.h"

namespace {

namespace ui = platform::ui;

using Values = std::vector<std::string>;  // copies, 3D level, direction

class JobPrintSettings : public ::testing::Test {
  protected:
    JobPrintSettings() { reset_rows(); }

    void reset_rows() {
        window_.jobs().delete_all_items();
        for (const char* path : {"/jobs/a.prn", "/jobs/b.prn", "/jobs/c.prn"}) {
            add_row(path, {"1", "N/A", "UniDirection"});
        }
    }
    void add_row(const std::string& path, const Values& values) {
        auto& jobs = window_.jobs();
        const int row = jobs.insert_item(jobs.item_count(), path);
        jobs.set_item_text(row, JobRow::state, JobState::wait);
        jobs.set_item_text(row, JobRow::print_mode, "Color-WKCMY");
        set_values(row, values);
    }
    void set_values(int row, const Values& values) {
        window_.jobs().set_item_text(row, JobRow::copies, values[0]);
        window_.jobs().set_item_text(row, JobRow::embossed_3d, values[1]);
        window_.jobs().set_item_text(row, JobRow::print_direction, values[2]);
    }
    Values values(int row) {
        return {window_.jobs().item_text(row, JobRow::copies),
                window_.jobs().item_text(row, JobRow::embossed_3d),
                window_.jobs().item_text(row, JobRow::print_direction)};
    }
    static ui::ComboBox& combo(printingset& dialog, int id) {
        return *dialog.control<ui::ComboBox>(id);
    }
    static Values shown(printingset& dialog) {
        const auto current = [&](int id) {
            return combo(dialog, id).item_text(combo(dialog, id).current());
        };
        return {current(printingset::IDC_COPIES), current(printingset::IDC_EMBOSS),
                current(printingset::IDC_DIRECTION)};
    }
    static void click(printingset& dialog, int id) { dialog.control<ui::Button>(id)->click(); }
    // Opens the dialog for a job row as the Set command does and returns its end code; shown_
    // tells whether its run opened (and the steps ran).
    int open_for(int row, const std::function<void(printingset&)>& steps) {
        printingset dialog;
        printingset::SetJob(row, window_.jobs().item_text(row, JobRow::print_mode));
        shown_ = false;
        return test_support::run_modal(dialog, [&] {
            shown_ = true;
            steps(dialog);
        });
    }

    test_support::TestMainWindow window_;
    test_support::MessageBoxRecorder boxes_;
    bool shown_ = false;
};

struct Opening {
    Values row;
    Values shown;
};

class JobPrintSettingsOpening : public JobPrintSettings,
                                public ::testing::WithParamInterface<Opening> {};

TEST_P(JobPrintSettingsOpening, ShowsTheRowsValuesAndOkWritesWhatItShows) {
    set_values(1, GetParam().row);
    Values seen;
    const int code = open_for(1, [&](printingset& dialog) {
        seen = shown(dialog);
        click(dialog, printingset::IDC_SET_OK);
    });
    EXPECT_EQ(code, ui::kIdCancel);
    EXPECT_EQ(seen, GetParam().shown);
    EXPECT_EQ(values(1), GetParam().shown);
    EXPECT_EQ(values(0), (Values{"1", "N/A", "UniDirection"}));
    EXPECT_TRUE(boxes_.texts().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Rows, JobPrintSettingsOpening,
    ::testing::Values(Opening{{"1", "N/A", "UniDirection"}, {"1", "N/A", "UniDirection"}},
                      Opening{{"3", "Big", "BiDirection"}, {"3", "Big", "BiDirection"}},
                      Opening{{"100", "Braille", "Unknow"}, {"100", "Braille", "UniDirection"}},
                      // Copies outside 1 to 100, or not a plain number, open as "1"; a 3D text
                      // or a direction of another spelling as the first item.
                      Opening{{"0", "big", "bidirection"}, {"1", "N/A", "UniDirection"}},
                      Opening{{"101", "Middle", "BiDirection"}, {"1", "Middle", "BiDirection"}},
                      Opening{{"07", "", ""}, {"1", "N/A", "UniDirection"}},
                      Opening{{"-2", "Small", "BiDirection"}, {"1", "Small", "BiDirection"}}));

TEST_F(JobPrintSettings, ChosenValuesGoIntoTheRowAndCancelWritesNothing) {
    const int code = open_for(0, [&](printingset& dialog) {
        EXPECT_EQ(dialog.caption(), "Printing set");
        auto& copies = combo(dialog, printingset::IDC_COPIES);
        ASSERT_EQ(copies.count(), 100);
        EXPECT_EQ(copies.item_text(0), "1");
        EXPECT_EQ(copies.item_text(99), "100");
        const auto items = [&](int id) {
            Values texts;
            for (int i = 0; i < combo(dialog, id).count(); ++i) {
                texts.push_back(combo(dialog, id).item_text(i));
            }
            return texts;
        };
        EXPECT_EQ(items(printingset::IDC_EMBOSS),
                  (Values{"N/A", "Small", "Middle", "Big", "Braille"}));
        EXPECT_EQ(items(printingset::IDC_DIRECTION), (Values{"UniDirection", "BiDirection"}));
        EXPECT_EQ(items(printingset::IDC_ECLOSION),
                  (Values{"Sharp edges", "Smooth", "Gaussian Smooth"}));
        EXPECT_EQ(combo(dialog, printingset::IDC_ECLOSION).current(), 2);
        EXPECT_FALSE(combo(dialog, printingset::IDC_ECLOSION).is_visible());
        EXPECT_FALSE(dialog.item(printingset::IDC_ECLOSION_LABEL)->is_visible());
        EXPECT_TRUE(combo(dialog, printingset::IDC_EMBOSS).is_enabled());
        EXPECT_FALSE(dialog.item(printingset::IDC_EMBOSS_HELP)->is_visible());
        EXPECT_EQ(dialog.control<ui::Static>(printingset::IDC_DIRECTION_LABEL)->text(),
                  "Print direction");
        EXPECT_EQ(dialog.item(printingset::IDC_COPIES_LABEL)->widget()->font().pointSize(), 8);
        copies.set_current(2);
        combo(dialog, printingset::IDC_EMBOSS).set_current(3);
        combo(dialog, printingset::IDC_DIRECTION).set_current(1);
        click(dialog, printingset::IDC_SET_OK);
    });
    EXPECT_EQ(code, ui::kIdCancel);
    EXPECT_EQ(values(0), (Values{"3", "Big", "BiDirection"}));

    EXPECT_EQ(open_for(0,
                       [&](printingset& dialog) {
                           combo(dialog, printingset::IDC_COPIES).set_current(9);
                           click(dialog, ui::kIdCancel);
                       }),
              ui::kIdCancel);
    EXPECT_EQ(values(0), (Values{"3", "Big", "BiDirection"}));
}

TEST_F(JobPrintSettings, AColourOnlyJobKeepsItsThreeDLevelAndTheHelpSaysWhy) {
    window_.jobs().set_item_text(2, JobRow::print_mode, "Color-KCMY");
    set_values(2, {"2", "Small", "BiDirection"});
    open_for(2, [&](printingset& dialog) {
        EXPECT_FALSE(combo(dialog, printingset::IDC_EMBOSS).is_enabled());
        ASSERT_TRUE(dialog.item(printingset::IDC_EMBOSS_HELP)->is_visible());
        dialog.control<ui::ImageButton>(printingset::IDC_EMBOSS_HELP)->click();
        click(dialog, printingset::IDC_SET_OK);
    });
    EXPECT_EQ(boxes_.texts(), Values{"Only white or white+color jobs support 3D effects!"});
    EXPECT_EQ(values(2), (Values{"2", "Small", "BiDirection"}));
}

TEST_F(JobPrintSettings, WithoutARowItSaysSoAndEndsWith0) {
    for (const int row : {-1, 3}) {
        EXPECT_EQ(open_for(row, [](printingset&) {}), 0) << row;
        EXPECT_FALSE(shown_) << row;
    }
    EXPECT_EQ(boxes_.texts(), (Values{"No print files to set up were found!",
                                      "No print files to set up were found!"}));
}

// While the dialog is open the synchroniser may remove the rows of files that went: OK writes
// into the row of the job it showed, or nowhere when that job went.
TEST_F(JobPrintSettings, OkWritesIntoTheRowOfItsJobFoundAgainByPath) {
    struct Case {
        int removed_row;
        Values paths;
        std::vector<Values> rows;
    };
    const Values untouched{"1", "N/A", "UniDirection"};
    const Values chosen{"5", "Middle", "BiDirection"};
    for (const Case& c : {Case{0, {"/jobs/b.prn", "/jobs/c.prn"}, {chosen, untouched}},
                          Case{1, {"/jobs/a.prn", "/jobs/c.prn"}, {untouched, untouched}},
                          Case{2, {"/jobs/a.prn", "/jobs/b.prn"}, {untouched, chosen}}}) {
        open_for(1, [&](printingset& dialog) {
            ASSERT_TRUE(test_support::run_off_ui_thread(
                [&] { window_.jobs().delete_item(c.removed_row); }));
            combo(dialog, printingset::IDC_COPIES).set_current(4);
            combo(dialog, printingset::IDC_EMBOSS).set_current(2);
            combo(dialog, printingset::IDC_DIRECTION).set_current(1);
            click(dialog, printingset::IDC_SET_OK);
        });
        EXPECT_EQ(window_.column(window_.jobs(), JobRow::job_path), c.paths);
        EXPECT_EQ(values(0), c.rows[0]) << c.removed_row;
        EXPECT_EQ(values(1), c.rows[1]) << c.removed_row;
        reset_rows();
    }
}

}  // namespace
