#include "jobs/virtual_hot_folder_collector.h"

#include <sys/stat.h>

#include <array>
#include <string_view>

#include "config/program_globals.h"
#include "engine/monitoring_thread.h"
#include "engine/step_settings.h"
#include "engine/virtual_print_settings.h"
#include "jobs/job_intake.h"
#include "platform/ui/message_box.h"

namespace {

// The layouts in the order a PDF's folder is compared with theirs.
constexpr std::array<std::string_view, 9> kMatchOrder = {
    "kcmy", "wwww", "kcmywwww", "wwwwkcmy", "ww", "vv", "kcmyww", "wwkcmy", "wwwwwwww"};

std::string hot_folder_root() {
    return job_file_path(g_settings_root, engine::kVirtualHotFolder);
}

std::string spool_path(const std::string& name) {
    return job_file_path(g_spool_folder, name);
}

// Asked of the entry itself, a link not followed.
bool is_other_than_a_file(const std::string& path) {
    const std::optional<platform::EntryStatus> status = platform::entry_status(path);
    return status && status->kind == platform::EntryStatus::Kind::Other;
}

}  // namespace

std::optional<std::string> layout_settings_file(const std::string& folder) {
    const std::string root = hot_folder_root();
    for (std::string_view layout : kMatchOrder) {
        if (folder == job_file_path(root, layout)) {
            const std::string settings =
                job_file_path(g_settings_root, engine::kVirtualPrintingSettingsFolder);
            return job_file_path(settings, std::string(layout) + ".ini");
        }
    }
    return std::nullopt;
}

VirtualHotFolderCollector::VirtualHotFolderCollector(Monitoring_thread& worker,
                                                     platform::FinishedFiles::AskFile ask_file)
    : worker_(worker),
      // Without a watch (the system gives no more instances) every file that the file itself
      // cannot tell of waits for the quiet time.
      watch_(platform::WriteWatch::create()),
      finished_(watch_.get(), kCollectorQuietMs, std::move(ask_file)) {}

void VirtualHotFolderCollector::sweep() {
    // Unset folders would send the walk through the file system's root and the PDFs into it.
    if (g_settings_root.empty() || g_spool_folder.empty()) {
        return;
    }
    const std::string root = hot_folder_root();
    watch_tree(root);
    scan_virtual_hot_folder(root);
    forget_gone_sources();
}

// Before the pass, so that every file made from now on is seen from its start.
void VirtualHotFolderCollector::watch_tree(const std::string& root) {
    struct stat now {};
    if (watch_ == nullptr || ::stat(root.c_str(), &now) != 0) {
        return;
    }
    if (watching_ && now.st_dev == watched_device_ && now.st_ino == watched_inode_) {
        return;
    }
    watching_ = watch_->watch_tree(root);
    watched_device_ = now.st_dev;
    watched_inode_ = now.st_ino;
}

void VirtualHotFolderCollector::scan_virtual_hot_folder(const std::string& folder) {
    const auto entries = platform::list_folder(folder);
    if (!entries) {
        return;  // a missing folder holds nothing to collect
    }
    for (const platform::FolderEntry& entry : *entries) {
        if (worker_.stop_requested()) {
            return;
        }
        const std::string path = job_file_path(folder, entry.name);
        if (entry.is_folder) {
            scan_virtual_hot_folder(path);
        } else if (is_other_than_a_file(path)) {
            // A link, a pipe or a device is nothing a virtual printer writes: it is neither
            // followed nor opened, and deleting it removes only the entry, never what a link
            // leads to.
            platform::delete_file(path);
            worker_.pause(kCollectorDeletePauseMs);
        } else if (has_pdf_extension(path)) {
            collect_pdf(path);
        } else if (finished_.finished(path)) {
            // Only once nothing writes it: an open file can be deleted here, and a virtual
            // printer's file in progress (its hidden temporary file) would be destroyed with it.
            platform::delete_file(path);
            worker_.pause(kCollectorDeletePauseMs);
        }
    }
}

// The virtual printers' backend writes each PDF under a hidden temporary name, flushes it and
// renames it to its PDF name before it closes it, as the hot folder's owner: a PDF that appears
// is complete. Anything else that writes here is another matter, so a PDF counts as finished
// only when no writer can remain; until then it waits for a later sweep rather than being
// handed on half written and its source deleted.
void VirtualHotFolderCollector::collect_pdf(const std::string& path) {
    if (!finished_.finished(path)) {
        return;
    }
    const std::optional<platform::EntryStatus> status = platform::entry_status(path);
    if (!status || status->kind != platform::EntryStatus::Kind::RegularFile) {
        return;
    }
    const auto sent = undeletable_.find(path);
    if (sent != undeletable_.end() && sent->second.unchanged(status)) {
        // Already with the RIP: only the deletion is tried again.
        if (platform::delete_file(path)) {
            undeletable_.erase(sent);
            worker_.pause(kCollectorDeletePauseMs);
        }
        return;
    }

    // The title is the name less its ".pdf"; a taken name gets "1-", "2-", ... in front.
    const std::string_view name = std::string_view(path).substr(path.rfind('/') + 1);
    const std::string title(name.substr(0, name.size() - 4));
    std::string base = title;
    for (int n = 1; platform::exists(spool_path(base + ".pdf")); ++n) {
        base = std::to_string(n) + "-" + title;
    }
    if (!hand_to_spool(path, base)) {
        tell_not_handed_on(path);
        return;
    }
    failures_told_.erase(path);

    if (!platform::delete_file(path)) {
        // Sending it again every sweep would flood the RIP with copies of one document.
        undeletable_[path] = SentSource{*status};
        platform::ui::message_box(
            "The PDF was handed to the RIP but could not be deleted from its folder; it is not "
            "sent again:\n" +
                path,
            {}, platform::ui::Buttons::Ok, platform::ui::Icon::Warning);
        return;
    }
    undeletable_.erase(path);
    worker_.pause(kCollectorDeletePauseMs);
}

bool VirtualHotFolderCollector::hand_to_spool(const std::string& path, const std::string& base) {
    const std::string pdf = spool_path(base + ".pdf");
    const std::string ini = spool_path(base + ".ini");
    // The settings first: the RIP takes a PDF as soon as it appears, and must find them there.
    // A stray file of that name goes (the entry itself: a link there is not written through).
    bool ini_written = false;
    const std::optional<std::string> settings =
        layout_settings_file(path.substr(0, path.rfind('/')));
    if (settings && platform::exists(*settings)) {
        platform::delete_file(ini);
        if (!platform::copy_file_into_place(*settings, ini)) {
            return false;
        }
        ini_written = true;
    }
    // Then the PDF whole, under a hidden name the RIP does not take, put into place and on the
    // disk with the folder's names, so that a power loss after the source is deleted cannot
    // leave a cut-short copy as the only one; a link put at the source's name meanwhile is not
    // followed out of the hot folder.
    if (platform::copy_file_into_place(path, pdf, platform::Links::NotFollowed)) {
        return true;
    }
    if (ini_written) {
        platform::delete_file(ini);
    }
    return false;
}

void VirtualHotFolderCollector::tell_not_handed_on(const std::string& path) {
    if (!failures_told_.insert(path).second) {
        return;
    }
    platform::ui::message_box("The PDF could not be put into the spool folder " + g_spool_folder +
                                  "; it stays where it is and is tried again:\n" + path,
                              {}, platform::ui::Buttons::Ok, platform::ui::Icon::Warning);
}

void VirtualHotFolderCollector::forget_gone_sources() {
    for (auto it = undeletable_.begin(); it != undeletable_.end();) {
        it = it->second.unchanged(platform::entry_status(it->first)) ? std::next(it)
                                                                     : undeletable_.erase(it);
    }
    for (auto it = failures_told_.begin(); it != failures_told_.end();) {
        it = platform::exists(*it) ? std::next(it) : failures_told_.erase(it);
    }
}

void collect_virtual_hot_folders(Monitoring_thread& worker) {
    VirtualHotFolderCollector collector(worker);
    while (!worker.stop_requested()) {
        collector.sweep();
        worker.pause(kCollectorSweepPauseMs);
    }
}
