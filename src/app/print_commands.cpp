// Print sends the selected job to printing; Remove from printing takes it out again.

#include "app/print_commands.h"

#include "app/job_lists.h"
#include "app/job_queue_list.h"
#include "app/printing_list.h"
#include "app/velquorin_dlg.h"
#include "config/program_globals.h"
#include "engine/prn_header.h"
#include "jobs/job_row_texts.h"
#include "platform/files.h"
#include "platform/ui/message_box.h"

namespace {

namespace ui = platform::ui;

constexpr unsigned kSelectedFocused = ui::kItemSelected | ui::kItemFocused;
constexpr std::uint32_t kPrintXDpi = 720;
constexpr std::string_view kCheckAndRetry = " Please check the output size and print again.";

std::string refusal(std::string_view what, std::int32_t size, std::string_view limit_kind,
                    std::int32_t limit) {
    return "The job is " + std::to_string(size) + " mm " + std::string(what) + "; " +
           std::string(limit_kind) + " " + std::to_string(limit) + " mm." +
           std::string(kCheckAndRetry);
}

}  // namespace

std::optional<std::string> print_size_refusal(std::string_view header) {
    std::optional<JobSizeMm> size;
    if (header.size() >= kPrnHeaderSize) {
        PrnHeader fields = parse_prn_header(reinterpret_cast<const std::uint8_t*>(header.data()));
        // The width is measured at the printer's one horizontal resolution; the header's own is
        // not used here (the engine prints only 720 dpi jobs).
        fields.x_dpi = kPrintXDpi;
        size = job_size_mm(fields);
    }
    if (!size) {
        return "The job's output size cannot be read from its print file; jobs of " +
               std::to_string(g_min_width_mm) + " to " + std::to_string(g_max_width_mm) +
               " mm width and up to " + std::to_string(g_max_length_mm) +
               " mm length can be printed." + std::string(kCheckAndRetry);
    }
    if (size->width > g_max_width_mm) {
        return refusal("wide", size->width, "the width is at most", g_max_width_mm);
    }
    if (size->width < g_min_width_mm) {
        return refusal("wide", size->width, "the width is at least", g_min_width_mm);
    }
    if (size->length > g_max_length_mm) {
        return refusal("long", size->length, "the length is at most", g_max_length_mm);
    }
    return std::nullopt;
}

std::optional<CvelquorinDlg::SelectedJob> CvelquorinDlg::selected_job(
    std::string_view none_text, std::string_view none_caption) {
    const int row = job_queue_list().next_selected();
    if (row < 0) {
        ui::message_box(none_text, none_caption);
        return std::nullopt;
    }
    return SelectedJob{row, job_queue_list().item_text(row, JobRow::job_path)};
}

void CvelquorinDlg::OnBnClickedPrint() {
    MyListCtrl& jobs = job_queue_list();
    const std::optional<SelectedJob> selected = selected_job("Please select the print file.");
    if (!selected) {
        return;
    }
    const int row = selected->row;
    // The state is read again at the click: a row the analyser or the job printer has moved on
    // since its buttons were set is not sent.
    if (jobs.item_text(row, JobRow::state) != JobState::wait) {
        return;
    }
    const std::string& path = selected->path;
    if (!platform::exists(path)) {
        ui::message_box(
            "Print File Not Available. Please delete the invalid task manually from the list.");
        return;
    }
    // Up to 120 bytes from the start. A pipe or a device at the name is a file that cannot be
    // opened: the window never waits on it.
    const std::optional<std::string> header = platform::read_regular_file(path, kPrnHeaderSize);
    if (!header) {
        ui::message_box("Print File Not Available.");
        return;
    }
    if (const std::optional<std::string> refused = print_size_refusal(*header)) {
        ui::message_box(*refused, {}, ui::Buttons::Ok);
        return;
    }
    jobs.set_item_text(row, JobRow::state, JobState::ready_to_print);
    const JobRowTexts texts = read_job_row(jobs, row);
    // The next row is selected, so that repeated clicks walk down the queue.
    jobs.set_item_state(row, 0, ui::kItemSelected);
    jobs.set_item_state(row + 1, kSelectedFocused, kSelectedFocused);
    // A job is never in the printing list twice.
    if (find_row_with_path(printing_list(), PrintRow::job_path, path) >= 0) {
        return;
    }
    append_print_row(printing_list(), texts);
}

void CvelquorinDlg::OnBnClickedRemove() {
    MyListCtrl& jobs = job_queue_list();
    cprocess& printing = printing_list();
    const std::optional<SelectedJob> selected =
        selected_job("Please select one item and delete it.", "Not selected");
    if (!selected) {
        return;
    }
    const int row = selected->row;
    const std::string& path = selected->path;
    if (!platform::exists(path)) {
        ui::message_box(
            "The actual print task file was not found. It is recommended to delete "
            "the invalid task manually from the list.");
        return;
    }
    const int removed = find_row_with_path(printing, PrintRow::job_path, path);
    bool row_follows = false;
    if (removed >= 0) {
        if (printing.item_text(removed, PrintRow::state) == JobState::printing) {
            ui::message_box("Press the CANCEL button on the device side to clear the task");
            return;
        }
        row_follows = removed + 1 < printing.item_count();
        printing.delete_item(removed);
    }
    jobs.set_item_text(row, JobRow::state, JobState::wait);
    jobs.set_item_state(row, 0, ui::kItemSelected);
    // The job next in print order, else the row below.
    int next = row + 1;
    if (row_follows) {
        next = find_row_with_path(jobs, JobRow::job_path,
                                  printing.item_text(removed, PrintRow::job_path));
    }
    jobs.set_item_state(next, kSelectedFocused, kSelectedFocused);
    for (int number = std::max(removed, 0); number < printing.item_count(); ++number) {
        printing.set_item_text(number, PrintRow::number, two_digit_number(number + 1));
    }
}
