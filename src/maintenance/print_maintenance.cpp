#include "maintenance/print_maintenance.h"

#include "maintenance/maintenance_common.h"
#include "maintenance/maintenance_pictures.h"
#include "maintenance/maintenance_progress.h"
#include "maintenance/maintenance_start.h"
#include "maintenance/nozzle_dialogs.h"
#include "maintenance/nozzle_print.h"
#include "maintenance/restart_service.h"
#include "platform/clock.h"
#include "platform/ui/message_box.h"
#include "printer/commands.h"
#include "printer/protocol_state.h"

namespace ui = platform::ui;
using maintenance::PrinterHold;
using ui::Rect;

namespace {

constexpr int kLabel = -1;

constexpr const char* kSelectModeText = "Please select the pumping mode";
constexpr const char* kInkGuidingQuestion =
    "The ink guiding process is expected to take 6 minutes and 30 seconds, and will consume a "
    "certain amount of ink, please ensure that the ink remaining in the ink cartridge is "
    "sufficient, and that the ink level of the waste ink tank is lower than 3/4! Whether to "
    "continue?";

void show_busy_or_failed() {
    ui::message_box(maintenance::kBusyOrFailedText, {}, ui::Buttons::Ok, ui::Icon::Warning);
}

// The start dialog of an operation the printer runs by itself and, once it started, the
// dialog that counts its time; "Connect error" after no_device_pause_ms when no printer is
// there.
template <class StartDialog, class ProgressDialog>
void start_and_count(std::uint32_t no_device_pause_ms) {
    int code = 0;
    {
        StartDialog start;
        code = maintenance::run_dialog(start);
    }
    if (code == MAINTENANCE_NOT_READY) {
        show_busy_or_failed();
    } else if (code == MAINTENANCE_NO_DEVICE) {
        platform::sleep_ms(no_device_pause_ms);
        maintenance::show_connect_error();
    } else if (code == MAINTENANCE_STARTED) {
        platform::sleep_ms(300);
        ProgressDialog progress;
        maintenance::run_dialog(progress);
    }
}

}  // namespace

printmaintenance::printmaintenance() : Dialog("Maintenance", ui::Size{800, 432}) {
    set_font(ui::Font{"MS Shell Dlg", 80});
    struct Area {
        int x, y;
        ui::Bitmap picture;
        const char* title;
        const char* lines[2];
    };
    const Area areas[] = {
        {12,
         12,
         maintenance::nozzle_pattern_picture(false),
         "Nozzle Check",
         {"Prints pattern that lets you check whether", "print head nozzles are clogged"}},
        {12,
         200,
         maintenance::ink_picture(),
         "Ink Charging",
         {"Please select Ink charging mode", nullptr}},
        {404,
         12,
         maintenance::print_head_picture(),
         "Head Cleaning",
         {"clean the print head nozzles.  when faint ", "areas or gaps appear in your printout"}},
        {404,
         200,
         maintenance::restart_picture(),
         "Service Restart",
         {"Click the button to restart the RIP", "software service"}},
    };
    for (const Area& a : areas) {
        // A frame without a caption round each area, its button included.
        add<ui::GroupBox>(kLabel, Rect::from_size(a.x, a.y, 384, 178), "");
        add<ui::Picture>(kLabel, Rect::from_size(a.x + 8, a.y + 16, 96, 96), a.picture);
        add<ui::Static>(kLabel, Rect::from_size(a.x + 116, a.y + 16, 260, 20), a.title);
        for (int i = 0; i < 2 && a.lines[i] != nullptr; ++i) {
            add<ui::Static>(kLabel, Rect::from_size(a.x + 116, a.y + 44 + 20 * i, 260, 20),
                            a.lines[i]);
        }
    }
    add<ui::Button>(IDC_NOZZLE_CHECK_BUTTON, Rect::from_size(248, 140, 130, 28), "Nozzle Check");
    add<ui::ComboBox>(IDC_INK_CHARGING_MODE, Rect::from_size(128, 290, 250, 26));
    add<ui::Button>(IDC_INK_CHARGING_BUTTON, Rect::from_size(248, 328, 130, 28), "Start");
    add<ui::Button>(IDC_HEAD_CLEANING_BUTTON, Rect::from_size(640, 140, 130, 28), "Head Cleaning");
    add<ui::Button>(IDC_RESTART_SERVICE_BUTTON, Rect::from_size(640, 328, 130, 28), "Restart");
    add<ui::Button>(ui::kIdCancel, Rect::from_size(680, 390, 100, 28), "Close");
    on_command(IDC_NOZZLE_CHECK_BUTTON, [this] { OnBnClickedNozzleCheck(); });
    on_command(IDC_INK_CHARGING_BUTTON, [this] { OnBnClickedInkCharging(); });
    on_command(IDC_HEAD_CLEANING_BUTTON, [this] { OnBnClickedHeadCleaning(); });
    on_command(IDC_RESTART_SERVICE_BUTTON, [this] { OnBnClickedRestartService(); });
}

void printmaintenance::on_init_dialog() {
    auto* mode = control<ui::ComboBox>(IDC_INK_CHARGING_MODE);
    mode->clear();
    for (const char* item :
         {"N/A", "Ink charging for install the printer", "Ink charging for Maintenance"}) {
        mode->add_item(item);
    }
    mode->set_current(0);
}

bool printmaintenance::connect(std::uint32_t pause_ms) {
    if (maintenance::open_every_device(protocol_.device())) {
        return true;
    }
    platform::sleep_ms(pause_ms);
    maintenance::show_connect_error();
    return false;
}

void printmaintenance::OnBnClickedNozzleCheck() {
    PrinterHold hold;
    if (!hold.held()) {
        return;
    }
    g_stop_printing = 0;
    if (!connect()) {
        return;
    }
    protocol_.SendCommandCode(CMD_ACK_REQUEST);
    bool pass_confirmed = true;
    int code = 0;
    {
        nozzleprint print;
        code = maintenance::run_dialog(print);
        pass_confirmed = print.pass_confirmed();
    }
    if (code == MAINTENANCE_NOT_READY) {
        show_busy_or_failed();
    } else if (code == MAINTENANCE_NO_DEVICE) {
        maintenance::show_connect_error();
    }
    if (code != MAINTENANCE_STARTED) {
        return;
    }
    platform::sleep_ms(500);
    nozzlefeedback feedback(pass_confirmed);
    if (maintenance::run_dialog(feedback) == NOZZLE_FEEDBACK_CLEAN_HEAD) {
        protocol_.SendCommandCode(CMD_ACK_REQUEST);
        run_head_cleaning();
    }
}

void printmaintenance::OnBnClickedHeadCleaning() {
    PrinterHold hold;
    if (!hold.held()) {
        return;
    }
    g_stop_printing = 0;
    if (!connect(300)) {
        return;
    }
    protocol_.SendCommandCode(CMD_ACK_REQUEST);
    run_head_cleaning();
}

void printmaintenance::run_head_cleaning() {
    start_and_count<headcleaninfo, headclean>(300);
}

void printmaintenance::OnBnClickedInkCharging() {
    switch (control<ui::ComboBox>(IDC_INK_CHARGING_MODE)->current()) {
        case 1:
            install_ink_charging();
            return;
        case 2:
            maintenance_ink_charging();
            return;
        default:
            ui::message_box(kSelectModeText, {}, ui::Buttons::Ok);
            return;
    }
}

void printmaintenance::install_ink_charging() {
    PrinterHold hold;
    if (!hold.held() || !connect()) {
        return;
    }
    protocol_.SendCommandCode(CMD_ACK_REQUEST);
    start_and_count<inkchargininfo, inkcharging>(0);
}

void printmaintenance::maintenance_ink_charging() {
    PrinterHold hold;
    if (!hold.held() || !connect()) {
        return;
    }
    if (ui::message_box(kInkGuidingQuestion, {}, ui::Buttons::YesNo, ui::Icon::Question) !=
        ui::Answer::Yes) {
        return;
    }
    // The same ready check as the other starts, and a start that did not go out is said: the
    // operator would otherwise wait for ink guiding that never began.
    if (!maintenance::printer_answers_ready(protocol_) ||
        protocol_.SendCommandCode(CMD_INK_CHARGING_MAINTENANCE) != 1) {
        show_busy_or_failed();
    }
}

void printmaintenance::OnBnClickedRestartService() {
    maintenance::restart_layout_program();
}

namespace maintenance {

void open_print_maintenance() {
    printmaintenance dialog;
    run_dialog(dialog);
}

}  // namespace maintenance
