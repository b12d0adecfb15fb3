#include "analysis/print_time_role.h"

#include "analysis/print_time_estimate.h"
#include "config/program_globals.h"
#include "engine/job_list_rows.h"
#include "engine/main_window_access.h"
#include "engine/monitoring_thread.h"
#include "platform/file_handle.h"
#include "platform/ui/ui_thread.h"

namespace {

constexpr std::uint32_t kEmptyListWaitMs = 1000;
constexpr std::uint32_t kFilledWaitMs = 2000;
// A print file that cannot be opened is tried again after about a second, not at once: the
// file and the user-interface thread are left alone meanwhile.
constexpr std::uint32_t kUnopenableWaitMs = 1000;

struct FirstRow {
    int count = 0;
    std::string path;
    std::string level_3d;
    std::string direction;
    std::string expected_time;
};

}  // namespace

bool write_first_row_estimate(platform::ui::ListCtrl& printing_list, const std::string& path,
                              std::uint32_t generation, const PrintTimeResult& result) {
    return platform::ui::ui_call([&] {
        // A save of the settings is applied on this thread too, so it is either wholly before
        // this test or wholly after the write, where its "N/A" asks for the estimate again.
        if (printing_list.item_count() == 0 ||
            printing_list.item_text(0, PrintRow::job_path) != path ||
            g_settings_generation != generation) {
            return false;
        }
        if (!result.ok) {
            printing_list.set_item_text(0, PrintRow::expected_time, "Unknow");
            return true;
        }
        printing_list.set_item_text(0, PrintRow::expected_time, result.text);
        printing_list.set_item_text(0, PrintRow::pass_time, std::to_string(result.bands));
        return true;
    });
}

std::uint32_t estimate_first_printing_row(PrintTimeEstimator& estimator) {
    platform::ui::ListCtrl* list = engine::main_window_list(IDC_PRINTING_LIST);
    if (list == nullptr) {
        return kEmptyListWaitMs;
    }
    const FirstRow row = platform::ui::ui_call([&] {
        FirstRow first;
        first.count = list->item_count();
        if (first.count > 0) {
            first.path = list->item_text(0, PrintRow::job_path);
            first.level_3d = list->item_text(0, PrintRow::embossed_3d);
            first.direction = list->item_text(0, PrintRow::direction);
            first.expected_time = list->item_text(0, PrintRow::expected_time);
        }
        return first;
    });
    if (row.count == 0) {
        return kEmptyListWaitMs;
    }
    if (row.expected_time != "N/A") {
        return kFilledWaitMs;
    }
    // Noted before the settings are read (the options' rotary flag, the file's edge kind).
    const std::uint32_t generation = g_settings_generation;
    // Shared reading: the job printer may have the file open. A pipe or a device at the name
    // is a file that cannot be opened, so Exit never waits for this role on it.
    platform::FileHandle file = platform::open_regular_file(row.path);
    if (!file.is_open()) {
        return kUnopenableWaitMs;
    }
    // The time of one copy: the printing row's copies are not used.
    const PrintTimeOptions options =
        time_options_from_row(TimeEstimator::List, row.level_3d, row.direction, "1");
    const PrintTimeResult result = estimator.estimate(file.get(), options);
    file.close();
    // Not written (another job first now, or a save in between): the next cycle, at once,
    // estimates again with the settings in force.
    write_first_row_estimate(*list, row.path, generation, result);
    return 0;
}

void estimate_print_time(Monitoring_thread& worker) {
    // The role's own estimator, for the life of the role.
    PrintTimeEstimator estimator;
    while (!worker.stop_requested()) {
        worker.pause(estimate_first_printing_row(estimator));
    }
}

void install_analysis_roles() {
    Monitoring_thread::set_role_body(WM_MT_ESTIMATE_PRINT_TIME, estimate_print_time);
}
