// The job buttons and the printing list's chooser button follow the selected rows: on every
// change of a list's selection, and whenever the state of a selected row changes, whoever
// changed it (the analyser, the job printer, a command).

#include "app/job_buttons.h"

#include "app/app_globals.h"
#include "app/job_lists.h"
#include "app/job_queue_list.h"
#include "app/main_window_ids.h"
#include "app/printing_list.h"
#include "app/velquorin_dlg.h"
#include "platform/files.h"

namespace {

namespace ui = platform::ui;

constexpr unsigned kSelectedFocused = ui::kItemSelected | ui::kItemFocused;

}  // namespace

std::optional<JobButtons> job_buttons_for(std::string_view state) {
    if (state == JobState::ready_to_print) {
        return JobButtons{
            .save = true, .print = false, .del = false, .remove = true, .preview = true};
    }
    if (state == JobState::wait) {
        return JobButtons{
            .save = true, .print = true, .del = true, .remove = false, .preview = true};
    }
    if (state == JobState::generating_data) {
        return JobButtons{};
    }
    if (state == JobState::error) {
        return JobButtons{.del = true};
    }
    return std::nullopt;
}

void CvelquorinDlg::enable_job_buttons(const JobButtons& buttons) {
    enable_control(IDC_SAVE_BUTTON, buttons.save);
    enable_control(IDC_PRINT_BUTTON, buttons.print);
    enable_control(IDC_DELETE_BUTTON, buttons.del);
    enable_control(IDC_REMOVE_BUTTON, buttons.remove);
    enable_control(IDC_PREVIEW_BUTTON, buttons.preview);
}

void CvelquorinDlg::set_job_buttons(std::string_view state) {
    if (const std::optional<JobButtons> buttons = job_buttons_for(state)) {
        enable_job_buttons(*buttons);
    }
}

void CvelquorinDlg::OnLvnItemchangedJobQueue(const ui::ItemChange& change) {
    MyListCtrl& jobs = job_queue_list();
    const int selected = jobs.next_selected();
    if (selected < 0) {
        const bool lost_selection = (change.old_state & ui::kItemSelected) != 0 &&
                                    (change.new_state & ui::kItemSelected) == 0;
        const bool focus_left_alone =
            g_job_list_new_state == 0 && g_job_list_old_state == ui::kItemFocused;
        if (lost_selection && !focus_left_alone) {
            enable_job_buttons(JobButtons{});
        }
        return;
    }
    g_job_list_new_state = change.new_state;
    g_job_list_old_state = change.old_state;
    g_selected_job_state = jobs.item_text(selected, JobRow::state);
    if ((change.new_state & kSelectedFocused) == kSelectedFocused &&
        (change.old_state & kSelectedFocused) != kSelectedFocused) {
        set_job_buttons(g_selected_job_state);
    }
}

void CvelquorinDlg::OnJobQueueTextChanged(int item, int sub_item) {
    // The buttons are those of the state the selected row reads now, not of the one it read
    // when it was selected.
    if (sub_item != JobRow::state || job_queue_list().item_state(item, ui::kItemSelected) == 0) {
        return;
    }
    g_selected_job_state = job_queue_list().item_text(item, JobRow::state);
    set_job_buttons(g_selected_job_state);
}

void CvelquorinDlg::OnLvnItemchangedPrinting(const ui::ItemChange&) {
    cprocess& printing = printing_list();
    const int selected = printing.next_selected();
    enable_control(IDC_AFTER_PRINT_BUTTON,
                   printing.selected_count() == 1 &&
                       printing.item_text(selected, PrintRow::state) != JobState::printing);
}

void CvelquorinDlg::OnNMClickPrinting() {
    cprocess& printing = printing_list();
    MyListCtrl& jobs = job_queue_list();
    if (printing.selected_count() != 1) {
        jobs.set_item_state(-1, 0, ui::kItemSelected);
        return;
    }
    const std::string path = printing.item_text(printing.next_selected(), PrintRow::job_path);
    if (!platform::exists(path)) {
        return;
    }
    // The job row of exactly this path: a prefix would find "a.prn.bak" for "a.prn".
    const int row = find_row_with_path(jobs, JobRow::job_path, path);
    if (row < 0) {
        return;
    }
    jobs.set_item_state(row, kSelectedFocused, kSelectedFocused);
    // The fifth visible row, where the list allows.
    jobs.scroll((row - jobs.top_index() - 4) * jobs.row_height());
}
