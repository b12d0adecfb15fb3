#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/ui/dialog.h"
#include "settings/virtual_printer_setup.h"

namespace platform::ui {
class ProgressBar;
}

// "Third-Party Software Driver Settings": shows whether the print system offers the PDF printer
// driver, tells how to install it, and ends with 8 when the operator clicks Start.
class vsprinter_set : public platform::ui::Dialog {
  public:
    static constexpr int IDD = 291;
    static constexpr int IDC_INSTALL = 1000;
    static constexpr int IDC_START = 1007;
    static constexpr int IDC_STATUS = 1068;
    static constexpr int kStartCode = 8;

    vsprinter_set();

    bool OnInitDialog();
    void OnBnClickedInstall();
    void OnBnClickedStart();

  protected:
    void on_init_dialog() override { OnInitDialog(); }
};

// "VS Printer Setting": configures the nine virtual printers under its progress bar and ends
// with a VirtualPrinterSetupResult. The work runs on a thread of its own, so the window and
// every worker that reaches it stay alive through the print system's waits.
class vsprinter_setting_progress : public platform::ui::Dialog {
  public:
    static constexpr int IDD = 293;
    static constexpr int IDC_PROGRESS = 1019;
    static constexpr std::uint32_t WM_CONFIGURE_VIRTUAL_PRINTERS = 0x496;

    vsprinter_setting_progress();
    ~vsprinter_setting_progress() override;

    bool OnInitDialog();
    void OnConfigurePrinters();
    // What failed, for the codes that name it; known once the dialog has ended.
    const settings::SetupOutcome& outcome() const { return outcome_; }

  protected:
    void on_init_dialog() override { OnInitDialog(); }
    // The dialog has no buttons and ends itself; Esc must not leave the work running alone.
    void on_cancel() override {}
    void on_ok() override {}

  private:
    platform::ui::ProgressBar* progress_ = nullptr;
    std::thread worker_;
    settings::SetupOutcome outcome_;
};

namespace settings {

// The print system and the driver's configuration folder that the two dialogs use: the local
// CUPS and /etc/cups unless a test put others in their place (nullptr: the local CUPS again).
void use_print_system(PrintSpooler* spooler, std::filesystem::path config_folder);

// The program-folder file that installs the PDF printer driver, run by the Install button when
// it is there.
inline constexpr std::string_view kDriverInstaller = "virtual-printer-installer";

inline constexpr std::string_view kInstallHelpText =
    "Virtual printer installation file not found!\n"
    "Install the print system's PDF printer as root:\n"
    "apt-get install cups printer-driver-cups-pdf";

// The Setting dialog's "Third-Party Software Print settings": runs vsprinter_set and, when it
// ends with Start, the configuration under its progress dialog, then shows the one message of
// its result. Call on the user-interface thread; the caller's dialog stays open.
void run_third_party_print_settings();

}  // namespace settings
