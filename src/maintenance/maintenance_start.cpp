#include "maintenance/maintenance_start.h"

#include "maintenance/maintenance_common.h"
#include "maintenance/maintenance_pictures.h"
#include "platform/clock.h"
#include "platform/ui/controls.h"
#include "printer/commands.h"

namespace ui = platform::ui;
using maintenance::IDC_MAINTENANCE_START;
using ui::Rect;

namespace {

constexpr int kLabel = -1;

}  // namespace

MaintenanceStartDialog::MaintenanceStartDialog(std::string_view caption, std::uint32_t settle_ms,
                                               std::uint8_t start_command)
    : Dialog(caption, ui::Size{600, 260}), settle_ms_(settle_ms), start_command_(start_command) {
    set_font(ui::Font{"MS Shell Dlg", 80});
    add<ui::Button>(IDC_MAINTENANCE_START, Rect::from_size(370, 216, 100, 28), "Start");
    add<ui::Button>(ui::kIdCancel, Rect::from_size(480, 216, 100, 28), "Cancel");
    on_command(IDC_MAINTENANCE_START, [this] { OnBnClickedStart(); });
}

void MaintenanceStartDialog::on_init_dialog() {
    platform::sleep_ms(settle_ms_);
    if (protocol_.ReadStatus() != STATUS_READY) {
        end_dialog(MAINTENANCE_NOT_READY);
    }
}

void MaintenanceStartDialog::OnBnClickedStart() {
    if (!maintenance::open_every_device(protocol_.device())) {
        end_dialog(MAINTENANCE_NO_DEVICE);
        return;
    }
    if (!maintenance::printer_answers_ready(protocol_)) {
        end_dialog(MAINTENANCE_NOT_READY);
        return;
    }
    // A start command that did not go out started nothing: the operator must not be shown a
    // countdown of work the printer never began.
    end_dialog(protocol_.SendCommandCode(start_command_) == 1 ? MAINTENANCE_STARTED
                                                              : MAINTENANCE_NOT_READY);
}

headcleaninfo::headcleaninfo() : MaintenanceStartDialog("Head Cleaning", 300, CMD_HEAD_CLEANING) {
    add<ui::Picture>(kLabel, Rect::from_size(16, 20, 96, 96), maintenance::print_head_picture());
    maintenance::add_text_lines(
        *this, 128, 24, 450,
        {
            "Click [Start] to clean the print head nozzles. Because cleaning",
            "consumes some ink, only clean the print head when faint areas or",
            "gaps appear in your printout. Use the \"Nozzle Check\" utility first to",
            "confirm that the print head needs to be cleaned.",
        });
}

inkchargininfo::inkchargininfo()
    : MaintenanceStartDialog("Ink charging for install the printer", 200,
                             CMD_INK_CHARGING_INSTALL) {
    add<ui::Picture>(kLabel, Rect::from_size(16, 16, 96, 96), maintenance::ink_picture());
    maintenance::wrap_text(add<ui::Static>(
        kLabel, Rect::from_size(128, 16, 450, 80),
        "Click the [Start] button to begin charging the ink. Ink charging takes "
        "approximately 10 minutes. The new machine's ink charging process will "
        "consume a certain amount of ink. Please make sure that the ink remaining in "
        "the ink cartridge is sufficient. "));
    add<ui::Picture>(kLabel, Rect::from_size(16, 116, 96, 96), maintenance::ink_picture());
    maintenance::wrap_text(add<ui::Static>(
        kLabel, Rect::from_size(128, 120, 450, 60),
        "                  Please make sure the ink level of the waste ink tank is "
        "lower than 3/4, There must be enough capacity to hold the waste ink filled "
        "by ink charging"));
}
