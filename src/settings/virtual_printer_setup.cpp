#include "settings/virtual_printer_setup.h"

#include <unistd.h>

#include <algorithm>

#include "engine/step_settings.h"
#include "engine/virtual_print_settings.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "settings/program_globals.h"

namespace settings {
namespace {

// The pauses that give the print system time to settle after the deletions and the adds.
constexpr std::uint32_t kAfterDeletePauseMs = 2000;
constexpr std::uint32_t kAfterAddPauseMs = 2000;

std::string hot_folder(std::string_view layout) {
    return (std::filesystem::path(g_settings_root) / std::string(engine::kVirtualHotFolder) /
            std::string(layout))
        .string();
}

bool is_own_queue(const std::string& name) {
    return std::any_of(kVirtualPrinters.begin(), kVirtualPrinters.end(),
                       [&](const VirtualPrinter& printer) { return printer.name == name; });
}

std::string printer_info(std::string_view layout) {
    for (const VirtualPrinter& printer : kVirtualPrinters) {
        if (printer.layout == layout) {
            return std::string(printer.info);
        }
    }
    return std::string(layout);
}

std::string joined(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) {
        text += (text.empty() ? "" : ", ") + name;
    }
    return text;
}

}  // namespace

std::string pdf_instance(std::string_view layout) {
    return "norvaxel_" + std::string(layout);
}

std::string pdf_device_uri(std::string_view layout) {
    return std::string(kPdfBackendScheme) + ":/" + pdf_instance(layout);
}

std::filesystem::path pdf_instance_file(const std::filesystem::path& config_folder,
                                        std::string_view layout) {
    return config_folder / ("cups-pdf-" + pdf_instance(layout) + ".conf");
}

std::string pdf_instance_config(const std::string& hot_folder) {
    // The job number after the title keeps two documents of one title from overwriting each
    // other before the collector has taken the first; an anonymous job lands in the same folder.
    return "# Written by Velquorin: the virtual printer's save folder.\n"
           "Out " +
           hot_folder + "\nAnonDirName " + hot_folder + "\nLabel 2\nGrp lpadmin\n";
}

std::string custom_paper_media(std::string_view printer_model) {
    const engine::PageSize page = engine::virtual_print_page_size(printer_model);
    return "custom_" + std::string(page.width_mm) + "x" + std::string(page.height_mm) + "mm";
}

SetupOutcome configure_virtual_printers(PrintSpooler& spooler,
                                        const std::filesystem::path& config_folder,
                                        const SetupProgress& progress) {
    progress.position(0);
    const std::optional<std::vector<SpoolerQueue>> queues = spooler.list_queues();
    if (!queues) {
        // Nothing can be checked, so nothing is touched.
        progress.list_error();
        return {kSetupSpoolerNotAnswering, spooler.last_error()};
    }
    const std::string media = custom_paper_media(g_printer_model);

    // Everything the set-up needs is checked before anything is deleted.
    const PdfDriverOffer driver = spooler.pdf_driver();
    if (!driver.backend || driver.ppd_name.empty()) {
        progress.position(40);
        return {kSetupDriverNotFound, {}};
    }
    if (::access(config_folder.c_str(), W_OK) != 0) {
        return {kSetupNoAdministratorRights, config_folder.string()};
    }
    progress.position(10);
    progress.position(20);

    // Only the program's own queues go: the operator's other PDF printers stay.
    for (const SpoolerQueue& queue : *queues) {
        if (is_own_queue(queue.name) && !spooler.delete_queue(queue.name)) {
            progress.spooler_error(queue.name + ": " + spooler.last_error());
        }
    }
    progress.position(30);
    platform::sleep_ms(kAfterDeletePauseMs);
    progress.position(40);

    // The save folders are written before the queues exist, so that no queue of ours ever
    // saves anywhere else, not even a job printed while the set-up runs.
    engine::create_virtual_hot_folders();
    std::vector<std::string> no_folder;
    for (std::string_view layout : kSaveFolderOrder) {
        if (!platform::replace_file_contents(pdf_instance_file(config_folder, layout),
                                             pdf_instance_config(hot_folder(layout)))) {
            no_folder.push_back(printer_info(layout));
        }
    }

    std::vector<std::string> not_added;
    std::vector<std::string> no_paper;
    for (const VirtualPrinter& printer : kVirtualPrinters) {
        const QueueSpec spec{std::string(printer.name), std::string(printer.info),
                             pdf_device_uri(printer.layout), driver.ppd_name, media};
        if (!spooler.add_queue(spec)) {
            not_added.emplace_back(printer.info);
            progress.spooler_error(std::string(printer.name) + ": " + spooler.last_error());
        } else if (spooler.queue_media(spec.name) != media) {
            no_paper.emplace_back(printer.info);
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
    if (!no_paper.empty()) {
        return {kSetupPaperNotSet, joined(no_paper)};
    }
    return {kSetupCompleted, {}};
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
            return "The print system (CUPS) does not answer, so nothing was changed. Start it "
                   "(sudo systemctl start cups) and try again." +
                   (outcome.detail.empty() ? "" : "\n" + outcome.detail);
        case kSetupNoAdministratorRights:
            return "Setting up the virtual printers needs administrator rights (to write " +
                   outcome.detail +
                   " and to add printers), so nothing was changed. Close Velquorin, start it "
                   "once as root with your own folders (sudo --preserve-env=HOME,XDG_DATA_HOME "
                   "velquorin) and click Start again.";
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
    }
    return "Unknow error!";
}

}  // namespace settings
