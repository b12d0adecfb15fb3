#include "main_window_fixture.h"

#include <QTimer>

#include "platform/clock.h"
#include "platform/ui/screen.h"
#include "usb/driver_registry.h"

namespace test_support {
namespace {

namespace ui = platform::ui;

constexpr ui::ScreenMetrics kScreen{1920, ui::Rect{0, 0, 1920, 1040}, 1080, 1920};

// The roles whose loops live above the engine, by the worker that runs each.
constexpr std::uint32_t kRecordedRoles[] = {WM_MT_WATCH_HOT_FOLDER, WM_MT_SYNC_JOB_QUEUE,
                                            WM_MT_UPDATE_JOB_INFO, WM_MT_ESTIMATE_PRINT_TIME,
                                            WM_MT_SCAN_VIRTUAL_HOT_FOLDER};

}  // namespace

MainWindowTest::MainWindowTest() {
    ui::set_screen_metrics(kScreen);
    previous_scale_ = platform::time_scale();
    platform::set_time_scale(50);
    previous_driver_ = usb::set_driver(&bus_);
    printer_ = bus_.add_printer();
    for (const std::uint32_t role : kRecordedRoles) {
        wait_in_role(role);
    }
}

MainWindowTest::~MainWindowTest() {
    for (const std::uint32_t role : kRecordedRoles) {
        Monitoring_thread::set_role_body(role, {});
    }
    Monitoring_thread::set_role_body(WM_MT_PRINT_LOOP, {});
    usb::set_driver(previous_driver_);
    platform::set_time_scale(previous_scale_);
    ui::set_screen_metrics(std::nullopt);
}

void MainWindowTest::wait_in_role(std::uint32_t role) {
    Monitoring_thread::set_role_body(role, [this, role](Monitoring_thread& worker) {
        {
            const std::lock_guard lock(roles_mutex_);
            roles_[role] = &worker;
        }
        while (!worker.stop_requested()) {
            platform::sleep_ms(100);
        }
    });
}

void MainWindowTest::stand_in_for_print_loop() {
    wait_in_role(WM_MT_PRINT_LOOP);
}

Monitoring_thread* MainWindowTest::role_worker(std::uint32_t role) {
    const std::lock_guard lock(roles_mutex_);
    const auto found = roles_.find(role);
    return found == roles_.end() ? nullptr : found->second;
}

int MainWindowTest::run(const std::function<void(CvelquorinDlg&)>& inspect) {
    // A timer of the test's own: one that never fired goes with it.
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        inspect(dialog);
        dialog.end_dialog(kEndedByTest);
    });
    timer.start(0);
    return dialog.do_modal();
}

}  // namespace test_support
