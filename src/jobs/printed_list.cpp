#include "jobs/printed_list.h"

#include <time.h>

#include <cstdio>
#include <filesystem>
#include <optional>

#include "config/program_globals.h"
#include "engine/printed_jobs_folder.h"
#include "jobs/job_intake.h"
#include "platform/files.h"
#include "platform/ui/controls.h"
#include "platform/ui/list_ctrl.h"
#include "platform/ui/message_box.h"
#include "platform/ui/ui_thread.h"

namespace {

namespace ui = platform::ui;
using Kind = platform::EntryStatus::Kind;

constexpr std::string_view kCaption = "Printed List";
constexpr ui::Size kClientSize{840, 460};
// A failure report names at most this many files, then how many more there are.
constexpr std::size_t kReportedNames = 10;

long long wall_clock_seconds() {
    struct timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return now.tv_sec;
}

std::string time_text(const platform::LocalTime& t) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day,
                  t.hour, t.minute, t.second);
    return text;
}

// The dialog's own boxes carry its caption; Delete All's are the application's.
void tell(std::string_view text) {
    ui::message_box(text, kCaption, ui::Buttons::Ok);
}

std::string names_report(std::string_view heading, const std::vector<std::string>& names) {
    std::string text(heading);
    for (std::size_t i = 0; i < names.size() && i < kReportedNames; ++i) {
        text += "\n" + names[i];
    }
    if (names.size() > kReportedNames) {
        text += "\n... and " + std::to_string(names.size() - kReportedNames) + " more";
    }
    return text;
}

}  // namespace

printedlist::printedlist() : Dialog(kCaption, kClientSize) {
    list_ = &add<ui::ListCtrl>(IDC_PRINTED_JOBS_LIST, ui::Rect::from_size(10, 10, 820, 400));
    add<ui::Button>(IDC_PRINTED_DELETE, ui::Rect::from_size(10, 422, 100, 28), "Delete");
    add<ui::Button>(IDC_PRINTED_REVERT, ui::Rect::from_size(120, 422, 120, 28), "Revert to JOB");
    add<ui::Button>(IDC_PRINTED_DELETE_ALL, ui::Rect::from_size(250, 422, 100, 28), "Delete All");
    add<ui::Button>(ui::kIdCancel, ui::Rect::from_size(730, 422, 100, 28), "Cancel");
    on_command(IDC_PRINTED_DELETE, [this] { OnBnClickedDelete(); });
    on_command(IDC_PRINTED_REVERT, [this] { OnBnClickedRevertToJob(); });
    on_command(IDC_PRINTED_DELETE_ALL, [this] { OnBnClickedDeleteAll(); });
}

void printedlist::on_init_dialog() {
    if (list_->column_count() == 0) {
        list_->insert_column(job_title, "Job Title", 600, ui::Align::Centre);
        list_->insert_column(printed_time, "Printed time", 200, ui::Align::Centre);
    }
    list_->delete_all_items();
    // The history grows by a folder per printed copy: the rows go in unpainted, once.
    list_->set_redraw(false);
    listing_started_ = wall_clock_seconds();
    ListPrintedFolder(g_printed_folder);
    list_->set_redraw(true);
}

void printedlist::append_row(const std::string& path, const std::string& time) {
    const int row = list_->insert_item(list_->item_count(), path);
    list_->set_item_text(row, printed_time, time);
}

void printedlist::ListPrintedFolder(const std::string& folder) {
    // An unset folder would make the clean-up below delete files in the file system's root.
    if (folder.empty()) {
        return;
    }
    const auto entries = platform::list_folder(folder);
    if (!entries) {
        return;
    }
    for (const platform::FolderEntry& entry : *entries) {
        const std::string path = job_file_path(folder, entry.name);
        // Asked of the entry itself: nothing is opened and no link followed.
        const std::optional<platform::EntryStatus> status = platform::entry_status(path);
        if (!status) {
            continue;  // gone since the folder was read
        }
        switch (status->kind) {
            case Kind::Folder:
                // A folder the job printer made a moment ago may still wait for its file.
                if (listing_started_ - status->modified_seconds >= kFreshFolderSeconds) {
                    platform::remove_empty_folder(path);
                }
                ListPrintedFolder(path);
                break;
            case Kind::RegularFile:
                if (has_prn_extension(entry.name)) {
                    append_row(path, time_text(status->modified));
                } else if (!has_bmp_extension(entry.name) && platform::writer_ruled_out(path)) {
                    // Only once nothing writes it: the job printer files each copy under a
                    // hidden temporary name first, and one in progress would be lost with it.
                    // One that a copy cut off left behind goes here.
                    platform::delete_file(path);
                }
                break;
            case Kind::Other:
                // A link, a pipe or a device is no print file; deleting it removes only the
                // entry, never what a link leads to.
                platform::delete_file(path);
                break;
        }
    }
}

std::vector<std::string> printedlist::DeleteFolderTree(const std::string& folder) {
    std::vector<std::string> stayed;
    if (folder.empty()) {
        return stayed;
    }
    const auto entries = platform::list_folder(folder);
    if (!entries) {
        stayed.push_back(folder);
        return stayed;
    }
    for (const platform::FolderEntry& entry : *entries) {
        const std::string path = job_file_path(folder, entry.name);
        // A link is never a folder here: it is deleted itself, its target left alone.
        if (entry.is_folder) {
            std::vector<std::string> inner = DeleteFolderTree(path);
            stayed.insert(stayed.end(), inner.begin(), inner.end());
            if (!platform::remove_empty_folder(path) && inner.empty()) {
                stayed.push_back(path);
            }
        } else if (!platform::delete_file(path) && platform::exists(path)) {
            stayed.push_back(path);
        }
    }
    return stayed;
}

void printedlist::OnBnClickedDelete() {
    const int row = list_->next_selected();
    if (row < 0) {
        tell("Please select a row to delete.");
        return;
    }
    const std::string path = list_->item_text(row, job_title);
    if (!platform::exists(path)) {
        return;
    }
    // The row goes only with its file, so a file still in place is not hidden until the next
    // opening.
    if (!platform::delete_file(path)) {
        tell("The printed file could not be deleted:\n" + path);
        return;
    }
    list_->delete_item(row);
}

void printedlist::OnBnClickedRevertToJob() {
    const int row = list_->next_selected();
    if (row < 0) {
        tell("Please select a row to restore!");
        return;
    }
    const std::filesystem::path path = list_->item_text(row, job_title);
    if (!platform::exists(path)) {
        return;
    }
    // A print file runs to 1.7 GB: copied off the window's thread, which serves the workers'
    // calls meanwhile, as Save does.
    bool copied = false;
    ui::run_on_helper_thread([&] { copied = revert_printed_job(path); });
    if (!copied) {
        tell("The print job could not be copied into the job folder:\n" + path.string());
        return;
    }
    tell("Succeeded, A new print job has been copied, Please check it ");
}

bool revert_printed_job(const std::filesystem::path& path) {
    // The folder is new, so nothing is in the way of the name.
    return engine::put_into_new_dated_folder(
        g_job_folder, path,
        [](const auto& from, const auto& to) { return platform::copy_file_into_place(from, to); });
}

void printedlist::OnBnClickedDeleteAll() {
    if (ui::message_box("Are you sure you want to delete all the printed file? If so, click "
                        "'Yes' to clear, and then click 'No' to exit.",
                        {}, ui::Buttons::YesNo) != ui::Answer::Yes) {
        return;
    }
    const std::vector<std::string> stayed = DeleteFolderTree(g_printed_folder);
    // A row goes with its file; what could not be deleted keeps its row and is named.
    list_->set_redraw(false);
    for (int row = list_->item_count() - 1; row >= 0; --row) {
        if (!platform::exists(list_->item_text(row, job_title))) {
            list_->delete_item(row);
        }
    }
    list_->set_redraw(true);
    if (stayed.empty()) {
        ui::message_box("All the task was cleared successfully", {}, ui::Buttons::Ok);
    } else {
        ui::message_box(names_report("These printed files could not be deleted:", stayed), {},
                        ui::Buttons::Ok);
    }
}

void open_printed_list(platform::ui::Dialog* parent) {
    printedlist dialog;
    ui::run_modal_over(dialog, parent, ui::kDialogGrey);
}
