// The print-loop role: forever hands the first printing-list row to the job printer and, while
// nothing is to print and no other printer work runs, keeps the connection picture current and
// the printer awake with the idle heartbeat.

#include <optional>
#include <string>

#include "engine/job_list_rows.h"
#include "engine/main_window_access.h"
#include "engine/monitoring_thread.h"
#include "platform/clock.h"
#include "platform/ui/message_box.h"
#include "platform/ui/ui_thread.h"
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

// The "Job Title" of the first printing-list row; nothing when the list is empty. Counted and
// read in one call, so a row deleted in between is not taken for a row without a title. A row
// whose title is empty is handed to the job printer like any other: its file cannot be read,
// which the operator is told, where skipping it would hold the list without a word.
std::optional<std::string> first_printing_path() {
    ui::ListCtrl* printing = engine::main_window_list(IDC_PRINTING_LIST);
    if (printing == nullptr) {
        return std::nullopt;
    }
    return ui::ui_call([&]() -> std::optional<std::string> {
        if (printing->item_count() == 0) {
            return std::nullopt;
        }
        return printing->item_text(0, PrintRow::job_path);
    });
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
        if (const std::optional<std::string> path = first_printing_path()) {
            PrintJob(*path);
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
        // The thread's own device and the picture: no shared printer state is touched yet.
        open_every_device(*usb_device);
        engine::show_main_window_bitmap(engine::IDC_CONNECTION_PICTURE,
                                        engine::IDB_PRINTER_CONNECTED);
        // The heartbeat owns the printer for its one command, so that maintenance that started
        // since the test above keeps its command frame; while it runs, the beat is skipped.
        // The command's pause comes after the printer is given back: held through it, the
        // idle printer would refuse maintenance about one try in 25.
        if (printer_claim().take()) {
            g_command_buffer[0] = kFrameStart;
            g_command_buffer[1] = CMD_IDLE_HEARTBEAT;
            g_command_length = 2;
            SendCommandUnpaused();  // the heartbeat's result is not looked at
            printer_claim().give_back();
            platform::sleep_ms(kCommandPauseMs);
        }
    }
}
