#include "settings/vsprinter_set.h"

#include "platform/files.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/ui/controls.h"
#include "platform/ui/message_box.h"

namespace ui = platform::ui;
using ui::Rect;

namespace {

// Posted by the configuration's thread when it has ended.
constexpr std::uint32_t kConfigurationDone = 0x0497;

settings::PrintSpooler* g_test_spooler = nullptr;
std::filesystem::path g_config_folder{std::string(settings::kCupsConfigFolder)};

// The print system the dialogs talk to, made for the thread that uses it: the client library
// keeps its connection and its last error per thread.
struct SpoolerInUse {
    std::unique_ptr<settings::PrintSpooler> own;
    settings::PrintSpooler* spooler;
    SpoolerInUse() : own(g_test_spooler ? nullptr : settings::make_cups_spooler()) {
        spooler = g_test_spooler ? g_test_spooler : own.get();
    }
};

}  // namespace

vsprinter_set::vsprinter_set() : Dialog("Third-Party Software Driver Settings", {420, 220}) {
    add<ui::Static>(-1, Rect::from_size(16, 14, 388, 48),
                    "Norvaxel allows users to print directly using third-party design or "
                    "typography software, an option that requires a virtual printer plug-in to "
                    "be installed in advance.");
    add<ui::Button>(IDC_INSTALL, Rect::from_size(16, 70, 180, 28), "Install virtual printer");
    add<ui::Static>(-1, Rect::from_size(16, 108, 388, 32),
                    "Click the \"Start\" button to start and reset the virtual printer working "
                    "environment.");
    add<ui::Button>(IDC_START, Rect::from_size(16, 144, 180, 28), "Start");
    add<ui::Static>(IDC_STATUS, Rect::from_size(16, 180, 290, 32), "");
    add<ui::Button>(ui::kIdCancel, Rect::from_size(324, 182, 80, 28), "Close");
    on_command(IDC_INSTALL, [this] { OnBnClickedInstall(); });
    on_command(IDC_START, [this] { OnBnClickedStart(); });
}

bool vsprinter_set::OnInitDialog() {
    SpoolerInUse in_use;
    if (!in_use.spooler->list_queues()) {
        ui::message_box("error", "error", ui::Buttons::Ok, ui::Icon::Warning);
    }
    // The driver is there when the print system offers its backend and its PPD, whether or not
    // a queue of it exists yet: installing it makes none.
    const settings::PdfDriverOffer driver = in_use.spooler->pdf_driver();
    const bool installed = driver.backend && !driver.ppd_name.empty();
    enable_control(IDC_INSTALL, !installed);
    enable_control(IDC_START, installed);
    control<ui::Static>(IDC_STATUS)
        ->set_text(installed
                       ? "The virtual printer is installed correctly."
                       : "The virtual printer is not installed, please click the button to install "
                         "the virtual printer.");
    return true;
}

void vsprinter_set::OnBnClickedInstall() {
    const std::filesystem::path installer =
        platform::program_folder() / std::string(settings::kDriverInstaller);
    if (platform::exists(installer) && platform::start_process(installer).started()) {
        // Not waited for; the operator reopens the dialog to reach Start, as the check is
        // made when it opens.
        enable_control(IDC_INSTALL, false);
        return;
    }
    ui::message_box(settings::kInstallHelpText, {}, ui::Buttons::Ok);
}

void vsprinter_set::OnBnClickedStart() {
    end_dialog(kStartCode);
}

vsprinter_setting_progress::vsprinter_setting_progress() : Dialog("VS Printer Setting", {320, 90}) {
    add<ui::Static>(-1, Rect::from_size(16, 14, 288, 20), "Setting Now, please wait......");
    progress_ = &add<ui::ProgressBar>(IDC_PROGRESS, Rect::from_size(16, 44, 288, 18));
    on_message(WM_CONFIGURE_VIRTUAL_PRINTERS, [this](std::uintptr_t, std::intptr_t) {
        OnConfigurePrinters();
        return std::intptr_t{0};
    });
    on_message(kConfigurationDone, [this](std::uintptr_t, std::intptr_t) {
        if (worker_.joinable()) {
            worker_.join();
        }
        end_dialog(outcome_.code);
        return std::intptr_t{0};
    });
}

vsprinter_setting_progress::~vsprinter_setting_progress() {
    if (worker_.joinable()) {
        worker_.join();
    }
}

bool vsprinter_setting_progress::OnInitDialog() {
    post(WM_CONFIGURE_VIRTUAL_PRINTERS);
    return true;
}

void vsprinter_setting_progress::OnConfigurePrinters() {
    if (worker_.joinable()) {
        return;  // one configuration at a time
    }
    progress_->show(true);
    progress_->set_range(0, 100);
    progress_->set_pos(0);
    worker_ = std::thread([this] {
        SpoolerInUse in_use;
        settings::SetupProgress progress;
        progress.position = [this](int position) { progress_->set_pos(position); };
        progress.spooler_error = [](const std::string& text) {
            ui::message_box(text, {}, ui::Buttons::Ok);
        };
        progress.list_error = [] {
            ui::message_box("error", "error", ui::Buttons::Ok, ui::Icon::Warning);
        };
        outcome_ = settings::configure_virtual_printers(*in_use.spooler, g_config_folder, progress);
        post(kConfigurationDone);
    });
}

namespace settings {

void use_print_system(PrintSpooler* spooler, std::filesystem::path config_folder) {
    g_test_spooler = spooler;
    g_config_folder = std::move(config_folder);
}

void run_third_party_print_settings() {
    vsprinter_set choice;
    choice.set_background(ui::kDialogGrey);
    if (choice.do_modal() != vsprinter_set::kStartCode) {
        return;  // Close: nothing to say
    }
    vsprinter_setting_progress progress;
    progress.set_background(ui::kDialogGrey);
    const int code = progress.do_modal();
    const SetupOutcome outcome{static_cast<VirtualPrinterSetupResult>(code),
                               progress.outcome().detail};
    ui::message_box(virtual_printer_setup_message(outcome), {}, ui::Buttons::Ok);
}

}  // namespace settings
