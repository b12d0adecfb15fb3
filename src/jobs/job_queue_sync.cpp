#include "jobs/job_queue_sync.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "config/program_globals.h"
#include "engine/job_list_rows.h"
#include "engine/main_window_access.h"
#include "engine/monitoring_thread.h"
#include "jobs/hot_folder_watch.h"
#include "jobs/job_intake.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/ui/list_ctrl.h"
#include "platform/ui/ui_thread.h"

namespace ui = platform::ui;

namespace {

// Asked of the entry itself, a link not followed.
bool is_other_than_a_file(const std::string& path) {
    const std::optional<platform::EntryStatus> status = platform::entry_status(path);
    return status && status->kind == platform::EntryStatus::Kind::Other;
}

// A file name less its last four characters, lower-cased.
std::string lower_stem(std::string_view name) {
    std::string stem(name.substr(0, name.size() - 4));
    std::transform(stem.begin(), stem.end(), stem.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return stem;
}

void set_label(int row_count) {
    if (engine::MainWindowAccess* window = engine::main_window()) {
        window->set_control_text(engine::IDC_JOB_QUEUE_LABEL, job_queue_label(row_count));
    }
}

// A new print file: a row at the end of the job queue, waiting for the analyser. A path that
// already has a row gets no second one: the watch and the start-up scan both report a file
// that arrives between the two, and a second row would never leave "Generating data......"
// while the analyser filled the first twice (a printing row set back to "Wait").
void add_job(const std::string& path) {
    ui::ListCtrl* jobs = engine::main_window_list(IDC_JOB_QUEUE_LIST);
    static constexpr std::array<std::string_view, JobRow::kColumnCount - 1> kNewRow{
        JobState::generating_data, "Unknow", "Unknow", "Unknow", "1", "Unknow", "N/A", "Unknow"};
    // The row and its texts in one call, so an operator's Move Up or Move Down in between
    // cannot send the texts to another row.
    bool added = true;
    const int count = jobs == nullptr ? 0 : ui::ui_call([&] {
        const int n = jobs->item_count();
        if (find_row_with_path(*jobs, JobRow::job_path, path) >= 0) {
            added = false;
            return n;
        }
        const int row = jobs->insert_item(n, path);
        for (int column = 1; column < JobRow::kColumnCount; ++column) {
            jobs->set_item_text(row, column, kNewRow[column - 1]);
        }
        return n + 1;
    });
    if (added) {
        append_pending_job(path);
    }
    set_label(count);
}

struct RemovedRow {
    int count = 0;  // rows before the removal
    int row = -1;   // -1: the path had no row
};

// A print file gone: its place among the jobs awaiting analysis, its job-queue row and its
// first printing-list row, each found with the path's own letter case.
void remove_job(const std::string& path) {
    remove_pending_job(path);
    ui::ListCtrl* jobs = engine::main_window_list(IDC_JOB_QUEUE_LIST);
    if (jobs == nullptr) {
        return;
    }
    // Search, deletion and the Delete command's selection in one call on the user-interface
    // thread: a Move Up in between cannot make it delete another job's row, and
    // g_deleted_job_path is touched on that thread only.
    const RemovedRow removed = ui::ui_call([&] {
        RemovedRow r{jobs->item_count(), find_row_with_path(*jobs, JobRow::job_path, path)};
        if (r.row < 0) {
            return r;
        }
        jobs->delete_item(r.row);
        if (path == g_deleted_job_path) {
            // The row that took the deleted row's place; none when that was the last.
            const unsigned both = ui::kItemSelected | ui::kItemFocused;
            jobs->set_item_state(r.row, both, both);
            g_deleted_job_path.clear();
        }
        return r;
    });
    if (removed.row < 0) {
        // The job printer deletes the row of a job it printed before its file goes: the label
        // is brought back to the rows there are, where it would keep counting that job.
        set_label(removed.count);
        return;
    }
    if (ui::ListCtrl* printing = engine::main_window_list(IDC_PRINTING_LIST)) {
        // Found and deleted in one call, so the job printer's removal of the first row in
        // between cannot make it delete another job's row.
        ui::ui_call([&] {
            const int row = find_row_with_path(*printing, PrintRow::job_path, path);
            if (row >= 0) {
                printing->delete_item(row);
            }
        });
    }
    set_label(removed.count - 1);
}

// The files the start-up scan found to delete (no print file, no preview of one) that some
// writer may still be writing: a RIP that writes "job.tmp" and renames it to "job.prn" once it
// is whole would lose the job. Each goes once no writer can remain, as the synchroniser's
// cycles ask again; one that went meanwhile (renamed to a print file, say), or a preview whose
// print file came meanwhile, is kept.
class ScanLeftovers {
  public:
    // The job folder's watch as the scan begins; what was kept from an earlier scan is
    // forgotten.
    void begin(std::shared_ptr<platform::WriteWatch> writes) {
        writes_ = std::move(writes);
        finished_.emplace(writes_.get(), kUnwatchedQuietMs);
        kept_.clear();
    }

    // `print_file` is the print file a preview stays for, when it comes; empty for other files.
    void remove(const std::string& path, const std::string& print_file = {}) {
        if (!remove_if_finished(path, print_file)) {
            kept_.push_back({path, print_file});
        }
    }

    // At most once a second, since a file of another user costs a look through every process.
    void retry() {
        const std::uint32_t now = platform::tick_count();
        if (kept_.empty() || now - last_retry_tick_ < kRetryMs) {
            return;
        }
        last_retry_tick_ = now;
        std::erase_if(kept_, [&](const Kept& kept) {
            return remove_if_finished(kept.path, kept.print_file);
        });
    }

  private:
    static constexpr std::uint32_t kRetryMs = 1000;
    struct Kept {
        std::string path;
        std::string print_file;
    };

    // True when the file is done with: deleted now, or no longer one to delete.
    bool remove_if_finished(const std::string& path, const std::string& print_file) {
        if (!platform::exists(path) || (!print_file.empty() && platform::exists(print_file))) {
            return true;
        }
        // A link, a pipe or a device is written by nobody through its name: deleting it
        // removes only the entry, never what a link leads to.
        if (!is_other_than_a_file(path) && (!finished_ || !finished_->finished(path))) {
            return false;
        }
        platform::delete_file(path);
        return true;
    }

    std::shared_ptr<platform::WriteWatch> writes_;
    std::optional<platform::FinishedFiles> finished_;
    std::vector<Kept> kept_;
    std::uint32_t last_retry_tick_ = 0;
};

// Used by the synchroniser's thread alone: the scan and the cycles after it.
ScanLeftovers& scan_leftovers() {
    static ScanLeftovers leftovers;
    return leftovers;
}

void scan_folder(const std::string& folder, ScanLeftovers& leftovers);

}  // namespace

void Monitoring_thread::scan_prn_folder(const std::string& folder) {
    scan_leftovers().begin(g_job_folder_writes.load());
    scan_folder(folder, scan_leftovers());
}

namespace {

void scan_folder(const std::string& folder, ScanLeftovers& leftovers) {
    // An unset job folder would make the clean-up below delete files in the file system's root.
    if (folder.empty()) {
        return;
    }
    const auto entries = platform::list_folder(folder);
    if (!entries) {
        return;  // a folder removed just before, or one that cannot be read
    }
    // A preview is named after its print file in that file's letter case ("A.PRN" gets
    // "A.BMP"; one made before the extension followed that case, "A.bmp"), so its print file
    // is looked for without case: every job keeps its own preview.
    std::unordered_set<std::string> print_file_names;
    for (const platform::FolderEntry& entry : *entries) {
        if (!entry.is_folder && has_prn_extension(entry.name)) {
            print_file_names.insert(lower_stem(entry.name));
        }
    }
    for (const platform::FolderEntry& entry : *entries) {
        // The folder, a separator only when it does not end in one, and the name: the watcher
        // builds its paths the same way, so a removal finds the row the scan made.
        const std::string path = job_file_path(folder, entry.name);
        if (entry.is_folder) {
            // Tried before its contents are cleaned, so a folder that the scan empties stays
            // until the next start.
            platform::remove_empty_folder(path);
            scan_folder(path, leftovers);
        } else if (has_prn_extension(entry.name)) {
            append_hot_folder_change(path, kChangeAppeared);
        } else if (has_bmp_extension(entry.name)) {
            // A preview stays only beside its print file.
            const std::string print_file = path.substr(0, path.size() - 4) + ".prn";
            if (!platform::exists(print_file) &&
                !print_file_names.contains(lower_stem(entry.name))) {
                leftovers.remove(path, print_file);
            }
        } else {
            // A copy cut off left its hidden temporary file here (an import's, a revert's),
            // which goes too; one in progress is being written and waits.
            leftovers.remove(path);
        }
    }
}

}  // namespace

namespace job_queue_sync_detail {

void apply_next_change() {
    // Held for the whole change, list calls included; the user-interface thread never takes it.
    std::lock_guard lock(g_job_list_lock);
    const std::optional<HotFolderChange> change = take_hot_folder_change();
    if (!change) {
        return;
    }
    if (change->code == kChangeAppeared) {
        add_job(change->path);
    } else if (change->code == kChangeGone) {
        remove_job(change->path);
    }
}

void retry_scan_leftovers() {
    scan_leftovers().retry();
}

CyclePauses run_sync_cycle(Monitoring_thread& worker) {
    apply_next_change();
    retry_scan_leftovers();
    CyclePauses pauses;
    // Keeps a flood of new files from outrunning the analyser's repainting.
    if (g_pending_job_count.load() > kBusyPendingCount) {
        pauses.busy_ms = kBusyPauseMs;
        worker.pause(pauses.busy_ms);
    }
    if (!hot_folder_changes_waiting()) {
        pauses.idle_ms = kIdlePauseMs;
        worker.pause(pauses.idle_ms);
    }
    return pauses;
}

}  // namespace job_queue_sync_detail

void sync_job_queue(Monitoring_thread& worker) {
    worker.scan_prn_folder(g_job_folder);
    while (!worker.stop_requested()) {
        job_queue_sync_detail::run_sync_cycle(worker);
    }
}
