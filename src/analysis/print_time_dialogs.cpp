#include "analysis/print_time_dialogs.h"

#include <optional>

#include "analysis/analysis_pictures.h"
#include "analysis/print_time_estimate.h"
#include "analysis/progress_scale.h"
#include "engine/job_list_rows.h"
#include "engine/main_window_access.h"
#include "platform/file_handle.h"
#include "platform/ui/controls.h"
#include "platform/ui/message_box.h"
#include "platform/ui/ui_thread.h"

namespace {

using platform::ui::Rect;
using platform::ui::Rgb;
using platform::ui::Static;

// The dialog's estimator: what its table leaves unset stays from its previous estimate.
PrintTimeEstimator& dialog_estimator() {
    static PrintTimeEstimator estimator;
    return estimator;
}

struct JobRowOptions {
    std::string state;
    std::string copies;
    std::string level_3d;
    std::string direction;
};

// The cells of the job row whose "Job Title" is the path, read in one call.
std::optional<JobRowOptions> job_row_options(const std::string& path) {
    platform::ui::ListCtrl* list = engine::main_window_list(IDC_JOB_QUEUE_LIST);
    if (list == nullptr) {
        return std::nullopt;
    }
    return platform::ui::ui_call([&]() -> std::optional<JobRowOptions> {
        const int row = find_row_with_path(*list, JobRow::job_path, path);
        if (row < 0) {
            return std::nullopt;
        }
        return JobRowOptions{list->item_text(row, JobRow::state),
                             list->item_text(row, JobRow::copies),
                             list->item_text(row, JobRow::embossed_3d),
                             list->item_text(row, JobRow::print_direction)};
    });
}

}  // namespace

Print_Time_Creating::Print_Time_Creating() : Dialog("Print Time Estimate", {320, 80}) {
    add<Static>(-1, Rect::from_size(16, 14, 288, 20), "Calculating data, please wait......");
    progress_ =
        &add<platform::ui::ProgressBar>(IDC_TIME_PROGRESS, Rect::from_size(16, 42, 288, 18));
    on_message(WM_CALC_PRINT_TIME, [this](std::uintptr_t, std::intptr_t) {
        OnCalcPrintTime();
        return std::intptr_t{0};
    });
}

void Print_Time_Creating::SetPrintFile(const std::string& prn_path) {
    g_time_prn_path = prn_path;
}

bool Print_Time_Creating::OnInitDialog() {
    post(WM_CALC_PRINT_TIME, 0, 0);
    return true;
}

void Print_Time_Creating::OnCalcPrintTime() {
    const auto fail = [this](const std::string& message) {
        platform::ui::message_box(message);
        end_dialog(kFailed);
    };
    const std::optional<JobRowOptions> row = job_row_options(g_time_prn_path);
    if (!row) {
        fail("There can't find the item in list!");
        return;
    }
    // A pipe or a device at the name is refused at once: the window waits for this estimate.
    platform::FileHandle file = platform::open_regular_file(g_time_prn_path);
    if (!file.is_open()) {
        fail("Print file can't read. Please try again later!");
        return;
    }
    if (row->state == JobState::error || row->state == JobState::generating_data ||
        row->state.empty()) {
        file.close();
        fail("The print task error or Generating now!");
        return;
    }
    const PrintTimeOptions options =
        time_options_from_row(TimeEstimator::Dialog, row->level_3d, row->direction, row->copies);
    bool started = false;
    const PrintTimeResult result = dialog_estimator().estimate(
        file.get(), options, [&](std::uint32_t done, std::uint32_t lines) {
            if (!started) {
                progress_->set_range(0, analysis::progress_range(lines));
                started = true;
            }
            progress_->set_pos(analysis::progress_position(done, lines));
        });
    file.close();
    if (!result.ok) {
        fail(result.message);
        return;
    }
    g_print_time_text = result.text;
    end_dialog(kDone);
}

showprinttime::showprinttime() : Dialog("Print Time Estimate", {440, 180}) {
    add<platform::ui::Picture>(-1, Rect::from_size(20, 20, 64, 64), analysis::clock_picture(64));
    add<platform::ui::Picture>(-1, Rect::from_size(20, 100, 96, 60),
                               analysis::flatbed_printer_picture(96, 60));
    Static& time = add<Static>(IDC_PRINT_TIME, Rect::from_size(100, 17, 320, 70), "Time: Unknow");
    time.set_colours(Rgb{224, 53, 49}, Rgb{242, 242, 242});
    set_control_font(IDC_PRINT_TIME, platform::ui::Font{"Arial", 260});
    add<platform::ui::Button>(platform::ui::kIdCancel, Rect::from_size(330, 130, 90, 30), "Close");
}

bool showprinttime::OnInitDialog() {
    control<Static>(IDC_PRINT_TIME)->set_text(g_print_time_text);
    return true;
}

void run_print_time_estimate(const std::string& prn_path) {
    Print_Time_Creating::SetPrintFile(prn_path);
    Print_Time_Creating work;
    work.set_background(platform::ui::kDialogGrey);
    if (work.do_modal() != Print_Time_Creating::kDone) {
        return;
    }
    showprinttime view;
    view.set_background(platform::ui::kDialogGrey);
    view.do_modal();
}
