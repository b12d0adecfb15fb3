#include <gtest/gtest.h>

#include <QProgressBar>
#include <QWidget>

#include <algorithm>
#include <optional>

#include "dialog_look.h"

#include "engine/monitoring_thread.h"
#include "maintenance/maintenance_common.h"
#include "maintenance/print_maintenance.h"
#include "maintenance_fixture.h"
#include "platform/clock.h"
#include "platform/ui/message_box.h"
#include "printer/commands.h"
#include "printer/protocol_state.h"

namespace {

using platform::ui::Answer;
using platform::ui::Icon;
using test_support::MaintenanceTest;
using test_support::Operator;

// The Maintenance dialog's "Start" of ink charging in a mode of its combo.
Operator::Step ink_charging(int mode) {
    return {"Maintenance", "Start", [mode](QWidget& window) {
                test_support::pick_combo_item(window, mode);
                return true;
            }};
}

const Operator::Step kClose{"Maintenance", "Close"};

// A printer whose firmware never completes the transfer of one command: its send times out.
class StallingFirmware : public usb::sim::Firmware {
  public:
    explicit StallingFirmware(std::uint8_t code) : code_(code) {}
    usb::sim::ClassAnswer class_request(const usb::sim::SetupPacket& setup,
                                        std::span<std::uint8_t> data) override {
        if (!setup.device_to_host() && data.size() > 1 && data[1] == code_) {
            return {usb::sim::ClassReply::NoAnswer, 0};
        }
        return Firmware::class_request(setup, data);
    }

  private:
    std::uint8_t code_;
};

// Four framed areas without captions, each round one operation's picture and button; no
// two areas show the same picture.
TEST_F(MaintenanceTest, FourFramedAreasEachWithAPictureOfItsOwn) {
    printmaintenance dialog;
    const auto frames = test_support::dialog_frames(dialog);
    ASSERT_EQ(frames.size(), 4u);
    const auto pictures = test_support::dialog_pictures(dialog);
    std::vector<QImage> seen;
    for (const int button : {IDC_NOZZLE_CHECK_BUTTON, IDC_INK_CHARGING_BUTTON,
                             IDC_HEAD_CLEANING_BUTTON, IDC_RESTART_SERVICE_BUTTON}) {
        SCOPED_TRACE(button);
        const auto frame =
            std::find_if(frames.begin(), frames.end(), [&](const test_support::DialogFrame& f) {
                return test_support::encloses(f.rect, dialog.item(button)->rect());
            });
        ASSERT_NE(frame, frames.end());
        EXPECT_EQ(frame->title, "");
        std::vector<QImage> inside;
        for (const auto& picture : pictures) {
            if (test_support::encloses(frame->rect, picture.rect)) {
                inside.push_back(picture.image);
            }
        }
        ASSERT_EQ(inside.size(), 1u);
        EXPECT_EQ(std::count(seen.begin(), seen.end(), inside[0]), 0);
        seen.push_back(inside[0]);
    }
}

TEST_F(MaintenanceTest, EveryPrinterOperationIsRefusedWhileAJobPrints) {
    g_printer_idle = 0;  // a job holds the printer
    run_maintenance({{"Maintenance", "Nozzle Check"},
                     {"Maintenance", "Head Cleaning"},
                     ink_charging(1),
                     ink_charging(2),
                     ink_charging(0),
                     kClose});
    const std::string busy(maintenance::kPrinterBusyText);
    EXPECT_EQ(boxes_.texts(),
              (std::vector<std::string>{busy, busy, busy, busy, "Please select the pumping mode"}));
    EXPECT_EQ(boxes_.boxes()[0].icon, Icon::Warning);
    EXPECT_TRUE(codes().empty());
    EXPECT_EQ(g_printer_idle, 0);  // still the job's
}

TEST_F(MaintenanceTest, NoPrinterGivesConnectErrorAndFreesThePrinter) {
    printer_->unplug();
    const Operator::Step ok{"Connect error", "OK"};
    const auto labels = run_maintenance({{"Maintenance", "Nozzle Check"},
                                         ok,
                                         {"Maintenance", "Head Cleaning"},
                                         ok,
                                         ink_charging(1),
                                         ok,
                                         ink_charging(2),
                                         ok,
                                         kClose});
    EXPECT_EQ(boxes_.count(), 0u);
    EXPECT_EQ(g_printer_idle, 1);
    const auto& warning = labels[1];
    EXPECT_NE(std::find(warning.begin(), warning.end(),
                        "Make sure the printer is not connected to your computer!"),
              warning.end());
}

TEST_F(MaintenanceTest, AStartCommandThatDidNotGoOutStartsNothing) {
    const struct {
        std::uint8_t code;
        std::vector<Operator::Step> steps;
    } cases[] = {
        {CMD_HEAD_CLEANING, {{"Maintenance", "Head Cleaning"}, {"Head Cleaning", "Start"}}},
        {CMD_INK_CHARGING_INSTALL,
         {ink_charging(1), {"Ink charging for install the printer", "Start"}}},
        {CMD_INK_CHARGING_MAINTENANCE, {ink_charging(2)}},
    };
    for (const auto& c : cases) {
        auto stalling = std::make_shared<StallingFirmware>(c.code);
        printer_->set_model(stalling);
        test_support::MessageBoxRecorder boxes(Answer::Yes);
        auto steps = c.steps;
        steps.push_back(kClose);
        run_maintenance(steps);
        const std::string failed(maintenance::kBusyOrFailedText);
        EXPECT_EQ(boxes.texts().back(), failed) << int{c.code};
        EXPECT_EQ(g_printer_idle, 1);
        EXPECT_EQ(stalling->state().maintenance, 0);
    }
}

TEST_F(MaintenanceTest, InkGuidingAsksFirstThenChecksThePrinterAndStarts) {
    test_support::MessageBoxRecorder boxes(Answer::Yes);
    boxes.queue_answer(Answer::No);
    run_maintenance({ink_charging(2), ink_charging(2), kClose});
    ASSERT_EQ(boxes.count(), 2u);
    EXPECT_EQ(boxes.boxes()[0].icon, Icon::Question);
    EXPECT_EQ(boxes.boxes()[0].buttons, platform::ui::Buttons::YesNo);
    // No sent nothing; Yes asked for the printer's acknowledgement, then started.
    EXPECT_EQ(codes(), (std::vector<std::uint8_t>{CMD_ACK_REQUEST, CMD_INK_CHARGING_MAINTENANCE}));
    EXPECT_EQ(firmware_->state().maintenance, CMD_INK_CHARGING_MAINTENANCE);
    EXPECT_EQ(g_printer_idle, 1);
}

TEST_F(MaintenanceTest, AnEarlyFinishFreesTheWorkstationButThePrinterStaysBusy) {
    const auto counting = [](QWidget& window) {
        return window.findChild<QProgressBar*>()->isVisible();
    };
    int idle_while_counting = -1;
    run_maintenance({ink_charging(1),
                     {"Ink charging for install the printer", "Start"},
                     {"Ink charging for install the printer", "Finish",
                      [&](QWidget& window) {
                          idle_while_counting = g_printer_idle;
                          return counting(window);
                      }},
                     {"Maintenance", "Head Cleaning"},
                     kClose});
    EXPECT_EQ(idle_while_counting, 0);
    EXPECT_EQ(frames(CMD_INK_CHARGING_INSTALL).size(), 1u);
    // The printer still charges: it does not answer ready to the next operation.
    EXPECT_EQ(boxes_.texts(),
              std::vector<std::string>{std::string(maintenance::kBusyOrFailedText)});
    EXPECT_TRUE(frames(CMD_HEAD_CLEANING).empty());
    EXPECT_EQ(g_printer_idle, 1);
}

TEST_F(MaintenanceTest, AJobWaitingWhileMaintenanceRunsStartsAfterIt) {
    queue_job(test_support::small_job());
    std::size_t commands_while_held = 0;
    bool loop_started = false;
    std::optional<std::uint32_t> feedback_since;
    run_maintenance({{"Maintenance", "Nozzle Check"},
                     {"Nozzle Check", "Print",
                      [&](QWidget&) {
                          // The maintenance holds the printer before the print loop starts.
                          if (!loop_started) {
                              loop_started = true;
                              worker_->post(WM_MT_PRINT_LOOP);
                              worker_->start();
                          }
                          return true;
                      }},
                     {"Nozzle Check", "Close",
                      [&](QWidget&) {
                          // Two turns of the loop while the operator reads the feedback.
                          if (!feedback_since) {
                              feedback_since = platform::tick_count();
                          }
                          if (platform::tick_count() - *feedback_since < 6000) {
                              return false;
                          }
                          commands_while_held = codes().size();
                          return true;
                      }},
                     kClose});
    const auto all_before = codes();
    EXPECT_EQ(
        std::count(all_before.begin(), all_before.begin() + commands_while_held, CMD_CHECK_READY),
        0);
    ASSERT_TRUE(test_support::pump_events_until(
        [&] { return window_.printing().item_count() == 0; }, 60000));
    const auto all = codes();
    const auto end_of_check = std::find(all.begin(), all.end(), CMD_END_OF_PRINT);
    const auto job_start = std::find(all.begin(), all.end(), CMD_CHECK_READY);
    ASSERT_NE(job_start, all.end());
    EXPECT_LT(end_of_check, job_start);
    EXPECT_EQ(std::count(all.begin(), all.end(), CMD_END_OF_PRINT), 2);
    EXPECT_TRUE(test_support::run_off_ui_thread([&] { worker_->stop_and_join(); }));
}

}  // namespace
