#include "engine/monitoring_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>
#include <type_traits>

#include "message_box_recorder.h"
#include "platform/clock.h"
#include "printer/commands.h"
#include "printer/printer_claim.h"
#include "printer/protocol_state.h"
#include "test_main_window.h"
#include "usb/driver/sim/bus.h"
#include "usb/driver/sim/firmware.h"

namespace {

using Frame = std::vector<std::uint8_t>;

class MonitoringThreadTest : public ::testing::Test {
  protected:
    void SetUp() override {
        previous_scale_ = platform::time_scale();
        platform::set_time_scale(50);
        g_printer_idle = 1;
    }
    void TearDown() override {
        platform::set_time_scale(previous_scale_);
        g_printer_idle = 1;
    }

    int heartbeats() const {
        int n = 0;
        for (const Frame& f : firmware_->state().commands) {
            n += f == Frame{kFrameStart, CMD_IDLE_HEARTBEAT} ? 1 : 0;
        }
        return n;
    }

    test_support::MessageBoxRecorder boxes_;
    test_support::TestMainWindow window_;
    usb::sim::Bus bus_;
    std::shared_ptr<usb::sim::Firmware> firmware_ = std::make_shared<usb::sim::Firmware>();

  private:
    double previous_scale_ = 1;
};

TEST_F(MonitoringThreadTest, RoleMessagesRunTheirRegisteredBodiesOnTheWorker) {
    const std::uint32_t roles[] = {WM_MT_WATCH_HOT_FOLDER, WM_MT_SYNC_JOB_QUEUE,
                                   WM_MT_UPDATE_JOB_INFO, WM_MT_SCAN_VIRTUAL_HOT_FOLDER,
                                   WM_MT_ESTIMATE_PRINT_TIME};
    EXPECT_EQ(WM_MT_PRINT_LOOP, 0x46Cu);
    for (const std::uint32_t role : roles) {
        std::atomic<bool> ran{false};
        std::thread::id where;
        Monitoring_thread::set_role_body(role, [&](Monitoring_thread& t) {
            where = std::this_thread::get_id();
            EXPECT_TRUE(t.running_on_this_thread());
            ran = true;
        });
        Monitoring_thread worker(&bus_);
        worker.post(role);  // before start: the queue exists from construction
        worker.start();
        ASSERT_TRUE(test_support::pump_events_until([&] { return ran.load(); }, 5000)) << role;
        EXPECT_NE(where, std::this_thread::get_id());
        Monitoring_thread::set_role_body(role, {});
    }
}

// The protocol's transfers go through the thread's own endpoint members, taken from its device
// before each transfer, so a device opened again is followed.
TEST_F(MonitoringThreadTest, TransfersGoThroughTheThreadsEndpointMembers) {
    static_assert(
        std::is_same_v<decltype(Monitoring_thread::control_endpoint), CUsbControlEndPoint*>);
    static_assert(std::is_same_v<decltype(Monitoring_thread::bulk_endpoint), CUsbBulkEndPoint*>);
    auto printer = bus_.add_printer(usb::sim::PrinterSpec::usb2(), firmware_);
    Monitoring_thread worker(&bus_);
    EXPECT_EQ(worker.control_endpoint, nullptr);
    EXPECT_EQ(worker.bulk_endpoint, nullptr);
    worker.ReadStatus();
    ASSERT_NE(worker.control_endpoint, nullptr);
    EXPECT_EQ(worker.control_endpoint, worker.usb_device->ControlEndPt);
    std::uint8_t band[360] = {};
    EXPECT_EQ(worker.BulkOutSend(band, sizeof band), 1);
    ASSERT_NE(worker.bulk_endpoint, nullptr);
    EXPECT_EQ(worker.bulk_endpoint, worker.usb_device->BulkOutEndPt);
    EXPECT_EQ(firmware_->state().bulk_bytes, sizeof band);

    printer->unplug();
    printer->replug();
    ASSERT_TRUE(worker.usb_device->Open(0));
    g_command_buffer[0] = kFrameStart;
    g_command_buffer[1] = CMD_IDLE_HEARTBEAT;
    g_command_length = 2;
    EXPECT_EQ(worker.SendCommand(), 1);
    EXPECT_EQ(worker.control_endpoint, worker.usb_device->ControlEndPt);
    EXPECT_EQ(heartbeats(), 1);
}

TEST_F(MonitoringThreadTest, PrintLoopWithoutPrinterWarnsOnceThenFollowsThePlug) {
    Monitoring_thread loop(&bus_);
    loop.post(WM_MT_PRINT_LOOP);
    loop.start();
    ASSERT_TRUE(test_support::pump_events_until([&] { return !window_.bitmaps().empty(); }));
    EXPECT_EQ(boxes_.texts(),
              std::vector<std::string>{"Make sure the printer is not connected to your computer!"});
    EXPECT_EQ(boxes_.boxes()[0].icon, platform::ui::Icon::Warning);
    EXPECT_EQ(window_.bitmaps()[0], engine::IDB_PRINTER_NOT_CONNECTED);

    auto printer = bus_.add_printer(usb::sim::PrinterSpec::usb2(), firmware_);
    ASSERT_TRUE(test_support::pump_events_until([&] { return heartbeats() >= 2; }));
    EXPECT_EQ(window_.bitmaps().back(), engine::IDB_PRINTER_CONNECTED);

    // Maintenance holds the printer: neither reopen nor heartbeat. It takes it as maintenance
    // does, between two beats.
    PrinterClaim maintenance;
    ASSERT_TRUE(test_support::pump_events_until([&] { return maintenance.take(); }));
    test_support::pump_events_until([] { return false; }, 120);  // a turn already under way
    const int before = heartbeats();
    const std::size_t pictures = window_.bitmaps().size();
    test_support::pump_events_until([] { return false; }, 300);  // 15 s of program time
    EXPECT_EQ(heartbeats(), before);
    EXPECT_EQ(window_.bitmaps().size(), pictures);

    maintenance.give_back();
    printer->unplug();
    ASSERT_TRUE(test_support::pump_events_until(
        [&] { return window_.bitmaps().back() == engine::IDB_PRINTER_NOT_CONNECTED; }));
    EXPECT_EQ(boxes_.count(), 1u);
    // The loop reads the list through the UI thread: stop it while the events are served.
    EXPECT_TRUE(test_support::run_off_ui_thread([&] { loop.stop_and_join(); }));
}

// The loop's pace, on program time: an idle turn every 2.5 s (one heartbeat each), and a
// printing row that cannot start tried again every 2 s.
TEST_F(MonitoringThreadTest, PrintLoopPacesItsTurns) {
    // A slower clock, so that the work of a turn adds little program time to its pause.
    platform::set_time_scale(10);
    auto printer = bus_.add_printer(usb::sim::PrinterSpec::usb2(), firmware_);
    Monitoring_thread loop(&bus_);
    loop.post(WM_MT_PRINT_LOOP);
    loop.start();
    // Turns counted over about 20 s of program time; `interval` must fit the count.
    const auto expect_pace = [&](const std::function<int()>& turns, std::uint32_t interval) {
        ASSERT_TRUE(test_support::pump_events_until([&] { return turns() >= 1; }));
        const std::uint32_t start = platform::tick_count();
        const int before = turns();
        test_support::pump_events_until([] { return false; }, 2000);
        const std::uint32_t elapsed = platform::tick_count() - start;
        const std::uint32_t counted = static_cast<std::uint32_t>(turns() - before) * interval;
        EXPECT_LE(counted, elapsed + interval);
        EXPECT_GE(counted * 2, elapsed);
    };
    expect_pace([&] { return heartbeats(); }, 2500);
    window_.add_job("/nonexistent/job.prn", "1", "N/A", "BiDirection");
    expect_pace([&] { return static_cast<int>(boxes_.count()); }, 2000);
    EXPECT_EQ(boxes_.texts().back(), "Print file can't read.");
    EXPECT_TRUE(test_support::run_off_ui_thread([&] { loop.stop_and_join(); }));
}

}  // namespace
