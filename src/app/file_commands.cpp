// Delete and Save of the selected job's print file.

#include "app/file_commands.h"

#include <filesystem>

#include "analysis/printpreview.h"
#include "app/job_lists.h"
#include "app/job_queue_list.h"
#include "app/printing_list.h"
#include "app/velquorin_dlg.h"
#include "jobs/job_intake.h"
#include "platform/files.h"
#include "platform/ui/file_dialog.h"
#include "platform/ui/message_box.h"
#include "platform/ui/ui_thread.h"

namespace {

namespace ui = platform::ui;

constexpr std::string_view kDeleteFailed = "Delete failed, file open, read-only or in use!";

}  // namespace

std::string preview_path(const std::string& prn_path) {
    return preview_bitmap_path(prn_path);
}

void CvelquorinDlg::OnBnClickedDelete() {
    const std::optional<SelectedJob> selected =
        selected_job("Please select the item", "No selected");
    if (!selected) {
        return;
    }
    const std::string& path = selected->path;
    // Deleting an open file succeeds here, so the job being printed would vanish under the
    // job printer: its file is refused as a file in use is, and its preview goes all the same.
    const cprocess& printing = printing_list();
    bool failed = printing.item_text(0, PrintRow::job_path) == path &&
                  printing.item_text(0, PrintRow::state) == JobState::printing;
    if (!failed && platform::exists(path)) {
        if (platform::delete_file(path)) {
            // The synchroniser selects the row that takes its place when the removal arrives.
            g_deleted_job_path = path;
        } else {
            failed = true;
        }
    }
    const std::string preview = preview_path(path);
    if (platform::exists(preview)) {
        platform::delete_file(preview);
    }
    if (failed) {
        ui::message_box(kDeleteFailed);
    }
}

void CvelquorinDlg::OnBnClickedSave() {
    const std::optional<SelectedJob> selected =
        selected_job("Please select one item and save it", "No selected");
    if (!selected || !platform::exists(selected->path)) {
        return;
    }
    const std::string& path = selected->path;
    ui::FileDialogOptions options;
    options.title = "Save File";
    options.filters = {{"Postscript file(*.prn)", "*.prn"}, {"All Typle(*.*)", "*.*"}};
    options.default_extension = "prn";
    options.overwrite_prompt = true;
    const std::optional<std::string> target = ui::save_file_dialog(options);
    if (!target) {
        return;
    }
    // Print files run to hundreds of MB: the copy must not hold up the workers' calls.
    bool copied = false;
    ui::run_on_helper_thread(
        [&] { copied = platform::copy_file(path, *target, platform::CopyMode::Overwrite); });
    if (copied) {
        ui::message_box("file saved successfully");
    } else {
        ui::message_box("The print file could not be saved to " + *target + ".");
    }
}
