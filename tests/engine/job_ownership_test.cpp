// A job owns the printer from its claim to its one give-back and talks to it only meanwhile.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "engine/printed_jobs_folder.h"
#include "platform/files.h"
#include "platform/ui/message_box.h"
#include "print_job_fixture.h"
#include "printer/commands.h"
#include "printer/prn_file.h"
#include "printer/protocol_state.h"
#include "settings/program_globals.h"

namespace {

using test_support::PrintJobTest;
using test_support::small_job;

int count(const std::vector<std::uint8_t>& codes, std::uint8_t code) {
    return static_cast<int>(std::count(codes.begin(), codes.end(), code));
}

class JobOwnershipTest : public PrintJobTest {
  protected:
    // Prints `path` on a thread of its own, as the print loop does with the path it read.
    void print(const std::string& path) {
        ASSERT_TRUE(test_support::run_off_ui_thread([&] { worker_->PrintJob(path); }));
    }
};

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
