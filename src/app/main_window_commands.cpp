// The main window's commands wired to their buttons, menu items and list notifications, the
// job queue's context menu and the moving of job rows.

#include "app/app_globals.h"
#include "app/job_lists.h"
#include "app/job_queue_list.h"
#include "app/main_window_ids.h"
#include "app/printing_list.h"
#include "app/velquorin_dlg.h"
#include "jobs/printed_list.h"
#include "maintenance/print_maintenance.h"
#include "platform/ui/menu.h"
#include "platform/ui/message_box.h"
#include "settings/rotary_print_set.h"
#include "settings/setting_dialog.h"

namespace {

namespace ui = platform::ui;

constexpr unsigned kSelectedFocused = ui::kItemSelected | ui::kItemFocused;

}  // namespace

void CvelquorinDlg::connect_commands() {
    on_command(IDC_IMPORT_BUTTON, [this] { OnBnClickedImport(); });
    on_command(IDC_SAVE_BUTTON, [this] { OnBnClickedSave(); });
    on_command(IDC_PRINT_BUTTON, [this] { OnBnClickedPrint(); });
    on_command(IDC_DELETE_BUTTON, [this] { OnBnClickedDelete(); });
    on_command(IDC_REMOVE_BUTTON, [this] { OnBnClickedRemove(); });
    on_command(IDC_AFTER_PRINT_BUTTON, [this] { OnBnClickedAfterPrintCommand(); });
    on_command(IDC_PREVIEW_BUTTON, [this] { OnBnClickedPreview(); });
    on_command(IDC_PRINTED_LIST_BUTTON, [this] { open_printed_list(this); });
    on_command(IDC_ROTARY_BUTTON, [this] { open_rotary_print_set(this); });
    on_command(IDC_MAINTENANCE_BUTTON, [] { maintenance::open_print_maintenance(); });
    on_command(IDC_NEW_JOB_BUTTON, [this] { OnBnClickedNewJob(); });
    connect_tray_commands();

    job_queue_->on_item_changed(
        [this](const ui::ItemChange& change) { OnLvnItemchangedJobQueue(change); });
    job_queue_->on_text_changed(
        [this](int item, int column) { OnJobQueueTextChanged(item, column); });
    job_queue_->on_right_click([this](int, ui::Point) { OnNMRClickJobQueue(); });
    printing_->on_item_changed(
        [this](const ui::ItemChange& change) { OnLvnItemchangedPrinting(change); });
    printing_->on_text_changed([this](int item, int column) {
        // The chooser's button follows the selected row's state, as the job buttons do.
        if (column == PrintRow::state && printing_->item_state(item, ui::kItemSelected) != 0) {
            OnLvnItemchangedPrinting(ui::ItemChange{item, 0, 0});
        }
    });
    printing_->on_click([this](int, int) { OnNMClickPrinting(); });

    on_message(WM_SHOW_WAIT_DIALOG, [this](std::uintptr_t, std::intptr_t) {
        OnShowWaitDialog();
        return std::intptr_t{0};
    });
    on_message(WM_CLOSE_WAIT_DIALOG, [this](std::uintptr_t, std::intptr_t) {
        OnCloseWaitDialog();
        return std::intptr_t{0};
    });
}

void CvelquorinDlg::OnNMRClickJobQueue() {
    MyListCtrl& jobs = job_queue_list();
    const int row = jobs.next_selected();
    if (row < 0) {
        return;
    }
    const std::string state = jobs.item_text(row, JobRow::state);
    const bool no_analysis = state == JobState::error || state == JobState::generating_data;
    ui::Menu menu;
    menu.add_item(ID_JOB_MOVE_UP, "Move Up")
        .add_item(ID_JOB_MOVE_DOWN, "Move Down")
        .add_item(ID_JOB_SET, "Set", state != JobState::wait)
        .add_item(ID_JOB_PREVIEW, "Preview", no_analysis)
        .add_item(ID_JOB_PRINT_TIME_ESTIMATE, "Print Time Estimate", no_analysis)
        .add_item(ID_JOB_INK_COST, "Ink consumption calculation", no_analysis);
    switch (menu.track(ui::cursor_pos())) {
        case ID_JOB_MOVE_UP:
            OnJobMoveUp();
            break;
        case ID_JOB_MOVE_DOWN:
            OnJobMoveDown();
            break;
        case ID_JOB_SET:
            OnJobSet();
            break;
        case ID_JOB_PREVIEW:
            OnBnClickedPreview();
            break;
        case ID_JOB_PRINT_TIME_ESTIMATE:
            OnJobPrintTimeEstimate();
            break;
        case ID_JOB_INK_COST:
            OnJobInkCost();
            break;
        default:
            break;
    }
}

void CvelquorinDlg::OnJobMoveUp() {
    move_job(-1);
}

void CvelquorinDlg::OnJobMoveDown() {
    move_job(1);
}

void CvelquorinDlg::move_job(int step) {
    MyListCtrl& jobs = job_queue_list();
    const int row = jobs.next_selected();
    if (row < 0) {
        return;
    }
    if (step < 0 && row == 0) {
        ui::message_box("Is at First rows");
        return;
    }
    if (step > 0 && row == jobs.item_count() - 1) {
        ui::message_box("Is at last rows");
        return;
    }
    // The queue's order is for the eye only; the print order is the printing list's.
    const JobRowTexts texts = read_job_row(jobs, row);
    jobs.delete_item(row);
    const int moved = jobs.insert_item(row + step, texts[JobRow::job_path]);
    for (int column = 1; column < JobRow::kColumnCount; ++column) {
        jobs.set_item_text(moved, column, texts[column]);
    }
    jobs.set_item_state(moved, kSelectedFocused, kSelectedFocused);
}
