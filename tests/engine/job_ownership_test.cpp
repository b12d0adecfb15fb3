// A job owns the printer from its claim to its one give-back and talks to it only meanwhile,
// prints only from its own printing row, and files its print file once.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>

#include <thread>

#include "config/program_globals.h"
#include "engine/printed_jobs_folder.h"
#include "engine/transfer_packing.h"
#include "engine/y_feed.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/ui/message_box.h"
#include "print_job_fixture.h"
#include "printer/commands.h"
#include "printer/printer_claim.h"
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

    // A printer of its own for the next case, so that its scripted faults count from 1.
    void fresh_firmware() {
        firmware_ = std::make_shared<test_support::TestFirmware>();
        printer_->set_model(firmware_);
        firmware_->attach(printer_.get());
    }

    // Prints `path` as print() does while maintenance, played here, waits for the printer: as
    // soon as the job has given it back before its end (as in the 5 s pause after the printer
    // reported it stopped) it takes it with `maintenance`, clears the stop flag for its own
    // work and puts its own data into the transfer buffer, as a nozzle check started then
    // would. True when it took the printer.
    bool print_while_maintenance_waits(const std::string& path, PrinterClaim& maintenance) {
        std::atomic<bool> done{false};
        std::thread job([&] {
            worker_->PrintJob(path);
            done = true;
        });
        bool took = false;
        EXPECT_TRUE(test_support::pump_events_until([&] {
            if (!took && !done && firmware_->commands_received() > 0 && g_printer_idle == 1 &&
                maintenance.take()) {
                took = true;
                firmware_->set_maintenance_owns(true);
                g_stop_printing = 0;
                std::fill_n(g_transfer_buffer, kMaintenanceBytes, kMaintenanceData);
            }
            return done.load();
        }));
        job.join();
        return took;
    }

    // What maintenance that took the printer from a stopped job finds when the job is over:
    // the printer still its own, its stop flag clear, its transfer buffer as it left it, and
    // not one request of the job's since it took the printer.
    void expect_maintenance_left_alone(const PrinterClaim& maintenance) {
        EXPECT_TRUE(maintenance.owns());
        EXPECT_EQ(static_cast<int>(g_stop_printing), 0);
        EXPECT_TRUE(std::all_of(g_transfer_buffer, g_transfer_buffer + kMaintenanceBytes,
                                [](std::uint8_t b) { return b == kMaintenanceData; }));
        EXPECT_EQ(firmware_->requests_while_maintenance_owns(), 0);
    }

    static constexpr std::size_t kMaintenanceBytes = 4096;
    static constexpr std::uint8_t kMaintenanceData = 0xA5;
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

// The printer reports it stopped at the first command of each kind a job sends; maintenance
// takes the printer in the pause that follows. From then on the job sends nothing, neither a
// set-up command after the one that was answered with the stop nor the end-of-job wait's
// status reads, and nothing of it sets the stop flag again.
TEST_F(JobOwnershipTest, AJobStoppedAtAnyCommandLeavesThePrinterToMaintenance) {
    fresh_firmware();
    print(queue_job(small_job()));
    std::vector<std::uint8_t> kinds;
    for (const std::uint8_t code : codes()) {
        if (std::find(kinds.begin(), kinds.end(), code) == kinds.end()) {
            kinds.push_back(code);
        }
    }
    ASSERT_GE(kinds.size(), 15u);
    for (const std::uint8_t code : kinds) {
        SCOPED_TRACE(int{code});
        fresh_firmware();
        firmware_->answer_at(code, 1, STATUS_ABORTED);
        const std::string path = queue_job(small_job());
        PrinterClaim maintenance;
        if (print_while_maintenance_waits(path, maintenance)) {
            expect_maintenance_left_alone(maintenance);
        }
        EXPECT_EQ(firmware_->unowned_requests(), 0);
        firmware_->set_maintenance_owns(false);
        maintenance.give_back();
        EXPECT_EQ(g_printer_idle, 1);
        window_.printing().delete_all_items();
        window_.jobs().delete_all_items();
    }
}

// A band piece is lost with the connection and, once the printer is back, it reports it
// stopped: the job ends in that band, whether it is an emboss pass with more passes of the
// band to come or a tail band before the end-of-job wait, and maintenance that took the
// printer in the pause keeps it undisturbed: no piece sent again, no pass packed into its
// transfer buffer, no status read.
TEST_F(JobOwnershipTest, AStopAfterALostBandPieceLeavesThePrinterToMaintenance) {
    fresh_firmware();
    print(queue_job(small_job()));
    // One piece a pass: the band loop's, then the tail's.
    const int band_loop_pieces = firmware_->state().passes_started - static_cast<int>(g_tail_bands);
    ASSERT_GT(g_tail_bands, 0u);
    struct Case {
        const char* name;
        std::uint8_t ink_mode;
        const char* emboss;
        int lost_piece;
    };
    const Case cases[] = {
        {"the first emboss pass of the first band", 2, "Small", 1},
        {"the first tail band", 1, "N/A", band_loop_pieces + 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fresh_firmware();
        firmware_->lose_connection_at_piece(c.lost_piece, 300);
        // The set-up's acknowledgement, then the one after the reconnect.
        firmware_->answer_at(CMD_ACK_REQUEST, 2, STATUS_ABORTED);
        const std::string path =
            queue_job(small_job(300, 720, c.ink_mode), "job.prn", "1", c.emboss);
        PrinterClaim maintenance;
        EXPECT_TRUE(print_while_maintenance_waits(path, maintenance));
        expect_maintenance_left_alone(maintenance);
        EXPECT_EQ(firmware_->unowned_requests(), 0);
        firmware_->set_maintenance_owns(false);
        maintenance.give_back();
        window_.printing().delete_all_items();
        window_.jobs().delete_all_items();
    }
}

// Taken out of printing and sent to printing again while the print loop starts it, behind
// another job, a job waits for its turn: it is not printed ahead of the queue from its new
// row.
TEST_F(JobOwnershipTest, AJobSentToPrintingAgainBehindAnotherWaitsForItsTurn) {
    const std::string first = queue_job(small_job(), "first.prn");
    const std::string second = queue_job(small_job(), "second.prn");
    firmware_->act_at(CMD_CHECK_READY, [&] {
        take_out_of_printing(first);
        // Print, as the operator's button does it.
        const int row = find_row_with_path(window_.jobs(), JobRow::job_path, first);
        window_.jobs().set_item_text(row, JobRow::state, JobState::ready_to_print);
        append_print_row(window_.printing(), read_job_row(window_.jobs(), row));
    });
    print(first);
    EXPECT_EQ(count(codes(), CMD_DIRECTION), 0);
    EXPECT_EQ(window_.column(window_.printing(), PrintRow::job_path),
              (std::vector<std::string>{second, first}));
    EXPECT_EQ(window_.column(window_.printing(), PrintRow::state),
              (std::vector<std::string>(2, std::string(JobState::ready_to_print))));
    EXPECT_EQ(g_printer_idle, 1);
    // The print loop then prints them in their order.
    print_first_row();
    EXPECT_FALSE(platform::exists(second));
    EXPECT_TRUE(platform::exists(first));
    print_first_row();
    EXPECT_FALSE(platform::exists(first));
    EXPECT_EQ(window_.printing().item_count(), 0);
    EXPECT_EQ(boxes_.count(), 0u);
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

// Maintenance asked for while nothing prints is never refused for the heartbeat: the heartbeat
// owns the printer for its command's transfer, not for the pause after it. Tried many times,
// at moments spread over that pause after each heartbeat, where a refusal would fall.
TEST_F(JobOwnershipTest, MaintenanceIsNeverRefusedForTheIdleHeartbeat) {
    // A slow clock: the first try of a pause comes 10 ms of real time after the heartbeat
    // reached the printer, long after its transfer has ended even on a busy machine.
    platform::set_time_scale(4);
    worker_->post(WM_MT_PRINT_LOOP);
    worker_->start();
    int tries = 0;
    int refused = 0;
    EXPECT_TRUE(test_support::run_off_ui_thread([&] {
        const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        for (int beat = 0; beat < 10; ++beat) {
            // Only heartbeats go out while nothing prints.
            const int before = firmware_->commands_received();
            while (firmware_->commands_received() == before) {
                if (std::chrono::steady_clock::now() > give_up) {
                    return;
                }
                std::this_thread::sleep_for(std::chrono::microseconds(100));
            }
            const std::uint32_t sent = firmware_->last_command_tick();
            for (const std::uint32_t after : {40u, 60u, 80u}) {
                while (platform::tick_count() - sent < after) {
                    std::this_thread::sleep_for(std::chrono::microseconds(100));
                }
                PrinterClaim maintenance;
                ++tries;
                refused += maintenance.take() ? 0 : 1;
            }
        }
    }));
    EXPECT_TRUE(test_support::run_off_ui_thread([&] { worker_->stop_and_join(); }));
    EXPECT_EQ(tries, 30);
    EXPECT_EQ(refused, 0) << refused << " of " << tries << " tries refused";
    EXPECT_GE(count(codes(), CMD_IDLE_HEARTBEAT), 10);
    EXPECT_EQ(firmware_->unowned_requests(), 0);
}

}  // namespace
