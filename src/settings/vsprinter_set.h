#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "platform/ui/dialog.h"
#include "settings/virtual_printer_setup.h"

namespace platform::ui {
class ProgressBar;
}

// "Third-Party Software Driver Settings": shows whether the print system offers the virtual
// printers' driver, tells how to install it, and ends with 8 when the operator clicks Start.
// The print system is asked on a thread of its own, each request within its bound, so the
// window answers while it waits; Close ends the dialog at once.
class vsprinter_set : public platform::ui::Dialog {
  public:
    static constexpr int IDD = 291;
    static constexpr int IDC_INSTALL = 1000;
    static constexpr int IDC_START = 1007;
    static constexpr int IDC_STATUS = 1068;
    static constexpr int kStartCode = 8;

    vsprinter_set();
    ~vsprinter_set() override;

    bool OnInitDialog();
    void OnBnClickedInstall();
    void OnBnClickedStart();

  protected:
    void on_init_dialog() override { OnInitDialog(); }

  private:
    // What the driver check found, handed from its thread to the window's.
    struct DriverCheck {
        bool answered = false;
        bool installed = false;
        settings::SpoolerFailure failure = settings::SpoolerFailure::NoAnswer;
        std::string error;
    };
    void show_driver_check();

    std::thread checker_;
    std::unique_ptr<settings::PrintSpooler> own_spooler_;
    settings::PrintSpooler* spooler_ = nullptr;
    DriverCheck check_;
};

// "VS Printer Setting": configures the nine virtual printers under its progress bar and ends
// with a VirtualPrinterSetupResult. The work runs on a thread of its own, so the window and
// every worker that reaches it stay alive through the print system's waits; every request has
// its bound, so the dialog always ends.
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
    std::unique_ptr<settings::PrintSpooler> own_spooler_;
    settings::PrintSpooler* spooler_ = nullptr;
    std::thread worker_;
    settings::SetupOutcome outcome_;
};

namespace settings {

// The print system the two dialogs use: the local CUPS unless a test put a scripted one in its
// place, or another CUPS server (a local socket's path); nullptr and empty: the local CUPS again.
void use_print_system(PrintSpooler* scripted, std::string server = {});

// The program-folder file that installs the virtual printers' driver, run by the Install button
// when it is there.
inline constexpr std::string_view kDriverInstaller = "virtual-printer-installer";

inline constexpr std::string_view kInstallHelpText =
    "Virtual printer installation file not found!\n"
    "Install the virtual printer into the print system as root, from Velquorin's build folder:\n"
    "sudo cmake --install build/release --component virtual_printers";

// The Setting dialog's "Third-Party Software Print settings": runs vsprinter_set and, when it
// ends with Start, the configuration under its progress dialog, then shows the one message of
// its result. Call on the user-interface thread; the caller's dialog stays open.
void run_third_party_print_settings();

}  // namespace settings
