// The commands that open a small dialog: the after-print command chooser of a printing row,
// the per-job print settings of a job row, and the import's wait dialog.

#include "app/after_print_chooser.h"
#include "app/import_wait_dialog.h"
#include "app/job_lists.h"
#include "app/job_queue_list.h"
#include "app/printing_list.h"
#include "app/velquorin_dlg.h"
#include "jobs/job_print_settings.h"
#include "platform/ui/message_box.h"

namespace {

namespace ui = platform::ui;

}  // namespace

void CvelquorinDlg::OnBnClickedAfterPrintCommand() {
    cprocess& printing = printing_list();
    const int row = printing.next_selected();
    if (row < 0) {
        ui::message_box("No task selected.");
        return;
    }
    if (printing.item_text(row, PrintRow::state) == JobState::printing) {
        ui::message_box("Tasks are executing and instructions cannot be added.");
        return;
    }
    // The chooser writes the row itself, into the job it was opened for.
    after_print_chooser_->set_background(ui::kDialogGrey);
    ascadd::SetJob(row, printing.item_text(row, PrintRow::after_print_command));
    after_print_chooser_->do_modal();
}

void CvelquorinDlg::OnJobSet() {
    MyListCtrl& jobs = job_queue_list();
    const int row = jobs.next_selected();
    // The menu offered Set for a "Wait" row; the row is read again now that it was chosen.
    if (row < 0 || jobs.item_text(row, JobRow::state) != JobState::wait) {
        return;
    }
    print_settings_->set_background(ui::kDialogGrey);
    printingset::SetJob(row, jobs.item_text(row, JobRow::print_mode));
    print_settings_->do_modal();
}

void CvelquorinDlg::OnShowWaitDialog() {
    if (g_wait_dialog == nullptr) {
        return;
    }
    g_wait_dialog->set_background(ui::kDialogGrey);
    g_wait_dialog->do_modal();
}

void CvelquorinDlg::OnCloseWaitDialog() {
    if (g_wait_dialog != nullptr) {
        g_wait_dialog->OnClose();
    }
}
