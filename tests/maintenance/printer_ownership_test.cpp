// Maintenance and the job printer own the printer one at a time: each gives it back once, and
// never after the other took it.

#include <gtest/gtest.h>

#include <QProgressBar>
#include <QWidget>

#include <algorithm>
#include <optional>

#include "engine/monitoring_thread.h"
#include "maintenance/maintenance_common.h"
#include "maintenance/maintenance_progress.h"
#include "maintenance_fixture.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "printer/commands.h"
#include "printer/protocol_state.h"

namespace {

using test_support::MaintenanceTest;
using test_support::Operator;

int count(const std::vector<std::uint8_t>& codes, std::uint8_t code) {
    return static_cast<int>(std::count(codes.begin(), codes.end(), code));
}

bool shows(QWidget& window, const std::string& text) {
    const std::vector<std::string> labels = test_support::label_texts(window);
    return std::find(labels.begin(), labels.end(), text) != labels.end();
}

class PrinterOwnershipTest : public MaintenanceTest {
  protected:
    void start_print_loop() {
        worker_->post(WM_MT_PRINT_LOOP);
        worker_->start();
    }
    void stop_print_loop() {
        EXPECT_TRUE(test_support::run_off_ui_thread([&] { worker_->stop_and_join(); }));
    }
};

// At the end of its count a cleaning or charging gives the printer back; a queued job takes it
// and prints. "Finish" pressed during that job gives nothing back: the job keeps the printer,
// and a nozzle check asked for meanwhile is refused.
TEST_F(PrinterOwnershipTest, AFinishedCountGivesThePrinterBackOnceAndTheJobKeepsIt) {
    struct Case {
        const char* name;
        double time_scale;
        Operator::Step open;
        const char* progress_caption;
        const int* ticks;
    };
    const Case cases[] = {
        {"head cleaning",
         100,
         {"Maintenance", "Head Cleaning"},
         "Head Cleaning",
         &g_head_cleaning_ticks},
        {"ink charging",
         400,
         {"Maintenance", "Start",
          [](QWidget& window) {
              test_support::pick_combo_item(window, 1);
              return true;
          }},
         "Ink charging for install the printer",
         &g_ink_charging_ticks},
    };
    bool loop_started = false;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        platform::set_time_scale(c.time_scale);
        std::string path;
        const std::size_t boxes_before = boxes_.count();
        const int checks_before = count(codes(), CMD_PASS_UNI);
        const int passes_before = firmware_->state().passes_started;
        int idle_at_finish = -1;
        int idle_at_nozzle_check = -1;
        run_maintenance({
            c.open,
            // The job comes while the operation holds the printer.
            {c.progress_caption, "Start",
             [&](QWidget&) {
                 path = queue_job(test_support::small_job(6000));
                 if (!loop_started) {
                     loop_started = true;
                     start_print_loop();
                 }
                 return true;
             }},
            // The count is over and the job that took the printer prints.
            {c.progress_caption, "Finish",
             [&](QWidget& window) {
                 if (*c.ticks != 0 || !shows(window, "100%") ||
                     firmware_->state().passes_started == passes_before ||
                     window_.printing().item_count() == 0) {
                     return false;
                 }
                 idle_at_finish = g_printer_idle;
                 return true;
             }},
            {"Maintenance", "Nozzle Check",
             [&](QWidget&) {
                 idle_at_nozzle_check = g_printer_idle;
                 return true;
             }},
            {"Maintenance", "Close"},
        });
        EXPECT_EQ(idle_at_finish, 0);
        EXPECT_EQ(idle_at_nozzle_check, 0);
        EXPECT_EQ(boxes_.texts().size(), boxes_before + 1);
        EXPECT_EQ(boxes_.texts().back(), maintenance::kPrinterBusyText);
        platform::set_time_scale(25);
        // Printed to its end: moved into the history.
        ASSERT_TRUE(
            test_support::pump_events_until([&] { return !platform::exists(path); }, 60000));
        EXPECT_EQ(count(codes(), CMD_PASS_UNI), checks_before);
        EXPECT_EQ(firmware_->unowned_requests(), 0);
    }
    stop_print_loop();
    EXPECT_EQ(g_printer_idle, 1);
}

// A job the printer stopped gives the printer back in its abort tail and then waits 5 s. A
// maintenance operation the operator starts in those seconds keeps the printer: neither the
// stopped job's end nor the print loop's next try takes it away, and its cleared stop flag stays
// clear.
TEST_F(PrinterOwnershipTest, MaintenanceStartedWhileAStoppedJobPausesKeepsThePrinter) {
    struct Case {
        const char* name;
        std::uint8_t stops;
        bool printed_afterwards;
    };
    const Case cases[] = {
        {"stopped in the set-up", CMD_INK_MODE, true},
        {"stopped at the end of the job", CMD_END_OF_PRINT, false},
    };
    start_print_loop();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = queue_job(test_support::small_job());
        firmware_->answer_at(c.stops, count(codes(), c.stops) + 1, STATUS_ABORTED);
        const int stops_before = count(codes(), c.stops);
        std::optional<std::uint32_t> held_since;
        int checks_while_held = -1;
        int idle_while_held = -1;
        int stop_flag_while_held = -1;
        run_maintenance({
            // The printer reported the stop, and the job's abort tail gave the printer back.
            {"Maintenance", "Head Cleaning",
             [&](QWidget&) {
                 if (count(codes(), c.stops) == stops_before || g_printer_idle != 1) {
                     return false;
                 }
                 held_since = platform::tick_count();
                 checks_while_held = count(codes(), CMD_CHECK_READY);
                 return true;
             }},
            // The operator reads the confirmation past the pause, the job's end and two turns
            // of the print loop.
            {"Head Cleaning", "Cancel",
             [&](QWidget&) {
                 if (platform::tick_count() - *held_since < 12000) {
                     return false;
                 }
                 checks_while_held = count(codes(), CMD_CHECK_READY) - checks_while_held;
                 idle_while_held = g_printer_idle;
                 stop_flag_while_held = g_stop_printing;
                 return true;
             }},
            {"Maintenance", "Close"},
        });
        EXPECT_EQ(idle_while_held, 0);
        EXPECT_EQ(checks_while_held, 0);
        EXPECT_EQ(stop_flag_while_held, 0);
        EXPECT_EQ(boxes_.count(), 0u);
        if (c.printed_afterwards) {
            ASSERT_TRUE(
                test_support::pump_events_until([&] { return !platform::exists(path); }, 60000));
        } else {
            EXPECT_EQ(window_.printing().item_count(), 0);
            EXPECT_EQ(job_cell(JobRow::state), JobState::wait);
            window_.jobs().delete_all_items();
        }
        EXPECT_EQ(firmware_->unowned_requests(), 0);
    }
    stop_print_loop();
    EXPECT_EQ(g_printer_idle, 1);
}

}  // namespace
