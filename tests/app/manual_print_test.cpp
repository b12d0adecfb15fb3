// The whole program by hand, with automatic printing off: the real main window with its real
// job intake and print loop, on the simulated printer's firmware. A job in the job folder at
// start-up is found, analysed, selected, set to two copies, printed with the table sent back
// to the print position after each copy, and the printer's record shows it.

#include <gtest/gtest.h>

#include <QTimer>

#include <algorithm>
#include <filesystem>
#include <memory>

#include "app/after_print_chooser.h"
#include "app/import_wait_dialog.h"
#include "app/job_lists.h"
#include "app/job_queue_list.h"
#include "app/main_window_ids.h"
#include "app/printing_list.h"
#include "jobs/job_intake_roles.h"
#include "jobs/job_print_settings.h"
#include "main_window_fixture.h"
#include "platform/ui/controls.h"
#include "platform/ui/menu.h"
#include "printer/commands.h"
#include "prn_builder.h"
#include "usb/driver/sim/bus.h"
#include "usb/driver/sim/firmware.h"

namespace {

namespace fs = std::filesystem;
namespace ui = platform::ui;

constexpr unsigned kSF = ui::kItemSelected | ui::kItemFocused;

using test_support::WhenOpen;

class ManualPrint : public test_support::MainWindowTest {
  protected:
    ManualPrint() {
        printer_->set_model(firmware_);
        firmware_->attach(printer_.get());
        install_job_intake_roles();
    }
    ~ManualPrint() override { ui::set_menu_responder({}); }

    int frames_with_code(std::uint8_t code) const {
        const auto commands = firmware_->state().commands;
        return static_cast<int>(std::count_if(commands.begin(), commands.end(), [&](const auto& f) {
            return f.size() > 1 && f[0] == 0xFF && f[1] == code;
        }));
    }

    std::shared_ptr<usb::sim::Firmware> firmware_ = std::make_shared<usb::sim::Firmware>();
};

TEST_F(ManualPrint, AJobPresentAtStartUpIsPrintedByHandWithTwoCopiesAndTheTableSentBack) {
    // Automatic printing off (Print_job_set 1, as the fixture's settings file has it).
    const fs::path job = station.job_folder() / "sample.prn";
    test_support::PrnBuilder(284, 144).width_dots(1134).random_dots(7, 0.2, 0x0F).write(job);
    run([&](CvelquorinDlg& window) {
        MyListCtrl& jobs = window.job_queue_list();
        cprocess& printing = window.printing_list();
        ASSERT_TRUE(test_support::pump_events_until([&] {
            return jobs.item_count() == 1 && jobs.item_text(0, JobRow::state) == JobState::wait;
        })) << "the job was not found and analysed";
        // Nothing goes to printing by itself.
        EXPECT_EQ(printing.item_count(), 0);

        // The operator selects the job, sets two copies and prints it, with the printer
        // switched off for the moment, so that the table command can be chosen in time.
        jobs.set_item_state(0, kSF, kSF);
        printingset& settings = window.print_settings_dialog();
        WhenOpen set(settings, [&] {
            settings.control<ui::ComboBox>(printingset::IDC_COPIES)->set_current(1);
            settings.command(printingset::IDC_SET_OK);
        });
        ui::set_menu_responder([](const ui::Menu&, ui::Point) { return ID_JOB_SET; });
        window.OnNMRClickJobQueue();
        EXPECT_EQ(jobs.item_text(0, JobRow::copies), "2");
        printer_->unplug();
        window.control<ui::ImageButton>(IDC_PRINT_BUTTON)->click();
        ASSERT_EQ(printing.item_count(), 1);
        EXPECT_EQ(printing.item_text(0, PrintRow::copies), "2");

        printing.set_item_state(0, kSF, kSF);
        ascadd& chooser = window.after_print_chooser();
        WhenOpen choose(chooser, [&] {
            chooser.control<ui::ComboBox>(ascadd::IDC_ASC_COMMAND)->set_current(1);
            chooser.command(ascadd::IDC_ASC_SAVE);
        });
        window.control<ui::ImageButton>(IDC_AFTER_PRINT_BUTTON)->click();
        EXPECT_EQ(printing.item_text(0, PrintRow::after_print_command), "YMoveB");

        printer_->replug();
        EXPECT_TRUE(test_support::pump_events_until(
            [&] { return printing.item_count() == 0 && !fs::exists(job); }, 60000))
            << "the job was not printed to its end";
    });
    EXPECT_EQ(frames_with_code(CMD_END_OF_PRINT), 2);
    EXPECT_EQ(frames_with_code(CMD_END_Y_MOVE_BACK), 2);
    // Kept in the printed-jobs history, as the settings file asks.
    EXPECT_FALSE(fs::is_empty(station.printed_folder()));
}

}  // namespace
