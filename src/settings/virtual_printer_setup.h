#pragma once

#include <array>
#include <functional>
#include <string>
#include <string_view>

#include "settings/print_spooler.h"

// The set-up of the nine virtual printers: queues of the computer's print system on our own
// backend, one per channel layout, each saving what it prints as a PDF into its layout's
// virtual hot folder, from which the collector hands it to the RIP. It runs as the operator:
// a member of the print system's administrators group may add and delete queues.

// The end of a set-up, which the caller turns into one message. The codes up to 6 and "any
// other" are the ones the Setting dialog has always shown; 20 and above are the failures a
// set-up on this system can meet and must never call completed.
enum VirtualPrinterSetupResult : int {
    kSetupCreatePaperError = 1,
    kSetupCustomPapersError = 2,
    kSetupDriverNotFound = 3,
    kSetupCompleted = 5,
    kSetupRegistryFileNotFound = 6,
    kSetupSpoolerNotAnswering = 20,
    kSetupNoAdministratorRights = 21,
    kSetupAddFailed = 22,
    kSetupSaveFolderNotSet = 23,
    kSetupPaperNotSet = 24,
    kSetupNotAccepting = 25,
    kSetupSpoolerRefused = 26,
    kSetupHotFolderRefused = 27,
    kSetupShared = 28,
};

// One virtual printer: its layout, the queue's name (the print system allows no blank in it)
// and the name the operator sees.
struct VirtualPrinter {
    std::string_view layout;  // the hot folder's name, lower case
    std::string_view name;    // the queue's name
    std::string_view info;    // "Norvaxel printer " + the layout in capitals
    int progress;             // the progress position once it is added
};

namespace settings {

// The nine printers in the order they are added, with the progress position after each.
inline constexpr std::array<VirtualPrinter, 9> kVirtualPrinters = {{
    {"kcmy", "Norvaxel_printer_KCMY", "Norvaxel printer KCMY", 45},
    {"kcmywwww", "Norvaxel_printer_KCMYWWWW", "Norvaxel printer KCMYWWWW", 50},
    {"wwwwkcmy", "Norvaxel_printer_WWWWKCMY", "Norvaxel printer WWWWKCMY", 55},
    {"wwww", "Norvaxel_printer_WWWW", "Norvaxel printer WWWW", 60},
    {"ww", "Norvaxel_printer_WW", "Norvaxel printer WW", 65},
    {"wwkcmy", "Norvaxel_printer_WWKCMY", "Norvaxel printer WWKCMY", 70},
    {"kcmyww", "Norvaxel_printer_KCMYWW", "Norvaxel printer KCMYWW", 75},
    {"vv", "Norvaxel_printer_VV", "Norvaxel printer VV", 80},
    {"wwwwwwww", "Norvaxel_printer_WWWWWWWW", "Norvaxel printer WWWWWWWW", 85},
}};

// The layouts in the order their save folders are set.
inline constexpr std::array<std::string_view, 9> kSaveFolderOrder = {
    "kcmy", "wwww", "wwwwkcmy", "kcmywwww", "kcmyww", "wwkcmy", "ww", "vv", "wwwwwwww"};

// The device URI of a layout's queue: our backend's, naming the layout's hot folder.
std::string virtual_printer_device_uri(std::string_view layout);

// The custom paper of a printer model as the print system names it when the PPD offers it:
// "custom_500x700mm_500x700mm" for the Q800X.
std::string custom_paper_media(std::string_view printer_model);

// What the set-up reports as it goes, from the thread it runs on.
struct SetupProgress {
    std::function<void(int)> position;
    // An error of the print system, shown in an OK box; the set-up goes on.
    std::function<void(const std::string&)> spooler_error;
    // The printer list could not be fetched.
    std::function<void()> list_error;
};

struct SetupOutcome {
    VirtualPrinterSetupResult code = kSetupCompleted;
    // What failed, for the codes of 20 and above.
    std::string detail;
};

// The whole configuration, in order. Nothing is deleted before every prerequisite holds (the
// print system answers, it offers the driver, the operator may administer it, the hot folders
// are ones the backend delivers to: inside the home of the operator, an ordinary user, the
// operator's own from the home down and writable by nobody else), only the program's own nine
// queues are deleted, and a request that is refused for want of rights or gets no answer ends the
// set-up with what it was. Runs the Part's waits on the calling thread, so it must not be called on
// the user-interface thread.
SetupOutcome configure_virtual_printers(settings::PrintSpooler& spooler,
                                        const SetupProgress& progress);

// What the set-up says when the hot folders are none the virtual printers deliver to, before
// the problems it found.
inline constexpr std::string_view kHotFolderRefusedText =
    "Virtual printer setup stopped: the virtual printers save only into hot folders inside the "
    "home folder of an ordinary user (the operator, not root), in folders of that user's that "
    "nobody else may write. Start Velquorin as the operator, with its data folder "
    "(XDG_DATA_HOME, ~/.local/share unless set) inside the home folder.";

// The one message the caller shows for an outcome.
std::string virtual_printer_setup_message(const SetupOutcome& outcome);

// What to do when the print system does not let the user who runs the program add printers.
std::string not_allowed_to_add_printers_text();

}  // namespace settings
