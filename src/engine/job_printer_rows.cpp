#include "engine/job_printer_rows.h"

#include <filesystem>

#include "config/program_globals.h"
#include "engine/job_list_rows.h"
#include "engine/main_window_access.h"
#include "engine/printed_jobs_folder.h"
#include "platform/files.h"
#include "platform/ui/message_box.h"
#include "platform/ui/ui_thread.h"

namespace engine {

namespace {

namespace ui = platform::ui;

constexpr const char* kNotFiledText =
    "The printed file could not be moved into the printed-jobs folder; it stays in the job "
    "queue:\n";
constexpr const char* kNotDeletedText =
    "The print file could not be deleted; it stays in the job queue:\n";

ui::ListCtrl* printing_list() {
    return main_window_list(IDC_PRINTING_LIST);
}

ui::ListCtrl* job_list() {
    return main_window_list(IDC_JOB_QUEUE_LIST);
}

// Runs change on the job's row of list in one call; nothing when the list or the row is gone.
template <class Change>
void change_row(ui::ListCtrl* list, int path_column, const std::string& path, Change change) {
    if (list == nullptr) {
        return;
    }
    ui::ui_call([&] {
        const int row = find_row_with_path(*list, path_column, path);
        if (row >= 0) {
            change(*list, row);
        }
    });
}

// The row loses its selection; the next row becomes selected and focused.
void select_next_row(ui::ListCtrl& list, int row) {
    list.set_item_state(row, 0, ui::kItemSelected | ui::kItemFocused);
    if (row + 1 < list.item_count()) {
        list.set_item_state(row + 1, ui::kItemSelected | ui::kItemFocused,
                            ui::kItemSelected | ui::kItemFocused);
    }
}

// The results are not looked at: a folder that could not be made leaves the print file where
// it is. The copy shows at its name only once it is whole, so a copy cut off (the program
// ended, a full disk) never leaves a cut-short file in the history to be reverted and printed.
void copy_into_history(const std::string& path) {
    const std::filesystem::path file(path);
    if (const auto folder = new_dated_folder(g_printed_folder)) {
        platform::copy_file_into_place(file, *folder / file.filename());
    }
}

// The printed-jobs folder may be on another file system than the job folder, and the
// history's Delete All may take the new folder away meanwhile: false when the file is still
// in the job folder, and no empty dated folder is left for it.
bool move_into_history(const std::string& path) {
    return put_into_new_dated_folder(g_printed_folder, path, platform::move_file_across);
}

}  // namespace

std::optional<PrintRowOptions> read_print_row_options(const std::string& path) {
    ui::ListCtrl* list = printing_list();
    if (list == nullptr) {
        return std::nullopt;
    }
    return ui::ui_call([&]() -> std::optional<PrintRowOptions> {
        const int row = find_row_with_path(*list, PrintRow::job_path, path);
        if (row < 0) {
            return std::nullopt;
        }
        return PrintRowOptions{list->item_text(row, PrintRow::embossed_3d),
                               list->item_text(row, PrintRow::direction)};
    });
}

std::string printing_cell(const std::string& path, int column) {
    std::string text;
    change_row(printing_list(), PrintRow::job_path, path,
               [&](ui::ListCtrl& list, int row) { text = list.item_text(row, column); });
    return text;
}

void set_printing_cell(const std::string& path, int column, std::string_view text) {
    change_row(printing_list(), PrintRow::job_path, path,
               [&](ui::ListCtrl& list, int row) { list.set_item_text(row, column, text); });
}

void delete_printing_row(const std::string& path) {
    change_row(printing_list(), PrintRow::job_path, path,
               [](ui::ListCtrl& list, int row) { list.delete_item(row); });
}

void set_job_state(const std::string& path, std::string_view state) {
    change_row(job_list(), JobRow::job_path, path,
               [&](ui::ListCtrl& list, int row) { list.set_item_text(row, JobRow::state, state); });
}

void show_media_out(const std::string& path) {
    set_printing_cell(path, PrintRow::state, JobState::media_out);
    change_row(job_list(), JobRow::job_path, path, [](ui::ListCtrl& list, int row) {
        if (list.item_text(row, JobRow::state) != JobState::wait) {
            list.set_item_text(row, JobRow::state, JobState::ready_to_print);
        }
    });
}

bool commit_job_rows(const std::string& path) {
    ui::ListCtrl* printing = printing_list();
    ui::ListCtrl* jobs = job_list();
    if (printing == nullptr) {
        return false;
    }
    // One call: Remove from printing, which refuses a row that reads "Printing", is served
    // either before it (no row: no print) or after it (refused). Only from the first row: a
    // job taken out and sent again meanwhile has a new row at the end, behind the jobs that
    // wait before it, and is printed when that row comes first.
    return ui::ui_call([&] {
        const int row = find_row_with_path(*printing, PrintRow::job_path, path);
        if (row != 0) {
            return false;
        }
        if (jobs != nullptr) {
            const int job_row = find_row_with_path(*jobs, JobRow::job_path, path);
            if (job_row >= 0) {
                jobs->set_item_text(job_row, JobRow::state, JobState::printing);
            }
        }
        printing->set_item_text(row, PrintRow::state, JobState::printing);
        return true;
    });
}

int count_down_copies(const std::string& path, bool was_stopped) {
    int copies = 0;
    change_row(printing_list(), PrintRow::job_path, path, [&](ui::ListCtrl& list, int row) {
        copies = copies_for(list.item_text(row, PrintRow::copies));
        if (copies > 1 && !was_stopped) {
            list.set_item_text(row, PrintRow::copies, std::to_string(copies - 1));
        } else {
            list.delete_item(row);
        }
    });
    return copies;
}

void file_printed_job(const std::string& path, bool was_stopped, int copies,
                      const JobSettings& settings) {
    ui::ListCtrl* jobs = job_list();
    if (jobs == nullptr) {
        return;
    }
    enum class FileAction { Keep, Delete, CopyIntoHistory, MoveIntoHistory };
    const FileAction action = ui::ui_call([&] {
        const int row = find_row_with_path(*jobs, JobRow::job_path, path);
        if (row < 0) {
            return FileAction::Keep;
        }
        if (was_stopped) {
            if (settings.keep_cancelled) {
                jobs->set_item_text(row, JobRow::state, JobState::wait);
                select_next_row(*jobs, row);
                return FileAction::Keep;
            }
            return FileAction::Delete;
        }
        if (copies > 1) {
            jobs->set_item_text(row, JobRow::state, JobState::ready_to_print);
            jobs->set_item_text(row, JobRow::copies, std::to_string(copies));
            select_next_row(*jobs, row);
            return settings.keep_printed ? FileAction::CopyIntoHistory : FileAction::Keep;
        }
        // Moved or deleted first, and the row deleted only once the file has left the job
        // folder.
        return settings.keep_printed ? FileAction::MoveIntoHistory : FileAction::Delete;
    });
    // A file that could not leave the job folder keeps its row, reading "Wait", and the
    // operator is told which it is: without its row it would be printed again at the next
    // start, unseen.
    const auto row_goes_with_file = [&](bool gone, const char* not_gone_text) {
        if (gone) {
            change_row(jobs, JobRow::job_path, path,
                       [](ui::ListCtrl& list, int row) { list.delete_item(row); });
            return;
        }
        set_job_state(path, JobState::wait);
        ui::message_box(not_gone_text + path, "", ui::Buttons::Ok, ui::Icon::Warning);
    };
    switch (action) {
        case FileAction::Keep:
            break;
        case FileAction::Delete:
            row_goes_with_file(platform::delete_file(path), kNotDeletedText);
            break;
        case FileAction::CopyIntoHistory:
            copy_into_history(path);
            break;
        case FileAction::MoveIntoHistory:
            row_goes_with_file(move_into_history(path), kNotFiledText);
            break;
    }
}

}  // namespace engine
