// A job owns the printer from its claim to its one give-back and talks to it only meanwhile,
// prints only from its own printing row, and files its print file once.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>

#include "config/program_globals.h"
#include "engine/printed_jobs_folder.h"
#include "platform/files.h"
#include "platform/ui/message_box.h"
#include "print_job_fixture.h"
#include "printer/commands.h"
#include "printer/prn_file.h"
#include "printer/protocol_state.h"
#include "undeletable_entries.h"

namespace {

using test_support::PrintJobTest;
using test_support::small_job;

int count(const std::vector<std::uint8_t>& codes, std::uint8_t code) {
    return static_cast<int>(std::count(codes.begin(), codes.end(), code));
}

class JobOwnershipTest : public PrintJobTest {
  protected:
    // What Remove from printing does to a job that is not printing: its printing row goes and
    // its job row reads "Wait" again. Runs on the user-interface thread.
    void take_out_of_printing(const std::string& path) {
        const int row = find_row_with_path(window_.printing(), PrintRow::job_path, path);
        ASSERT_GE(row, 0);
        ASSERT_NE(window_.printing().item_text(row, PrintRow::state), JobState::printing);
        window_.printing().delete_item(row);
        window_.jobs().set_item_text(0, JobRow::state, JobState::wait);
    }

    // Prints `path` on a thread of its own, as the print loop does with the path it read.
    void print(const std::string& path) {
        ASSERT_TRUE(test_support::run_off_ui_thread([&] { worker_->PrintJob(path); }));
    }
};

// The operator takes the first row out of printing after the print loop read it, at three
// moments before the job commits: the job is not printed, its file stays and its row is the
// operator's "Wait" row.
TEST_F(JobOwnershipTest, ARowTakenOutOfPrintingBeforeItsJobCommitsIsNotPrinted) {
    enum class When { BeforeTheStart, DuringTheReadyCheck, AfterMediaOut };
    for (const When when : {When::BeforeTheStart, When::DuringTheReadyCheck, When::AfterMediaOut}) {
        SCOPED_TRACE(static_cast<int>(when));
        const std::string path = queue_job(small_job(), "job.prn", "2");
        const int setups_before = count(codes(), CMD_DIRECTION);
        if (when == When::AfterMediaOut) {
            firmware_->answer_at(CMD_CHECK_READY, count(codes(), CMD_CHECK_READY) + 1, 0x00);
            print(path);
            ASSERT_EQ(printing_cell(PrintRow::state), JobState::media_out);
        }
        if (when == When::DuringTheReadyCheck) {
            firmware_->act_at(CMD_CHECK_READY, [&] { take_out_of_printing(path); });
        } else {
            take_out_of_printing(path);
        }
        print(path);
        EXPECT_EQ(count(codes(), CMD_DIRECTION), setups_before);
        EXPECT_EQ(window_.printing().item_count(), 0);
        ASSERT_EQ(window_.jobs().item_count(), 1);
        EXPECT_EQ(job_cell(JobRow::state), JobState::wait);
        EXPECT_EQ(job_cell(JobRow::copies), "2");
        EXPECT_TRUE(platform::exists(path));
        EXPECT_FALSE(platform::exists(printed_folder(0)));
        EXPECT_FALSE(g_prn_file.is_open());
        EXPECT_EQ(g_printer_idle, 1);
        window_.jobs().delete_all_items();
    }
    EXPECT_EQ(boxes_.count(), 0u);
}

// The after-print command is the one the job's row holds when the printed job reaches it: a
// choice saved while the job prints is carried out for this copy.
TEST_F(JobOwnershipTest, AnAfterPrintCommandChosenWhileTheJobPrintsIsCarriedOut) {
    const std::string path = queue_job(small_job());
    firmware_->act_at(CMD_PASS_FORWARD, [&] {
        window_.printing().set_item_text(0, PrintRow::after_print_command, "YMoveB");
    });
    print(path);
    const std::vector<std::uint8_t> c = codes();
    ASSERT_EQ(count(c, CMD_END_Y_MOVE_BACK), 1);
    EXPECT_LT(std::find(c.begin(), c.end(), CMD_END_OF_PRINT),
              std::find(c.begin(), c.end(), CMD_END_Y_MOVE_BACK));
    EXPECT_EQ(window_.printing().item_count(), 0);
    EXPECT_TRUE(platform::exists(printed_folder(0) / "job.prn"));
}

// After the last copy the file is moved into the printed-jobs folder even when that folder is
// on another file system; when it cannot be moved at all (the folder gone, as a Delete All of
// the history leaves it) the operator is told which file, and its row stays in view, so that
// it is not printed again unseen at the next start.
TEST_F(JobOwnershipTest, APrintedJobIsFiledOnceOrKeptInViewWithItsFileNamed) {
    test_support::TempDir elsewhere(test_support::another_file_system());
    struct Case {
        const char* name;
        std::filesystem::path printed_folder;
        bool filed;
    };
    const Case cases[] = {
        {"on another file system", elsewhere.path(), true},
        {"gone", dir_ / "settings" / "gone", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g_printed_folder = c.printed_folder.string();
        const std::string path = queue_job(small_job());
        print(path);
        EXPECT_EQ(window_.printing().item_count(), 0);
        const std::filesystem::path filed =
            c.printed_folder / (engine::local_date_text() + "-0") / "job.prn";
        EXPECT_EQ(platform::exists(filed), c.filed);
        EXPECT_EQ(platform::exists(path), !c.filed);
        if (c.filed) {
            EXPECT_EQ(window_.jobs().item_count(), 0);
            EXPECT_EQ(boxes_.count(), 0u);
        } else {
            ASSERT_EQ(window_.jobs().item_count(), 1);
            EXPECT_EQ(job_cell(JobRow::state), JobState::wait);
            ASSERT_EQ(boxes_.count(), 1u);
            EXPECT_NE(boxes_.texts()[0].find(path), std::string::npos) << boxes_.texts()[0];
        }
        EXPECT_EQ(g_printer_idle, 1);
    }
}

// A job whose file is to go after its print (not kept in the history, or stopped with stopped
// jobs not kept) but cannot be deleted (a job folder the operator may not write) keeps its row,
// reading "Wait", and the operator is told which file: without its row it would be queued and
// printed again at the next start.
TEST_F(JobOwnershipTest, APrintFileThatCannotBeDeletedKeepsItsRowWithItsFileNamed) {
    struct Case {
        const char* name;
        std::map<int, std::string> settings;
        bool stopped;
    };
    const Case cases[] = {
        {"printed, not kept", {{1, "0"}}, false},
        {"stopped, not kept", {{2, "0"}}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        write_settings(c.settings);
        const std::string path = queue_job(small_job(600));
        if (c.stopped) {
            firmware_->answer_at(CMD_PASS_FORWARD, count(codes(), CMD_PASS_FORWARD) + 2,
                                 STATUS_ABORTED);
        }
        const std::size_t boxes_before = boxes_.count();
        {
            const test_support::UndeletableEntries held(dir_ / "Output");
            ASSERT_TRUE(held.ok()) << "the file system cannot hold a file in place";
            print(path);
        }
        EXPECT_EQ(window_.printing().item_count(), 0);
        EXPECT_TRUE(platform::exists(path));
        ASSERT_EQ(window_.jobs().item_count(), 1);
        EXPECT_EQ(job_cell(JobRow::state), JobState::wait);
        ASSERT_EQ(boxes_.count(), boxes_before + 1);
        EXPECT_NE(boxes_.texts().back().find(path), std::string::npos) << boxes_.texts().back();

        // Deleted, it loses its row as before.
        window_.jobs().delete_all_items();
        const std::string next = queue_job(small_job(600), "next.prn");
        if (c.stopped) {
            firmware_->answer_at(CMD_PASS_FORWARD, count(codes(), CMD_PASS_FORWARD) + 2,
                                 STATUS_ABORTED);
        }
        print(next);
        EXPECT_FALSE(platform::exists(next));
        EXPECT_EQ(window_.jobs().item_count(), 0);
        EXPECT_EQ(boxes_.count(), boxes_before + 1);
        std::filesystem::remove(path);
    }
}

// A job that ends early gives the printer back once and sends nothing after: the stop command
// of a wait that gives up goes out while the job still owns the printer.
TEST_F(JobOwnershipTest, AJobThatGivesUpSendsItsStopWhileItOwnsThePrinter) {
    struct Case {
        const char* name;
        std::function<void()> script;
    };
    const Case cases[] = {
        {"idle wait", [&] { firmware_->answer_at(CMD_WAIT_IDLE, 1, 'x'); }},
        {"acknowledge",
         [&] {
             for (int n = 1; n <= 4; ++n) {
                 firmware_->answer_at(CMD_ACK_REQUEST, n, 'x');
             }
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::size_t boxes_before = boxes_.count();
        firmware_ = std::make_shared<test_support::TestFirmware>();
        printer_->set_model(firmware_);
        c.script();
        const std::string path = queue_job(small_job());
        print(path);
        EXPECT_EQ(count(codes(), CMD_STOP), 1);
        EXPECT_EQ(firmware_->unowned_requests(), 0);
        EXPECT_EQ(g_printer_idle, 1);
        EXPECT_EQ(boxes_.count(), boxes_before + 1);
        window_.printing().delete_all_items();
        window_.jobs().delete_all_items();
    }
}

// With nothing to print the print loop's heartbeat owns the printer for its one command.
TEST_F(JobOwnershipTest, TheIdleHeartbeatGoesOutOnlyWhileItOwnsThePrinter) {
    worker_->post(WM_MT_PRINT_LOOP);
    worker_->start();
    EXPECT_TRUE(test_support::pump_events_until(
        [&] { return count(codes(), CMD_IDLE_HEARTBEAT) >= 2; }, 10000));
    EXPECT_TRUE(test_support::run_off_ui_thread([&] { worker_->stop_and_join(); }));
    EXPECT_EQ(firmware_->unowned_requests(), 0);
    EXPECT_EQ(g_printer_idle, 1);
}

}  // namespace
