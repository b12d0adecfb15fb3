#include "settings/vsprinter_set.h"

#include <filesystem>

#include "platform/files.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/ui/controls.h"
#include "platform/ui/message_box.h"

namespace ui = platform::ui;
using ui::Rect;

namespace {

// Posted by the configuration's thread when it has ended, and by the driver check's.
constexpr std::uint32_t kConfigurationDone = 0x0497;
constexpr std::uint32_t kDriverChecked = 0x0498;

settings::PrintSpooler* g_scripted_spooler = nullptr;
std::string g_print_server;

// The print system the dialogs talk to, one for each dialog: the client library keeps its last
// error per thread, and a dialog that goes cancels what its own spooler still waits for.
std::unique_ptr<settings::PrintSpooler> make_spooler(settings::PrintSpooler*& in_use) {
    if (g_scripted_spooler != nullptr) {
        in_use = g_scripted_spooler;
        return nullptr;
    }
    auto own = settings::make_cups_spooler(g_print_server);
    in_use = own.get();
    return own;
}

}  // namespace

vsprinter_set::vsprinter_set() : Dialog("Third-Party Software Driver Settings", {420, 272}) {
    add<ui::Static>(-1, Rect::from_size(16, 14, 388, 48),
                    "Norvaxel allows users to print directly using third-party design or "
                    "typography software, an option that requires a virtual printer plug-in to "
                    "be installed in advance.")
        .set_word_wrap(true);
    add<ui::Button>(IDC_INSTALL, Rect::from_size(16, 70, 180, 28), "Install virtual printer");
    add<ui::Static>(-1, Rect::from_size(16, 108, 388, 32),
                    "Click the \"Start\" button to start and reset the virtual printer working "
                    "environment.")
        .set_word_wrap(true);
    add<ui::Button>(IDC_START, Rect::from_size(16, 144, 180, 28), "Start");
    // Three lines: this print system's answers can be longer (no answer, or no rights).
    add<ui::Static>(IDC_STATUS, Rect::from_size(16, 180, 388, 48), "").set_word_wrap(true);
    add<ui::Button>(ui::kIdCancel, Rect::from_size(324, 236, 80, 28), "Close");
    on_command(IDC_INSTALL, [this] { OnBnClickedInstall(); });
    on_command(IDC_START, [this] { OnBnClickedStart(); });
    on_message(kDriverChecked, [this](std::uintptr_t, std::intptr_t) {
        if (checker_.joinable()) {
            checker_.join();
        }
        show_driver_check();
        return std::intptr_t{0};
    });
}

vsprinter_set::~vsprinter_set() {
    if (checker_.joinable()) {
        spooler_->cancel();
        checker_.join();
    }
}

bool vsprinter_set::OnInitDialog() {
    enable_control(IDC_INSTALL, false);
    enable_control(IDC_START, false);
    control<ui::Static>(IDC_STATUS)
        ->set_text("Asking the print system for the virtual printer......");
    own_spooler_ = make_spooler(spooler_);
    checker_ = std::thread([this] {
        DriverCheck found;
        const bool listed = spooler_->list_queues().has_value();
        if (!listed) {
            ui::message_box("error", "error", ui::Buttons::Ok, ui::Icon::Warning);
        }
        // A print system that gave no answer is not kept waiting for a second time.
        if (listed || spooler_->last_failure() != settings::SpoolerFailure::NoAnswer) {
            if (const std::optional<settings::PdfDriverOffer> driver = spooler_->pdf_driver()) {
                found.answered = true;
                found.installed = driver->backend && !driver->ppd_name.empty();
            }
        }
        if (!found.answered) {
            found.failure = spooler_->last_failure();
            found.error = spooler_->last_error();
        }
        check_ = found;
        post(kDriverChecked);
    });
    return true;
}

void vsprinter_set::show_driver_check() {
    std::string status;
    if (check_.answered) {
        // The driver is there when the print system offers its backend and its PPD, whether or
        // not a queue of it exists yet: installing it makes none.
        enable_control(IDC_INSTALL, !check_.installed);
        enable_control(IDC_START, check_.installed);
        status = check_.installed ? "The virtual printer is installed correctly."
                                  : "The virtual printer is not installed, please click the "
                                    "button to install the virtual printer.";
    } else if (check_.failure == settings::SpoolerFailure::NotAllowed) {
        // Two answers besides installed or not: no rights, and no answer; Start cannot succeed.
        status = settings::not_allowed_to_add_printers_text();
    } else {
        // Installing may be what is missing: the print system itself, or its configuration.
        enable_control(IDC_INSTALL, true);
        status = (check_.failure == settings::SpoolerFailure::NoAnswer
                      ? "The print system (CUPS) did not answer: "
                      : "The print system (CUPS) refused: ") +
                 check_.error;
    }
    control<ui::Static>(IDC_STATUS)->set_text(status);
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
    own_spooler_ = make_spooler(spooler_);
    worker_ = std::thread([this] {
        settings::SetupProgress progress;
        progress.position = [this](int position) { progress_->set_pos(position); };
        progress.spooler_error = [](const std::string& text) {
            ui::message_box(text, {}, ui::Buttons::Ok);
        };
        progress.list_error = [] {
            ui::message_box("error", "error", ui::Buttons::Ok, ui::Icon::Warning);
        };
        outcome_ = settings::configure_virtual_printers(*spooler_, progress);
        post(kConfigurationDone);
    });
}

namespace settings {

void use_print_system(PrintSpooler* scripted, std::string server) {
    g_scripted_spooler = scripted;
    g_print_server = std::move(server);
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
