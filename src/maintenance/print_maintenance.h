#pragma once

#include "platform/ui/controls.h"
#include "platform/ui/dialog.h"
#include "printer/printer_protocol.h"

inline constexpr int IDC_NOZZLE_CHECK_BUTTON = 1000;
inline constexpr int IDC_INK_CHARGING_BUTTON = 1001;
inline constexpr int IDC_HEAD_CLEANING_BUTTON = 1004;
inline constexpr int IDC_RESTART_SERVICE_BUTTON = 1005;
inline constexpr int IDC_INK_CHARGING_MODE = 1022;

namespace maintenance {
class PrinterHold;
}  // namespace maintenance

// "Maintenance": the operator's printer care in one window. Every printer operation (nozzle
// check, head cleaning, both ink-charging modes) runs only while no job prints, holds the
// printer for its whole course, one nested dialog after another, and gives it back on every
// way out; "Restart" restarts the layout designer.
class printmaintenance : public platform::ui::Dialog {
  public:
    printmaintenance();

  protected:
    void on_init_dialog() override;

  private:
    void OnBnClickedNozzleCheck();
    void OnBnClickedInkCharging();
    void OnBnClickedHeadCleaning();
    void OnBnClickedRestartService();

    // Opens every present device, or shows "Connect error" (after pause_ms) and says false.
    bool connect(std::uint32_t pause_ms = 0);
    // "Head Cleaning" from its confirmation on, with the printer held by hold and connected.
    void run_head_cleaning(maintenance::PrinterHold& hold);
    void install_ink_charging();
    void maintenance_ink_charging();

    // The dialog's own connection, closed with it.
    PrinterProtocol protocol_{ProtocolSide::Maintenance};
};

namespace maintenance {

// The main window's maintenance button: runs the Maintenance dialog modally on the dialogs'
// background colour. Its end code means nothing.
void open_print_maintenance();

}  // namespace maintenance
