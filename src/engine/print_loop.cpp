// The print-loop role: forever hands the first printing-list row to the job printer and, while
// nothing is to print and no other printer work runs, keeps the connection picture current and
// the printer awake with the idle heartbeat.

#include "engine/job_list_rows.h"
#include "engine/main_window_access.h"
#include "engine/monitoring_thread.h"
#include "platform/clock.h"
#include "platform/ui/message_box.h"
#include "printer/commands.h"
#include "printer/protocol_state.h"

namespace {

namespace ui = platform::ui;

constexpr std::uint32_t kAfterJobPauseMs = 2000;
constexpr std::uint32_t kIdlePauseMs = 2500;

// Opens every present device index in turn; the last one stays open. False when none is
// present.
bool open_every_device(CUsbDevice& device) {
    const std::uint8_t count = device.DeviceCount();
    for (std::uint8_t dev = 0; dev < count; ++dev) {
        device.Open(dev);
    }
    return count > 0;
}

}  // namespace

void Monitoring_thread::OnPrintLoop(std::uintptr_t, std::intptr_t) {
    if (run_role(WM_MT_PRINT_LOOP)) {
        return;
    }
    if (!open_every_device(*usb_device)) {
        ui::message_box("Make sure the printer is not connected to your computer!", "",
                        ui::Buttons::Ok, ui::Icon::Warning);
        engine::show_main_window_bitmap(engine::IDC_CONNECTION_PICTURE,
                                        engine::IDB_PRINTER_NOT_CONNECTED);
    }
    while (!stop_requested()) {
        ui::ListCtrl* printing = engine::main_window_list(IDC_PRINTING_LIST);
        if (printing != nullptr && printing->item_count() > 0) {
            const std::string path = printing->item_text(0, PrintRow::job_path);
            // The row may have gone between the count and the read; the next turn looks again.
            if (!path.empty()) {
                PrintJob(path);
            }
            platform::sleep_ms(kAfterJobPauseMs);
            continue;
        }
        platform::sleep_ms(kIdlePauseMs);
        if (g_printer_idle != 1) {
            continue;
        }
        if (usb_device->DeviceCount() == 0) {
            engine::show_main_window_bitmap(engine::IDC_CONNECTION_PICTURE,
                                            engine::IDB_PRINTER_NOT_CONNECTED);
            continue;
        }
        open_every_device(*usb_device);
        engine::show_main_window_bitmap(engine::IDC_CONNECTION_PICTURE,
                                        engine::IDB_PRINTER_CONNECTED);
        if (g_printer_idle == 1) {
            g_command_buffer[0] = kFrameStart;
            g_command_buffer[1] = CMD_IDLE_HEARTBEAT;
            g_command_length = 2;
            SendCommand();  // the heartbeat's result is not looked at
        }
    }
}
