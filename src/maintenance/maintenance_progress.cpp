#include "maintenance/maintenance_progress.h"

#include <string>

#include "maintenance/maintenance_common.h"
#include "maintenance/maintenance_pictures.h"
#include "platform/clock.h"
#include "platform/ui/controls.h"

namespace ui = platform::ui;
using maintenance::IDC_MAINTENANCE_PERCENT;
using maintenance::IDC_MAINTENANCE_PROGRESS;
using ui::Rect;

int g_head_cleaning_ticks = 0;
int g_ink_charging_ticks = 0;

namespace {

constexpr int kLabel = -1;

}  // namespace

MaintenanceProgressDialog::MaintenanceProgressDialog(std::string_view caption,
                                                     std::uint32_t timer_id, int limit, int& ticks,
                                                     PrinterClaim& claim)
    : Dialog(caption, ui::Size{600, 250}),
      timer_id_(timer_id),
      limit_(limit),
      ticks_(ticks),
      claim_(claim) {
    set_font(ui::Font{"MS Shell Dlg", 80});
    add<ui::ProgressBar>(IDC_MAINTENANCE_PROGRESS, Rect::from_size(128, 150, 400, 22)).show(false);
    add<ui::Static>(IDC_MAINTENANCE_PERCENT, Rect::from_size(536, 152, 50, 20), "0%");
    add<ui::Button>(ui::kIdCancel, Rect::from_size(480, 206, 100, 28), "Finish");
}

void MaintenanceProgressDialog::on_init_dialog() {
    // The printer is held by the operation's claim, taken before its start dialog; a second
    // take only confirms it.
    claim_.take();
    auto* bar = control<ui::ProgressBar>(IDC_MAINTENANCE_PROGRESS);
    bar->show(true);
    bar->set_range(0, limit_);
    bar->set_pos(0);
    ticks_ = 0;
    set_timer(timer_id_, 1000);
}

void MaintenanceProgressDialog::on_timer(std::uint32_t) {
    ++ticks_;
    control<ui::ProgressBar>(IDC_MAINTENANCE_PROGRESS)->set_pos(ticks_);
    control<ui::Static>(IDC_MAINTENANCE_PERCENT)
        ->set_text(std::to_string(ticks_ * 100 / limit_) + "%");
    platform::sleep_ms(100);
    if (ticks_ > limit_) {
        // The expected time is over; the dialog stays at 100 percent until "Finish".
        ticks_ = 0;
        claim_.give_back();
        kill_timer(timer_id_);
    }
}

void MaintenanceProgressDialog::on_cancel() {
    // After the count's end the printer may be a job's already: nothing is given back twice.
    claim_.give_back();
    kill_timer(timer_id_);
    end_dialog(ui::kIdCancel);
}

headclean::headclean(PrinterClaim& claim)
    : MaintenanceProgressDialog("Head Cleaning", ID_TIMER_HEAD_CLEANING, kHeadCleaningSeconds,
                                g_head_cleaning_ticks, claim) {
    add<ui::Picture>(kLabel, Rect::from_size(16, 20, 96, 96), maintenance::print_head_picture());
    maintenance::add_text_lines(
        *this, 128, 24, 460,
        {
            "Cleaning will takes a few minutes to complete.  Please wait until the",
            " cleaning is finished. During the cleaning process, the printer will not",
            "receive any printing instructions until the cleaning is finished.",
        });
}

inkcharging::inkcharging(PrinterClaim& claim)
    : MaintenanceProgressDialog("Ink charging for install the printer", ID_TIMER_INK_CHARGING,
                                kInkChargingSeconds, g_ink_charging_ticks, claim) {
    add<ui::Picture>(kLabel, Rect::from_size(16, 20, 96, 96), maintenance::ink_picture());
    maintenance::add_text_lines(
        *this, 128, 24, 460,
        {
            "Ink charging takes approximately 10 minutes. Ink charging is complete",
            " when the  progress bar end. Do not turn off the machine or software",
            "while the printer is charging ink or you\u2019ll waste ink.",
        });
}
