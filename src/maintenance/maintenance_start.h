#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/ui/dialog.h"
#include "printer/printer_protocol.h"

// The dialogs that confirm and start head cleaning and installation ink charging: each makes
// sure the printer is ready when it opens and again at "Start", then sends the one start
// command the printer runs by itself. They end with 3 (not ready, or the start command did not
// go out), 5 (no printer), 7 (started) or 2 ("Cancel").
class MaintenanceStartDialog : public platform::ui::Dialog {
  protected:
    MaintenanceStartDialog(std::string_view caption, std::uint32_t settle_ms,
                           std::uint8_t start_command);

    void on_init_dialog() override;

  private:
    void OnBnClickedStart();

    std::uint32_t settle_ms_;
    std::uint8_t start_command_;
    // The dialog's own connection, closed with it.
    PrinterProtocol protocol_{ProtocolSide::Maintenance};
};

// "Head Cleaning": confirms and starts head cleaning.
class headcleaninfo : public MaintenanceStartDialog {
  public:
    headcleaninfo();
};

// "Ink charging for install the printer": confirms and starts installation ink charging.
class inkchargininfo : public MaintenanceStartDialog {
  public:
    inkchargininfo();
};
