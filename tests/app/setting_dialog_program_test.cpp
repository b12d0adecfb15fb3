// The Setting dialog on the running program: the main window started on an installed
// workstation with every worker at its role and the simulated printer, the dialog opened over
// it as its Setting command does.

#include <gtest/gtest.h>

#include <QTimer>

#include <filesystem>
#include <memory>
#include <string>

#include "app/velquorin_dlg.h"
#include "config/program_globals.h"
#include "engine/job_list_rows.h"
#include "engine/monitoring_thread.h"
#include "jobs/job_analyser.h"
#include "jobs/job_intake_roles.h"
#include "message_box_recorder.h"
#include "platform/clock.h"
#include "platform/ui/controls.h"
#include "platform/ui/list_ctrl.h"
#include "platform/ui/screen.h"
#include "prn_builder.h"
#include "qt_application.h"
#include "settings/setting_dialog.h"
#include "usb/driver/sim/bus.h"
#include "usb/driver/sim/firmware.h"
#include "usb/driver_registry.h"
#include "workstation_fixture.h"

namespace {

namespace fs = std::filesystem;
namespace ui = platform::ui;

constexpr ui::ScreenMetrics kScreen{1920, ui::Rect{0, 0, 1920, 1040}, 1080};
constexpr int kEndedByTest = 77;
constexpr int kPatienceMs = 60000;  // real time; only reached when something is wrong

class SettingDialogInTheProgram : public ::testing::Test {
  protected:
    SettingDialogInTheProgram() {
        ui::set_screen_metrics(kScreen);
        previous_scale_ = platform::time_scale();
        platform::set_time_scale(50);
        previous_driver_ = usb::set_driver(&bus_);
        // A printer that answers as the real one does, as the program's own simulated one.
        firmware_->attach(bus_.add_printer(usb::sim::PrinterSpec::usb2(), firmware_).get());
        install_job_intake_roles();
    }
    ~SettingDialogInTheProgram() override {
        for (const std::uint32_t role : {WM_MT_WATCH_HOT_FOLDER, WM_MT_SYNC_JOB_QUEUE,
                                         WM_MT_UPDATE_JOB_INFO, WM_MT_SCAN_VIRTUAL_HOT_FOLDER}) {
            Monitoring_thread::set_role_body(role, {});
        }
        usb::set_driver(previous_driver_);
        platform::set_time_scale(previous_scale_);
        ui::set_screen_metrics(std::nullopt);
    }

    // A small job, written beside the job folder and moved in whole.
    fs::path put_job(const std::string& name) const {
        const fs::path job = station_.job_folder() / name;
        test_support::PrnBuilder(284, 144)
            .width_dots(1134)
            .random_dots(7, 0.2, 0x0F)
            .write(station_.system_drive() / name);
        fs::rename(station_.system_drive() / name, job);
        return job;
    }
    // The job's state in the job queue; empty while it has no row.
    std::string job_state(const fs::path& job) {
        ui::ListCtrl& jobs = *dialog_.list(IDC_JOB_QUEUE_LIST);
        const int row = find_row_with_path(jobs, JobRow::job_path, job.string());
        return row < 0 ? std::string() : jobs.item_text(row, JobRow::state);
    }
    // The first printing row's state and progress; empty without one.
    std::string print_state() {
        ui::ListCtrl& printing = *dialog_.list(IDC_PRINTING_LIST);
        return printing.item_count() == 0 ? std::string()
                                          : printing.item_text(0, PrintRow::state) + " " +
                                                printing.item_text(0, PrintRow::progress);
    }
    // True once a file of that name has been filed in the printed-jobs history.
    bool printed(const std::string& name) const {
        for (const auto& entry : fs::recursive_directory_iterator(station_.printed_folder())) {
            if (entry.path().filename() == name) {
                return true;
            }
        }
        return false;
    }

    test_support::QtApplication qt_;
    test_support::Workstation station_;
    test_support::MessageBoxRecorder boxes_;
    usb::sim::Bus bus_;
    std::shared_ptr<usb::sim::Firmware> firmware_ = std::make_shared<usb::sim::Firmware>();
    CvelquorinDlg dialog_;

  private:
    double previous_scale_ = 1;
    usb::Driver* previous_driver_ = nullptr;
};

TEST_F(SettingDialogInTheProgram, TurningAutomaticPrintingOnMakesTheNextJobPrintByItself) {
    // Installed with automatic printing off; printed files are kept in the history.
    station_.write_settings("1", "0");
    const std::uint32_t started = platform::tick_count();
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        // However the look ends, the window's run ends with it.
        struct EndRun {
            CvelquorinDlg& window;
            ~EndRun() { window.end_dialog(kEndedByTest); }
        } end_run{dialog_};
        // Past the analyser's first 20000 ms, a job waits in the queue for the operator.
        ASSERT_TRUE(test_support::pump_events_until(
            [&] { return platform::tick_count() - started > kAutoSendDelayMs + 2000; },
            kPatienceMs));
        const fs::path waiting = put_job("waiting.prn");
        ASSERT_TRUE(test_support::pump_events_until([&] { return job_state(waiting) == "Wait"; },
                                                    kPatienceMs));

        // The operator turns automatic printing on.
        bool saved = false;
        QTimer::singleShot(0, [&] {
            auto* setting = dynamic_cast<allsetting*>(ui::Dialog::innermost_modal());
            ASSERT_NE(setting, nullptr);
            setting->control<ui::ComboBox>(IDC_SETTING_WHEN_JOB_COMING)->set_current(0);
            setting->control<ui::Button>(IDC_SETTING_SAVE)->click();
            saved = !setting->is_visible();
        });
        open_setting_dialog(&dialog_);
        EXPECT_TRUE(saved);
        EXPECT_EQ(boxes_.texts(), std::vector<std::string>{"Save succeed!"});
        EXPECT_EQ(g_print_job_set.load(), 0);
        // The analyser takes the new choice up at its next cycle, before the next job comes.
        const std::uint32_t saved_at = platform::tick_count();
        ASSERT_TRUE(test_support::pump_events_until(
            [&] { return platform::tick_count() - saved_at > 500; }, kPatienceMs));

        // The next job goes to printing and is printed without the operator or a restart.
        const fs::path next = put_job("next.prn");
        EXPECT_TRUE(test_support::pump_events_until(
            [&] { return printed("next.prn") && !fs::exists(next); }, kPatienceMs))
            << "the next job was not printed; its state: " << job_state(next)
            << "; printing: " << print_state();
        // The job that came before stays where the operator left it.
        EXPECT_EQ(job_state(waiting), "Wait");
        EXPECT_TRUE(fs::exists(waiting));
    });
    timer.start(0);
    EXPECT_EQ(dialog_.do_modal(), kEndedByTest);
}

}  // namespace
