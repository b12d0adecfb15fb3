#include "maintenance/nozzle_dialogs.h"

#include "maintenance/maintenance_common.h"
#include "maintenance/maintenance_pictures.h"
#include "platform/ui/controls.h"

namespace ui = platform::ui;
using ui::Rect;

namespace {

constexpr int kLabel = -1;
const ui::Font kDialogFont{"MS Shell Dlg", 80};

}  // namespace

nozzlefeedback::nozzlefeedback(bool pass_confirmed) : Dialog("Nozzle Check", ui::Size{560, 380}) {
    set_font(kDialogFont);
    add<ui::Picture>(kLabel, Rect::from_size(60, 16, 96, 96),
                     maintenance::nozzle_pattern_picture(false));
    add<ui::Static>(kLabel, Rect::from_size(60, 116, 96, 20), "Good");
    add<ui::Picture>(kLabel, Rect::from_size(230, 16, 96, 96),
                     maintenance::nozzle_pattern_picture(true));
    add<ui::Static>(kLabel, Rect::from_size(230, 116, 140, 20), "Cleaning needed");
    // The nozzle check's own picture, as its print dialog shows it.
    add<ui::Picture>(kLabel, Rect::from_size(420, 16, 96, 96),
                     maintenance::nozzle_pattern_picture(false));
    add<ui::Static>(kLabel, Rect::from_size(24, 150, 512, 20),
                    "Compare the printed pattern with the same above. If the nozzle check");
    add<ui::Static>(kLabel, Rect::from_size(24, 170, 512, 20),
                    "pattern does not print satisfactorily, click [Clean Head]. Click [Close] to "
                    "quit.");
    if (!pass_confirmed) {
        maintenance::wrap_text(add<ui::Static>(kLabel, Rect::from_size(24, 206, 512, 40),
                                               maintenance::kPassNotConfirmedText));
    }
    add<ui::Button>(maintenance::IDC_MAINTENANCE_START, Rect::from_size(330, 330, 100, 28),
                    "Clean Head");
    add<ui::Button>(ui::kIdCancel, Rect::from_size(440, 330, 100, 28), "Close");
    on_command(maintenance::IDC_MAINTENANCE_START,
               [this] { end_dialog(NOZZLE_FEEDBACK_CLEAN_HEAD); });
}

nozzlecheckwarning::nozzlecheckwarning() : Dialog("Connect error", ui::Size{420, 170}) {
    set_font(kDialogFont);
    add<ui::Picture>(kLabel, Rect::from_size(16, 16, 96, 96), maintenance::cable_picture());
    add<ui::Static>(kLabel, Rect::from_size(124, 30, 290, 20),
                    "Make sure the printer is not connected to your computer!");
    add<ui::Static>(kLabel, Rect::from_size(124, 56, 290, 20),
                    "Please check your connection and try again.");
    add<ui::Button>(maintenance::IDC_MAINTENANCE_START, Rect::from_size(300, 126, 100, 28), "OK");
    on_command(maintenance::IDC_MAINTENANCE_START, [this] { end_dialog(ui::kIdCancel); });
}
