#include "settings/virtual_printer_setup.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "config/program_globals.h"
#include "engine/step_settings.h"
#include "engine/virtual_print_settings.h"
#include "pdf_backend/hot_folder_shape.h"
#include "pdf_backend/hot_folder_uri.h"
#include "platform/clock.h"

namespace settings {
namespace {

// The pauses that give the print system time to settle after the deletions and the adds.
constexpr std::uint32_t kAfterDeletePauseMs = 2000;
constexpr std::uint32_t kAfterAddPauseMs = 2000;

std::string hot_folder(std::string_view layout) {
    return std::filesystem::absolute(std::filesystem::path(g_settings_root) /
                                     std::string(engine::kVirtualHotFolder) / std::string(layout))
        .lexically_normal()
        .string();
}

bool is_own_queue(const std::string& name) {
    return std::any_of(kVirtualPrinters.begin(), kVirtualPrinters.end(),
                       [&](const VirtualPrinter& printer) { return printer.name == name; });
}

std::string joined(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) {
        text += (text.empty() ? "" : ", ") + name;
    }
    return text;
}

std::string this_user() {
    const passwd* user = getpwuid(geteuid());
    return user != nullptr ? user->pw_name : std::to_string(geteuid());
}

// The set-up cannot go on: the print system gave no answer, or does not let this user do it.
SetupOutcome stopped_by(const PrintSpooler& spooler) {
    switch (spooler.last_failure()) {
        case SpoolerFailure::NoAnswer:
            return {kSetupSpoolerNotAnswering, spooler.last_error()};
        case SpoolerFailure::NotAllowed:
            return {kSetupNoAdministratorRights, spooler.last_error()};
        case SpoolerFailure::Refused:
            break;
    }
    return {kSetupSpoolerRefused, spooler.last_error()};
}

bool must_stop(const PrintSpooler& spooler) {
    return spooler.last_failure() != SpoolerFailure::Refused;
}

struct HotFolderCheck {
    std::vector<std::string> missing;
    std::vector<std::string> refused;  // each problem once, in the order found
    void refuse(const std::string& problem) {
        if (std::find(refused.begin(), refused.end(), problem) == refused.end()) {
            refused.push_back(problem);
        }
    }
};

// The backend delivers only into a hot folder below its owner's home, the owner an ordinary
// user, every folder from the home down that user's and writable by nobody else, and never as
// root: the set-up checks its folders as the backend will, so that it makes no queue that would
// take no job.
HotFolderCheck check_hot_folders() {
    HotFolderCheck check;
    const std::optional<pdf_backend::Account> me = pdf_backend::account_of(geteuid());
    if (!me) {
        check.refuse("user " + std::to_string(geteuid()) + " is not in the account database");
        return check;
    }
    if (me->uid < pdf_backend::first_ordinary_uid()) {
        check.refuse(me->name + " is no ordinary user; run Velquorin as the operator");
        return check;
    }
    for (std::string_view layout : kSaveFolderOrder) {
        const std::string folder = hot_folder(layout);
        const std::optional<std::vector<std::string>> parts =
            pdf_backend::parts_below(folder, me->home);
        if (!parts || !pdf_backend::has_hot_folder_shape(folder)) {
            check.refuse(g_settings_root + " lies outside your home folder " + me->home);
            continue;
        }
        const pdf_backend::HotFolder opened =
            pdf_backend::open_hot_folder(me->home, *parts, me->uid);
        switch (opened.state) {
            case pdf_backend::HotFolderState::Open:
                close(opened.fd);
                break;
            case pdf_backend::HotFolderState::Missing:
                check.missing.push_back(folder + " is missing");
                break;
            case pdf_backend::HotFolderState::Refused:
                check.refuse(opened.error);
                break;
        }
    }
    return check;
}

}  // namespace

std::string virtual_printer_device_uri(std::string_view layout) {
    return pdf_backend::hot_folder_device_uri(hot_folder(layout));
}

std::string custom_paper_media(std::string_view printer_model) {
    const engine::PageSize page = engine::virtual_print_page_size(printer_model);
    const std::string size = std::string(page.width_mm) + "x" + std::string(page.height_mm) + "mm";
    return "custom_" + size + "_" + size;
}

SetupOutcome configure_virtual_printers(PrintSpooler& spooler, const SetupProgress& progress) {
    progress.position(0);
    const std::optional<std::vector<SpoolerQueue>> queues = spooler.list_queues();
    if (!queues) {
        // Nothing can be checked, so nothing is touched.
        progress.list_error();
        return stopped_by(spooler);
    }
    const std::string media = custom_paper_media(g_printer_model);

    // Everything the set-up needs is checked before anything is deleted. Asking for the
    // devices takes the rights that adding a printer takes.
    const std::optional<PdfDriverOffer> driver = spooler.pdf_driver();
    if (!driver) {
        return stopped_by(spooler);
    }
    if (!driver->backend || driver->ppd_name.empty()) {
        progress.position(40);
        return {kSetupDriverNotFound, {}};
    }
    engine::create_virtual_hot_folders();
    const HotFolderCheck hot_folders = check_hot_folders();
    if (!hot_folders.refused.empty()) {
        return {kSetupHotFolderRefused, joined(hot_folders.refused)};
    }
    if (!hot_folders.missing.empty()) {
        return {kSetupSaveFolderNotSet, joined(hot_folders.missing)};
    }
    progress.position(10);
    progress.position(20);

    // Only the program's own queues go: the operator's other printers stay.
    for (const SpoolerQueue& queue : *queues) {
        if (is_own_queue(queue.name) && !spooler.delete_queue(queue.name)) {
            if (must_stop(spooler)) {
                return stopped_by(spooler);
            }
            progress.spooler_error(spooler.last_error());
        }
    }
    progress.position(30);
    platform::sleep_ms(kAfterDeletePauseMs);
    progress.position(40);

    std::vector<std::string> not_added;
    std::vector<std::string> no_folder;
    std::vector<std::string> not_accepting;
    std::vector<std::string> no_paper;
    std::vector<std::string> shared;
    for (const VirtualPrinter& printer : kVirtualPrinters) {
        const QueueSpec spec{std::string(printer.name), std::string(printer.info),
                             virtual_printer_device_uri(printer.layout), driver->ppd_name, media};
        const std::string info(printer.info);
        if (!spooler.add_queue(spec)) {
            if (must_stop(spooler)) {
                return stopped_by(spooler);
            }
            not_added.push_back(info);
            progress.spooler_error(spooler.last_error());
        } else if (const std::optional<QueueState> state = spooler.queue_state(spec.name)) {
            // Read back: only what the print system keeps counts.
            if (state->device_uri != spec.device_uri) {
                no_folder.push_back(info);
            }
            if (!state->accepting) {
                not_accepting.push_back(info);
            }
            if (state->media != media) {
                no_paper.push_back(info);
            }
            if (state->shared) {
                shared.push_back(info);
            }
        } else if (must_stop(spooler)) {
            return stopped_by(spooler);
        } else {
            not_added.push_back(info);
            progress.spooler_error(spooler.last_error());
        }
        progress.position(printer.progress);
    }
    progress.position(85);
    platform::sleep_ms(kAfterAddPauseMs);
    progress.position(90);
    progress.position(100);

    if (!not_added.empty()) {
        return {kSetupAddFailed, joined(not_added)};
    }
    if (!no_folder.empty()) {
        return {kSetupSaveFolderNotSet, joined(no_folder)};
    }
    if (!not_accepting.empty()) {
        return {kSetupNotAccepting, joined(not_accepting)};
    }
    if (!no_paper.empty()) {
        return {kSetupPaperNotSet, joined(no_paper)};
    }
    if (!shared.empty()) {
        return {kSetupShared, joined(shared)};
    }
    return {kSetupCompleted, {}};
}

std::string not_allowed_to_add_printers_text() {
    return "You are not allowed to add printers. Join the print system's administrators "
           "group (sudo usermod -aG lpadmin " +
           this_user() + "), then log out and in again.";
}

std::string virtual_printer_setup_message(const SetupOutcome& outcome) {
    switch (outcome.code) {
        case kSetupCreatePaperError:
            return "Create paper error";
        case kSetupCustomPapersError:
            return "Opening the registry CustomPapers failed, please confirm that the virtual "
                   "printer is installed";
        case kSetupDriverNotFound:
            return "Virtual printer was not found, please reinstall";
        case kSetupCompleted:
            return "Virtual printer setup is completed!";
        case kSetupRegistryFileNotFound:
            return "Registry file not found!";
        case kSetupSpoolerNotAnswering:
            return "Virtual printer setup stopped: the print system (CUPS) did not answer. Start "
                   "it (sudo systemctl start cups) and try again.\n" +
                   outcome.detail;
        case kSetupNoAdministratorRights:
            return "Virtual printer setup stopped: " + not_allowed_to_add_printers_text() +
                   " Then click Start again.\n" + outcome.detail;
        case kSetupAddFailed:
            return "Virtual printer setup failed: these printers could not be added: " +
                   outcome.detail;
        case kSetupSaveFolderNotSet:
            return "Virtual printer setup failed: the save folder of these printers could not "
                   "be set: " +
                   outcome.detail;
        case kSetupPaperNotSet:
            return "Virtual printer setup failed: the custom paper could not be set as the "
                   "default page size of these printers: " +
                   outcome.detail;
        case kSetupNotAccepting:
            return "Virtual printer setup failed: these printers do not take jobs: " +
                   outcome.detail;
        case kSetupHotFolderRefused:
            return std::string(kHotFolderRefusedText) + "\n" + outcome.detail;
        case kSetupShared:
            return "Virtual printer setup failed: these printers are shared with other computers, "
                   "which could print into your hot folders: " +
                   outcome.detail;
        case kSetupSpoolerRefused:
            return "Virtual printer setup stopped: the print system (CUPS) refused a request.\n" +
                   outcome.detail;
    }
    return "Unknow error!";
}

}  // namespace settings
