// A program the workstation starts while it prints (the layout designer, say) inherits none of
// the workstation's descriptors: not the job's print file, not the job folder's watch, not the
// simulated printer's record, nothing beyond the standard streams.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "app/job_lists.h"
#include "app/job_queue_list.h"
#include "app/main_window_ids.h"
#include "app/printing_list.h"
#include "inherited_descriptors.h"
#include "jobs/job_intake_roles.h"
#include "main_window_fixture.h"
#include "platform/ui/controls.h"
#include "printer/prn_file.h"
#include "prn_builder.h"
#include "usb/driver/sim/firmware.h"

namespace {

namespace fs = std::filesystem;
namespace ui = platform::ui;

// What this test program was itself given when it started (a lock a wrapper holds, say), taken
// before anything of the workstation exists: not the workstation's to close.
const test_support::DescriptorSet kGivenAtStart = test_support::open_descriptors();

class InheritedDescriptors : public test_support::MainWindowTest {
  protected:
    InheritedDescriptors() {
        printer_->set_model(firmware_);
        firmware_->attach(printer_.get());
        install_job_intake_roles();
    }

    test_support::TempDir record_;
    std::shared_ptr<usb::sim::Firmware> firmware_ = std::make_shared<usb::sim::Firmware>(
        std::make_unique<usb::sim::Recorder>(record_.path(), true));
};

TEST_F(InheritedDescriptors, AProgramStartedDuringAPrintInheritsNothing) {
    const fs::path job = station.job_folder() / "long.prn";
    test_support::PrnBuilder(284, 3000).width_dots(1134).random_dots(3, 0.2, 0x0F).write(job);
    run([&](CvelquorinDlg& window) {
        MyListCtrl& jobs = window.job_queue_list();
        ASSERT_TRUE(test_support::pump_events_until([&] {
            return jobs.item_count() == 1 && jobs.item_text(0, JobRow::state) == JobState::wait;
        })) << "the job was not found and analysed";
        jobs.set_item_state(0, ui::kItemSelected | ui::kItemFocused,
                            ui::kItemSelected | ui::kItemFocused);
        window.control<ui::ImageButton>(IDC_PRINT_BUTTON)->click();
        ASSERT_TRUE(test_support::pump_events_until([] { return g_prn_file.is_open(); }))
            << "the print did not begin";

        // The print thread waits for this thread meanwhile, with the job's file open.
        test_support::DescriptorSet inherited =
            test_support::descriptors_a_started_program_inherits();
        ASSERT_TRUE(g_prn_file.is_open()) << "the print ended before the program started";
        std::erase_if(inherited, [](const std::string& d) { return kGivenAtStart.contains(d); });
        std::string named;
        for (const std::string& descriptor : inherited) {
            named += "\n  " + descriptor;
        }
        EXPECT_TRUE(inherited.empty()) << "inherited:" << named;

        EXPECT_TRUE(test_support::pump_events_until(
            [&] { return window.printing_list().item_count() == 0; }, 60000))
            << "the job was not printed to its end";
    });
}

}  // namespace
