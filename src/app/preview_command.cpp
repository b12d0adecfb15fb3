// Preview of the selected job: its bitmap is built beside the print file when there is none
// yet (or only one older than the print file), then the preview dialog opens on it. The ink and
// time estimates of the selected job take the same selection and file tests.

#include "analysis/createbmpdlg.h"
#include "analysis/ink_cost_dialogs.h"
#include "analysis/print_time_dialogs.h"
#include "analysis/printpreview.h"
#include "app/job_lists.h"
#include "app/job_queue_list.h"
#include "app/velquorin_dlg.h"
#include "platform/files.h"
#include "platform/ui/message_box.h"

namespace {

namespace ui = platform::ui;

}  // namespace

std::optional<CvelquorinDlg::SelectedJob> CvelquorinDlg::selected_job_file() {
    std::optional<SelectedJob> selected = selected_job("Please select the item", "No selected");
    if (selected && !platform::exists(selected->path)) {
        ui::message_box("Error Can not find the print file");
        return std::nullopt;
    }
    return selected;
}

void CvelquorinDlg::OnJobPrintTimeEstimate() {
    if (const std::optional<SelectedJob> selected = selected_job_file()) {
        run_print_time_estimate(selected->path);
    }
}

void CvelquorinDlg::OnJobInkCost() {
    if (const std::optional<SelectedJob> selected = selected_job_file()) {
        run_ink_cost_estimate(selected->path,
                              job_queue_list().item_text(selected->row, JobRow::embossed_3d));
    }
}

void CvelquorinDlg::OnBnClickedPreview() {
    const std::optional<SelectedJob> selected = selected_job_file();
    if (!selected) {
        return;
    }
    const std::string& path = selected->path;
    const std::string bmp_path = preview_bitmap_path(path);
    if (!preview_bitmap_current(path, bmp_path)) {
        createbmpdlg builder;
        createbmpdlg::SetPaths(bmp_path, path);
        if (ui::run_modal_over(builder, this, ui::kDialogGrey) != createbmpdlg::kEndCode) {
            return;
        }
    }
    // The texts are read now: the row may have moved or changed while the bitmap was built.
    MyListCtrl& jobs = job_queue_list();
    const int row = find_row_with_path(jobs, JobRow::job_path, path);
    if (row < 0) {
        return;
    }
    printpreview::SetPreviewInfo(
        bmp_path, path, jobs.item_text(row, JobRow::print_mode),
        jobs.item_text(row, JobRow::output_size), jobs.item_text(row, JobRow::date_modified),
        jobs.item_text(row, JobRow::resolution), jobs.item_text(row, JobRow::print_direction),
        jobs.item_text(row, JobRow::state));
    printpreview preview;
    ui::run_modal_over(preview, this, ui::kDialogGrey);
}
