#pragma once

#include <gtest/gtest.h>

#include <QTimer>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

#include "app/velquorin_dlg.h"
#include "engine/monitoring_thread.h"
#include "message_box_recorder.h"
#include "qt_application.h"
#include "usb/driver/sim/bus.h"
#include "workstation_fixture.h"

namespace test_support {

// Runs steps once inside the dialog's next modal run, once ready() holds, as the operator's
// clicks would come.
class WhenOpen {
  public:
    WhenOpen(
        platform::ui::Dialog& dialog, std::function<void()> steps,
        std::function<bool()> ready = [] { return true; }) {
        QObject::connect(
            &timer_, &QTimer::timeout,
            [this, &dialog, steps = std::move(steps), ready = std::move(ready)] {
                if (!done_ && dialog.in_modal_run() && dialog.is_visible() && ready()) {
                    done_ = true;
                    timer_.stop();
                    steps();
                }
            });
        timer_.start(1);
    }
    bool done() const { return done_; }

  private:
    QTimer timer_;
    bool done_ = false;
};

// The real main window on an installed workstation, offscreen, at 50 times the speed, with a
// simulated printer: the roles whose loops live above the engine only wait, so the lists
// change only as the test changes them; the print loop is the engine's own unless a test
// stands in for it with stand_in_for_print_loop().
class MainWindowTest : public ::testing::Test {
  public:
    static constexpr int kEndedByTest = 77;

  protected:
    MainWindowTest();
    ~MainWindowTest() override;

    // The worker that runs a role; null while the role has not begun.
    Monitoring_thread* role_worker(std::uint32_t role);
    // The print loop only waits too: nothing in the printing list is printed.
    void stand_in_for_print_loop();

    // Runs the window; inspect() runs inside its modal run once the start-up is done, and the
    // test then ends the run. Returns the run's end code.
    int run(const std::function<void(CvelquorinDlg&)>& inspect);

    QtApplication qt;
    Workstation station;
    MessageBoxRecorder boxes;
    usb::sim::Bus bus_;
    // The printer on the bus, plugged in.
    std::shared_ptr<usb::sim::Printer> printer_;
    std::mutex roles_mutex_;
    std::map<std::uint32_t, Monitoring_thread*> roles_;
    CvelquorinDlg dialog;

  private:
    void wait_in_role(std::uint32_t role);

    double previous_scale_ = 1;
    usb::Driver* previous_driver_ = nullptr;
};

}  // namespace test_support
