#include "maintenance/maintenance_common.h"

#include <QLabel>

#include "maintenance/nozzle_dialogs.h"
#include "platform/clock.h"
#include "platform/ui/message_box.h"
#include "printer/commands.h"
#include "printer/protocol_state.h"

namespace maintenance {

namespace ui = platform::ui;

int run_dialog(ui::Dialog& dialog) {
    dialog.set_background(ui::kDialogGrey);
    return dialog.do_modal();
}

bool open_every_device(CUsbDevice& device) {
    const std::uint8_t count = device.DeviceCount();
    for (std::uint8_t dev = 0; dev < count; ++dev) {
        device.Open(dev);
    }
    return count > 0;
}

bool printer_answers_ready(PrinterProtocol& protocol) {
    protocol.SendCommandCode(CMD_ACK_REQUEST);
    platform::sleep_ms(200);
    return protocol.ReadStatus() == STATUS_READY;
}

PrinterHold::PrinterHold() {
    // Looked at and taken in one step: a job starting between the look and the take would
    // otherwise print beside the maintenance.
    held_ = claim_.take();
    if (!held_) {
        ui::message_box(kPrinterBusyText, {}, ui::Buttons::Ok, ui::Icon::Warning);
    }
}

void add_text_lines(ui::Dialog& dialog, int x, int y, int width,
                    std::initializer_list<const char*> lines) {
    for (const char* line : lines) {
        dialog.add<ui::Static>(-1, ui::Rect::from_size(x, y, width, 20), line);
        y += 22;
    }
}

void wrap_text(ui::Static& label) {
    ui::ui_call([&] { static_cast<QLabel*>(label.widget())->setWordWrap(true); });
}

void show_connect_error() {
    nozzlecheckwarning warning;
    run_dialog(warning);
}

}  // namespace maintenance
