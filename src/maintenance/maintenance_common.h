#pragma once

#include <cstdint>
#include <initializer_list>
#include <string_view>

#include "platform/ui/controls.h"
#include "platform/ui/dialog.h"
#include "printer/printer_claim.h"
#include "printer/printer_protocol.h"

// What the maintenance dialogs share: the end codes by which the dialogs that start printer
// work report back, the texts the Maintenance dialog answers them with, and the small steps
// every operation takes on a dialog's own device.

// The end codes of the dialogs that start printer work.
enum MaintenanceStartResult : int {
    MAINTENANCE_CANCELLED = 2,  // the operator cancelled
    MAINTENANCE_NOT_READY = 3,  // the printer did not answer ready, or the start did not go out
    MAINTENANCE_NO_DEVICE = 5,  // no printer is connected
    MAINTENANCE_STOPPED = 6,    // the nozzle print stopped
    MAINTENANCE_STARTED = 7,    // the start command went out, or the nozzle pattern printed
};

namespace maintenance {

inline constexpr std::string_view kPrinterBusyText = "Printer is busy!";
inline constexpr std::string_view kBusyOrFailedText = "Printer is busy or connection failed!";

// Ids shared by the maintenance dialogs' templates.
inline constexpr int IDC_MAINTENANCE_PROGRESS = 1019;
inline constexpr int IDC_MAINTENANCE_PERCENT = 1051;
// Button 3 of the sub-dialogs: "Print", "Start", "Clean Head", "OK".
inline constexpr int IDC_MAINTENANCE_START = 3;

// Runs a dialog modally on the caller's background colour; returns its end code.
int run_dialog(platform::ui::Dialog& dialog);

// Opens every present device index in turn (the last one stays open); false when none is
// present.
bool open_every_device(CUsbDevice& device);

// The acknowledgement request, 200 ms for the printer to answer, and its answer: true when it
// is ready.
bool printer_answers_ready(PrinterProtocol& protocol);

// Holds the printer for one maintenance operation: taken only while no other printer work
// runs (g_printer_idle 1, then 0 in the same step), given back on every way out, once. The
// progress dialog of a cleaning or charging gives it back early, at the end of its count; the
// way out then gives nothing back, so a job that took the printer since keeps it.
class PrinterHold {
  public:
    PrinterHold();
    PrinterHold(const PrinterHold&) = delete;
    PrinterHold& operator=(const PrinterHold&) = delete;

    // False when other printer work runs; the operator was told "Printer is busy!".
    bool held() const { return held_; }
    // The claim the operation holds the printer by, for the dialog that gives it back.
    PrinterClaim& claim() { return claim_; }

  private:
    PrinterClaim claim_;
    bool held_ = false;
};

// Adds one label per line of text, 22 pixels apart, from (x, y).
void add_text_lines(platform::ui::Dialog& dialog, int x, int y, int width,
                    std::initializer_list<const char*> lines);

// Lets a label's text run over several lines within its width.
void wrap_text(platform::ui::Static& label);

// "Connect error": no printer is connected.
void show_connect_error();

}  // namespace maintenance
