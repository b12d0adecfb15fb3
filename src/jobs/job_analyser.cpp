#include "jobs/job_analyser.h"

#include <algorithm>
#include <array>
#include <mutex>
#include <optional>
#include <string>

#include "config/all_settings.h"
#include "config/program_globals.h"
#include "engine/job_list_rows.h"
#include "engine/monitoring_thread.h"
#include "jobs/hot_folder_watch.h"
#include "jobs/job_intake.h"
#include "platform/clock.h"
#include "platform/ui/ui_thread.h"

namespace {

constexpr std::uint32_t kLockedPauseMs = 30;
constexpr std::uint32_t kUnlockedPauseMs = 10;

// "Print_direction_set" as it stands now; the header decides when the settings file is
// missing, and a file that exists but cannot be read counts as missing.
int print_direction_setting() {
    const std::optional<AllSettings> settings = AllSettings::read();
    return settings ? settings->value(AllSettings::print_direction_set) : kDirectionFromHeader;
}

}  // namespace

JobAnalyser::JobAnalyser()
    : window_(engine::main_window()),
      jobs_(engine::main_window_list(IDC_JOB_QUEUE_LIST)),
      printing_(engine::main_window_list(IDC_PRINTING_LIST)),
      writes_(g_job_folder_writes.load()),
      finished_(writes_.get(), kUnwatchedQuietMs) {
    clock_.start_tick = platform::tick_count();
    clock_.last_repaint_tick = clock_.start_tick;
}

void JobAnalyser::run_cycle() {
    advance_clock();
    {
        std::lock_guard lock(g_job_list_lock);
        if (!g_pending_job_paths.empty()) {
            analyse_first_job();
            platform::sleep_ms(kLockedPauseMs);
        }
    }
    platform::sleep_ms(kUnlockedPauseMs);
}

void JobAnalyser::advance_clock() {
    const std::int32_t print_job_set = g_print_job_set.load();
    if (clock_.elapsed_ms > kAutoSendDelayMs) {
        clock_.auto_send = print_job_set == 0;
    } else if (print_job_set == 0) {
        clock_.elapsed_ms = platform::tick_count() - clock_.start_tick;
    }
}

void JobAnalyser::analyse_first_job() {
    // A copy: the path stays first until its file has opened.
    const std::string path = g_pending_job_paths.front();
    // A pipe, a device, or a link that leads nowhere or round in a loop never becomes a print
    // file, however long it is waited for: it is not opened at all (an open could wait for a
    // writer) and its row gets the state of a file that cannot be read. So does a file the
    // operator may not read, or one in a folder the operator may list but not enter: no writer
    // holds it, and no wait would make it readable.
    const bool never_a_file =
        platform::entry_kind(path) == platform::EntryKind::Other || platform::read_refused(path);
    // A job is taken only once its writer is done. Where the file cannot tell (a file of
    // another user, whose processes an operator who is not root cannot see), what the kernel
    // told of the job folder's writes decides, whoever wrote; a file from before the program's
    // start of which it knows nothing must have stayed unchanged for the quiet time.
    if (!never_a_file && !finished_.finished(path)) {
        note_failed_open(path);
        return;
    }
    const int direction_setting = print_direction_setting();
    std::optional<std::string> head;
    if (!never_a_file) {
        head = platform::read_regular_file(path, kPrnHeaderSize);
        if (!head) {
            // Counted with the files not finished yet: either way the path is not ready yet.
            note_failed_open(path);
            return;
        }
    }
    stalled_path_.clear();
    failed_opens_ = 0;
    pop_pending_job();

    // A file shorter than the header reads as zero past its end; it is "Error" by its size, as
    // is what is no file at all (its size counts as 0).
    std::array<std::uint8_t, kPrnHeaderSize> bytes{};
    if (head) {
        std::copy(head->begin(), head->end(), bytes.begin());
    }
    const PrnHeader header = parse_prn_header(bytes.data());
    const AnalysedJob job = analyse_job(header, platform::file_size(path).value_or(0),
                                        platform::last_write_time(path), direction_setting);

    if (jobs_ == nullptr) {
        return;
    }
    // The row is found and filled in one call on the user-interface thread: the job printer
    // deletes the rows of printed jobs meanwhile, and a row index taken in one call could name
    // another job's row in the next.
    platform::ui::ui_call([&] {
        const int row = find_row_with_path(*jobs_, JobRow::job_path, path);
        if (row < 0) {
            return;  // its removal was applied meanwhile: the job is done
        }
        write_row(row, job);
        update_buttons();
        repaint_if_due();
        if (clock_.auto_send && sends_automatically(job)) {
            send_to_printing(row, path);
        }
    });
}

void JobAnalyser::note_failed_open(const std::string& path) {
    if (path != stalled_path_) {
        stalled_path_ = path;
        failed_opens_ = 0;
    }
    if (++failed_opens_ < kStalledOpenTries) {
        return;
    }
    // About a second of failed tries: a file that is gone loses its path (its row, if any, goes
    // with its removal); one still held goes behind the others, so later jobs are analysed. A
    // lone path stays first and is looked at again after as many tries.
    stalled_path_.clear();
    failed_opens_ = 0;
    if (!platform::exists(path)) {
        pop_pending_job();
    } else if (g_pending_job_paths.size() > 1) {
        g_pending_job_paths.pop_front();
        g_pending_job_paths.push_back(path);
    }
}

void JobAnalyser::write_row(int row, const AnalysedJob& job) {
    jobs_->set_item_text(row, JobRow::state, job.wait ? JobState::wait : JobState::error);
    jobs_->set_item_text(row, JobRow::print_mode, job.print_mode);
    jobs_->set_item_text(row, JobRow::output_size, job.output_size);
    jobs_->set_item_text(row, JobRow::date_modified, job.date_modified);
    jobs_->set_item_text(row, JobRow::copies, "1");
    jobs_->set_item_text(row, JobRow::resolution, job.resolution);
    // The 3D level keeps what the row holds.
    jobs_->set_item_text(row, JobRow::print_direction, job.print_direction);
    if (job.format_error) {
        jobs_->set_item_text(row, JobRow::print_mode, kFileFormatError);
        jobs_->set_item_text(row, JobRow::output_size, kUnknown);
        jobs_->set_item_text(row, JobRow::date_modified, kUnknown);
        jobs_->set_item_text(row, JobRow::resolution, kUnknown);
        jobs_->set_item_text(row, JobRow::embossed_3d, "N/A");
    }
}

void JobAnalyser::update_buttons() {
    const int selected = jobs_->next_selected();
    if (window_ == nullptr || selected < 0 ||
        jobs_->item_text(selected, JobRow::state) != JobState::wait) {
        return;
    }
    // What the main window does for a selected "Wait" row.
    window_->enable_button(engine::IDC_SAVE_BUTTON, true);
    window_->enable_button(engine::IDC_PRINT_BUTTON, true);
    window_->enable_button(engine::IDC_DELETE_BUTTON, true);
    window_->enable_button(engine::IDC_PREVIEW_BUTTON, true);
    window_->enable_button(engine::IDC_REMOVE_BUTTON, false);
}

void JobAnalyser::repaint_if_due() {
    const std::uint32_t now = platform::tick_count();
    if (!repaint_due(g_pending_job_count.load(), now - clock_.last_repaint_tick)) {
        return;
    }
    jobs_->set_redraw(true);
    jobs_->invalidate();
    clock_.last_repaint_tick = now;
}

void JobAnalyser::send_to_printing(int row, const std::string& path) {
    jobs_->set_item_text(row, JobRow::state, JobState::ready_to_print);
    JobRowTexts texts = read_job_row(*jobs_, row);
    constexpr unsigned kSelectedFocused = platform::ui::kItemSelected | platform::ui::kItemFocused;
    jobs_->set_item_state(row, kSelectedFocused, kSelectedFocused);
    jobs_->set_item_state(row, 0, platform::ui::kItemSelected);
    if (printing_ == nullptr) {
        return;
    }
    // A job sent by hand meanwhile is not sent again.
    if (find_row_with_path(*printing_, PrintRow::job_path, path) < 0) {
        append_print_row(*printing_, texts);
    }
}

bool repaint_due(std::int32_t waiting, std::uint32_t since_last_ms) {
    if (waiting <= 1) {
        return true;
    }
    if (waiting <= 7) {
        return since_last_ms > 1500;
    }
    // 31 waiting jobs join the tier below, which it borders.
    if (waiting <= 31) {
        return since_last_ms > 3000;
    }
    return since_last_ms > 5000;
}

void update_job_info(Monitoring_thread& worker) {
    JobAnalyser analyser;
    while (!worker.stop_requested()) {
        analyser.run_cycle();
    }
}
