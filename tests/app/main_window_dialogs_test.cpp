// The commands that open a small dialog, through the real main window and the real dialogs:
// the after-print command chooser, the per-job print settings, and Import with its worker,
// its dated folders and its wait dialog.

#include <gtest/gtest.h>

#include <QTimer>

#include <csignal>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/after_print_chooser.h"
#include "app/app_globals.h"
#include "app/import_command.h"
#include "app/import_wait_dialog.h"
#include "app/job_lists.h"
#include "app/job_queue_list.h"
#include "app/main_window_ids.h"
#include "app/printing_list.h"
#include "jobs/job_intake.h"
#include "jobs/job_print_settings.h"
#include "main_window_fixture.h"
#include "platform/clock.h"
#include "platform/ui/controls.h"
#include "platform/ui/file_dialog.h"
#include "platform/ui/menu.h"
#include "prn_builder.h"
#include "temp_dir.h"
#include "test_processes.h"

namespace {

namespace fs = std::filesystem;
namespace ui = platform::ui;

constexpr unsigned kSF = ui::kItemSelected | ui::kItemFocused;

using test_support::WhenOpen;

class MainWindowDialogs : public test_support::MainWindowTest {
  protected:
    MainWindowDialogs() {
        stand_in_for_print_loop();
        g_wait_dialog = &wait_;
    }
    ~MainWindowDialogs() override {
        g_wait_dialog = nullptr;
        ui::set_file_dialog_responder({});
        ui::set_menu_responder({});
    }

    int add_job(CvelquorinDlg& window, const std::string& name, std::string_view state) {
        const fs::path path = station.job_folder() / name;
        test_support::PrnBuilder(284, 4).width_dots(1134).write(path);
        MyListCtrl& jobs = window.job_queue_list();
        const int row = jobs.insert_item(jobs.item_count(), path.string());
        jobs.set_item_text(row, JobRow::state, state);
        jobs.set_item_text(row, JobRow::print_mode, "4White");
        jobs.set_item_text(row, JobRow::copies, "1");
        jobs.set_item_text(row, JobRow::embossed_3d, "N/A");
        jobs.set_item_text(row, JobRow::print_direction, "UniDirection");
        return row;
    }

    // The folders of today's imports in the job folder, by name.
    std::vector<std::string> import_folders() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(station.job_folder())) {
            if (entry.is_directory()) {
                names.push_back(entry.path().filename().string());
            }
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    // Clicks Import and serves the window until its worker has ended.
    void import(CvelquorinDlg& window) {
        window.control<ui::ImageButton>(IDC_IMPORT_BUTTON)->click();
        EXPECT_TRUE(test_support::pump_events_until([&] { return !window.import_running(); }));
    }

    mynewdlg2 wait_;
    test_support::TempDir sources_;
};

TEST_F(MainWindowDialogs, TheAfterPrintCommandIsChosenForAPrintingRowThatIsNotPrinting) {
    run([&](CvelquorinDlg& window) {
        cprocess& printing = window.printing_list();
        add_job(window, "a.prn", JobState::wait);
        add_job(window, "b.prn", JobState::wait);
        for (const int row : {0, 1}) {
            window.job_queue_list().set_item_state(row, kSF, kSF);
            window.command(IDC_PRINT_BUTTON);
        }
        window.command(IDC_AFTER_PRINT_BUTTON);

        printing.set_item_state(1, kSF, kSF);
        ASSERT_TRUE(window.item(IDC_AFTER_PRINT_BUTTON)->is_enabled());
        ascadd& chooser = window.after_print_chooser();
        WhenOpen choose(chooser, [&] {
            EXPECT_EQ(chooser.background(), ui::Rgb::from_bgr(0xF2F2F2));
            chooser.control<ui::ComboBox>(ascadd::IDC_ASC_COMMAND)->set_current(1);
            chooser.command(ascadd::IDC_ASC_SAVE);
        });
        window.control<ui::ImageButton>(IDC_AFTER_PRINT_BUTTON)->click();
        EXPECT_TRUE(choose.done());
        EXPECT_EQ(printing.item_text(1, PrintRow::after_print_command), "YMoveB");
        EXPECT_EQ(printing.item_text(0, PrintRow::after_print_command), "N/A");

        printing.set_item_text(1, PrintRow::state, JobState::printing);
        window.command(IDC_AFTER_PRINT_BUTTON);
        EXPECT_FALSE(chooser.in_modal_run());
    });
    EXPECT_EQ(boxes.texts(),
              (std::vector<std::string>{"No task selected.",
                                        "Tasks are executing and instructions cannot be added."}));
}

TEST_F(MainWindowDialogs, SetOpensThePrintSettingsOfAWaitingJobAndThePrintRowCarriesThem) {
    run([&](CvelquorinDlg& window) {
        MyListCtrl& jobs = window.job_queue_list();
        add_job(window, "a.prn", JobState::wait);
        add_job(window, "b.prn", JobState::wait);
        jobs.set_item_state(1, kSF, kSF);
        printingset& settings = window.print_settings_dialog();
        WhenOpen set(settings, [&] {
            settings.control<ui::ComboBox>(printingset::IDC_COPIES)->set_current(2);
            settings.control<ui::ComboBox>(printingset::IDC_EMBOSS)->set_current(3);
            settings.control<ui::ComboBox>(printingset::IDC_DIRECTION)->set_current(1);
            settings.command(printingset::IDC_SET_OK);
        });
        ui::set_menu_responder([](const ui::Menu&, ui::Point) { return ID_JOB_SET; });
        window.OnNMRClickJobQueue();
        EXPECT_TRUE(set.done());
        EXPECT_EQ(jobs.item_text(1, JobRow::copies), "3");
        EXPECT_EQ(jobs.item_text(1, JobRow::embossed_3d), "Big");
        EXPECT_EQ(jobs.item_text(1, JobRow::print_direction), "BiDirection");
        EXPECT_EQ(jobs.item_text(0, JobRow::copies), "1");

        window.command(IDC_PRINT_BUTTON);
        cprocess& printing = window.printing_list();
        ASSERT_EQ(printing.item_count(), 1);
        EXPECT_EQ(printing.item_text(0, PrintRow::copies), "3");
        EXPECT_EQ(printing.item_text(0, PrintRow::embossed_3d), "Big");
        EXPECT_EQ(printing.item_text(0, PrintRow::direction), "Bi");
        // Set is for a waiting job only: the row now reads "Ready to print".
        jobs.set_item_state(1, kSF, kSF);
        window.OnJobSet();
        EXPECT_FALSE(settings.in_modal_run());
    });
    EXPECT_EQ(boxes.count(), 0u);
}

TEST(ImportFolder, TheFirstFreeNumberWithABlankBeforeASingleDigit) {
    const test_support::TempDir jobs;
    EXPECT_EQ(import_folder(jobs.path().string(), "2026-12-10"),
              (jobs.path() / "2026-12-10- 0").string());
    for (int n = 0; n < 10; ++n) {
        fs::create_directory(jobs.path() / ("2026-12-10- " + std::to_string(n)));
    }
    EXPECT_EQ(import_folder(jobs.path().string(), "2026-12-10"),
              (jobs.path() / "2026-12-10-10").string());
    // A file of the name uses the number up as a folder does.
    test_support::write_file(jobs.path() / "2026-12-10-10", "");
    EXPECT_EQ(import_folder(jobs.path().string(), "2026-12-10"),
              (jobs.path() / "2026-12-10-11").string());
    EXPECT_EQ(import_date_text().size(), 10u);
}

// An import cut off in the middle of a file (the program ended, a crash, a full disk) leaves no
// print file in the job folder, so the next start takes no cut-short job; the next import of the
// file goes through, and a file of the same name is replaced.
TEST(ImportFile, ACopyCutOffLeavesNoPrintFile) {
    const test_support::TempDir sources;
    const test_support::TempDir folder;
    const std::string bytes(4 << 20, 'x');
    test_support::write_file(sources / "job.prn", bytes);
    const std::string source = (sources / "job.prn").string();
    ASSERT_EQ(test_support::killed_past_file_size(
                  1 << 20, [&] { import_print_file(source, folder.path().string()); }),
              SIGXFSZ);
    for (const auto& entry : fs::directory_iterator(folder.path())) {
        EXPECT_FALSE(has_prn_extension(entry.path().filename().string())) << entry.path();
    }
    ASSERT_TRUE(import_print_file(source, folder.path().string()));
    EXPECT_EQ(test_support::read_file(folder / "job.prn"), bytes);
    fs::create_directory(sources / "again");
    test_support::write_file(sources / "again" / "job.prn", "again");
    ASSERT_TRUE(
        import_print_file((sources / "again" / "job.prn").string(), folder.path().string()));
    EXPECT_EQ(test_support::read_file(folder / "job.prn"), "again");
}

TEST_F(MainWindowDialogs, ImportCopiesIntoANewDatedFolderUnderTheWaitDialogOneImportAtATime) {
    const std::string date = import_date_text();
    test_support::write_file(sources_.path() / "one.prn", "first");
    test_support::write_file(sources_.path() / "two.PRN", "second");
    std::vector<std::vector<std::string>> answers = {
        {(sources_.path() / "one.prn").string(), (sources_.path() / "two.PRN").string()},
        {},  // the operator cancels the file dialog
        {(sources_.path() / "missing.prn").string(), (sources_.path() / "one.prn").string()},
    };
    std::vector<ui::FileDialogRecord> asked;
    ui::set_file_dialog_responder([&](const ui::FileDialogRecord& record) {
        asked.push_back(record);
        std::vector<std::string> answer = answers.front();
        answers.erase(answers.begin());
        return answer;
    });
    bool waited = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] { waited = waited || wait_.in_modal_run(); });
    watch.start(1);
    run([&](CvelquorinDlg& window) {
        // A double click starts one import.
        window.control<ui::ImageButton>(IDC_IMPORT_BUTTON)->click();
        EXPECT_FALSE(window.item(IDC_IMPORT_BUTTON)->is_enabled());
        window.command(IDC_IMPORT_BUTTON);
        EXPECT_TRUE(test_support::pump_events_until([&] { return !window.import_running(); }));
        EXPECT_TRUE(waited) << "no wait dialog";
        EXPECT_FALSE(wait_.in_modal_run());
        EXPECT_TRUE(window.item(IDC_IMPORT_BUTTON)->is_enabled());
        import(window);
        import(window);
    });
    ASSERT_EQ(asked.size(), 3u);
    EXPECT_EQ(asked[0].options.title, "Import File");
    EXPECT_TRUE(asked[0].options.multiple_selection);
    EXPECT_EQ(import_folders(),
              (std::vector<std::string>{date + "- 0", date + "- 1", date + "- 2"}));
    const fs::path first = station.job_folder() / (date + "- 0");
    EXPECT_EQ(test_support::read_file(first / "one.prn"), "first");
    EXPECT_EQ(test_support::read_file(first / "two.PRN"), "second");
    EXPECT_TRUE(fs::is_empty(station.job_folder() / (date + "- 1")));
    // A file that could not be copied is named; the others are copied all the same.
    EXPECT_EQ(test_support::read_file(station.job_folder() / (date + "- 2") / "one.prn"), "first");
    EXPECT_EQ(boxes.texts(), std::vector<std::string>{"These files could not be imported:\n" +
                                                      (sources_.path() / "missing.prn").string()});
}

TEST_F(MainWindowDialogs, CancelInTheWaitDialogStopsTheImportBeforeItsNextFile) {
    // Real time, so that the pause after each copy outlasts the Cancel.
    platform::set_time_scale(1);
    std::vector<std::string> chosen;
    for (const char* name : {"a.prn", "b.prn", "c.prn"}) {
        test_support::write_file(sources_.path() / name, name);
        chosen.push_back((sources_.path() / name).string());
    }
    ui::set_file_dialog_responder([&](const ui::FileDialogRecord&) { return chosen; });
    const fs::path first = station.job_folder() / (import_date_text() + "- 0");
    // Cancel once the first file is copied, in the pause after it.
    WhenOpen cancel(
        wait_, [&] { wait_.command(mynewdlg2::IDC_WAIT_CANCEL); },
        [&] { return fs::exists(first / "a.prn"); });
    run([&](CvelquorinDlg& window) {
        import(window);
        EXPECT_TRUE(cancel.done());
        EXPECT_EQ(g_import_abort, 1);
        // The next import is not stopped by the last one's Cancel, and has its wait dialog.
        chosen = {chosen[2]};
        WhenOpen again(wait_, [] {});
        import(window);
        EXPECT_TRUE(again.done());
        EXPECT_FALSE(wait_.in_modal_run());
    });
    const std::string date = import_date_text();
    EXPECT_TRUE(fs::exists(first / "a.prn"));
    EXPECT_FALSE(fs::exists(first / "b.prn"));
    EXPECT_FALSE(fs::exists(first / "c.prn"));
    EXPECT_TRUE(fs::exists(station.job_folder() / (date + "- 1") / "c.prn"));
    EXPECT_EQ(boxes.count(), 0u);
}

}  // namespace
