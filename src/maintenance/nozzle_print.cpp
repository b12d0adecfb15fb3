#include "maintenance/nozzle_print.h"

#include <functional>

#include "engine/prn_reader.h"  // g_line_pixels, g_pass_count
#include "engine/transfer_packing.h"
#include "maintenance/maintenance_common.h"
#include "maintenance/maintenance_pictures.h"
#include "maintenance/nozzle_pattern.h"
#include "platform/clock.h"
#include "platform/ui/controls.h"
#include "platform/ui/message_box.h"
#include "printer/commands.h"
#include "printer/protocol_state.h"

namespace ui = platform::ui;
using maintenance::IDC_MAINTENANCE_PROGRESS;
using maintenance::IDC_MAINTENANCE_START;
using ui::Rect;

namespace {

constexpr int kLabel = -1;
constexpr const char* kPrintCancelledText = "打印任务被取消!Print task cancelled.";

}  // namespace

nozzleprint::nozzleprint() : Dialog("Nozzle Check", ui::Size{560, 300}) {
    set_font(ui::Font{"MS Shell Dlg", 80});
    maintenance::add_text_lines(
        *this, 24, 24, 400,
        {
            "To perform a nozzle check, make sure that the printer is on and",
            "connected to the computer. Also make sure that has paper or ",
            "media is loaded in the printer tabel. Click [Print] to print a nozzle",
            "check pattern or click [Cancel] to quit.",
        });
    add<ui::Picture>(kLabel, Rect::from_size(440, 20, 96, 96),
                     maintenance::nozzle_pattern_picture(false));
    add<ui::ProgressBar>(IDC_MAINTENANCE_PROGRESS, Rect::from_size(24, 180, 512, 22)).show(false);
    add<ui::Button>(IDC_MAINTENANCE_START, Rect::from_size(330, 250, 100, 28), "Print");
    add<ui::Button>(ui::kIdCancel, Rect::from_size(440, 250, 100, 28), "Cancel");
    on_command(IDC_MAINTENANCE_START, [this] { OnBnClickedPrint(); });
    on_message(WM_NOZZLE_PRINT_FAILED, [this](std::uintptr_t, std::intptr_t) -> std::intptr_t {
        end_after_worker(MAINTENANCE_STOPPED);
        return 0;
    });
    on_message(WM_NOZZLE_PRINT_DONE, [this](std::uintptr_t, std::intptr_t) -> std::intptr_t {
        end_after_worker(MAINTENANCE_STARTED);
        return 0;
    });
    protocol_.set_band_buffer(g_transfer_buffer);
}

nozzleprint::~nozzleprint() {
    if (worker_.joinable()) {
        worker_.join();
    }
}

void nozzleprint::on_init_dialog() {
    platform::sleep_ms(200);
    if (protocol_.ReadStatus() != STATUS_READY) {
        end_dialog(MAINTENANCE_NOT_READY);
    }
}

void nozzleprint::on_cancel() {
    if (!printing_) {
        end_dialog(MAINTENANCE_CANCELLED);
    }
}

void nozzleprint::OnBnClickedPrint() {
    if (printing_) {
        return;
    }
    if (!maintenance::open_every_device(protocol_.device())) {
        end_dialog(MAINTENANCE_NO_DEVICE);
        return;
    }
    enable_control(IDC_MAINTENANCE_START, false);
    enable_control(ui::kIdCancel, false);
    if (!maintenance::printer_answers_ready(protocol_)) {
        end_dialog(MAINTENANCE_NOT_READY);
        return;
    }
    printing_ = true;
    worker_ = std::thread([this] { NozzlePrintThread(*this); });
}

void nozzleprint::end_after_worker(int code) {
    // The message is the worker's last act: the join only waits for its return.
    if (worker_.joinable()) {
        worker_.join();
    }
    // printing_ stays set: an Esc queued behind the message must not replace its end code.
    end_dialog(code);
}

void NozzlePrintThread(nozzleprint& dialog) {
    PrinterProtocol& p = dialog.protocol_;
    ui::ProgressBar& bar = *dialog.control<ui::ProgressBar>(IDC_MAINTENANCE_PROGRESS);
    bar.show(true);
    bar.set_range(0, 100);
    bar.set_pos(0);
    g_stop_printing = 0;
    p.DrainStatus();
    g_column_count = kNozzleCheckColumns;
    g_line_pixels = kNozzleCheckColumns;
    g_pass_sent = 0;
    g_pass_toggle = 0;
    bar.set_pos(10);
    // Each poll of the idle wait moves the bar on by 20.
    p.set_idle_poll_hook([&bar] { bar.set_pos(bar.pos() + 20); });
    p.WaitPrinterIdle();
    bar.set_pos(30);

    // The pass count and ink mode are those the last printed job left (0 before any job).
    const struct {
        std::function<void()> run;
        int position;
    } steps[] = {
        {[&] { p.SendColumnCount(); }, 32},
        {[&] { p.SendPassCount(static_cast<std::uint8_t>(g_pass_count)); }, 35},
        {[&] { p.SendInkMode(); }, 38},
        {[&] { p.WaitCommandAckOrAbort(); }, 40},
        {[&] {
             g_y_position = 1000;
             p.SendYPosition();
         },
         45},
        {[] { build_nozzle_pattern(); }, 50},
        {[&] { p.SendBandData(); }, 55},
        {[&] { p.SendPassCommand(); }, 60},
        {[&] { p.SendEndOfPrint(); }, 75},
    };
    for (const auto& step : steps) {
        if (g_stop_printing != 0) {
            break;
        }
        step.run();
        bar.set_pos(step.position);
    }

    if (g_stop_printing == 1 && g_nozzle_print_error == 1) {
        ui::message_box(kPrintCancelledText, {}, ui::Buttons::Ok, ui::Icon::None);
    }
    const struct {
        std::uint32_t pause_ms;
        int position;
    } tail[] = {{500, 80}, {500, 85}, {500, 90}, {1000, 95}, {1000, 100}};
    for (const auto& t : tail) {
        platform::sleep_ms(t.pause_ms);
        bar.set_pos(t.position);
    }
    g_nozzle_print_error = 0;
    dialog.post(g_stop_printing != 1 ? WM_NOZZLE_PRINT_DONE : WM_NOZZLE_PRINT_FAILED);
}
