#pragma once

#include <cstdint>
#include <string>

#include "platform/ui/list_ctrl.h"

class Monitoring_thread;
class PrintTimeEstimator;
struct PrintTimeResult;

// The printing list's time estimator: a worker's role for the life of the program. Whenever
// the first printing row's "Expected time" reads "N/A" it estimates that job (one copy) and
// fills "Expected time" and the hidden "Pass time", the band count from which the job printer
// shows the job's progress.

// One cycle of the role; returns how many milliseconds to wait before the next (0: at once).
std::uint32_t estimate_first_printing_row(PrintTimeEstimator& estimator);

// Writes an estimate into the first printing row, only when that row is still the job that
// was estimated (its "Job Title" is `path`) and the settings are still those of `generation`
// (g_settings_generation as it was before the estimate read them): compared and written in one
// call on the user-interface thread, so another job that took the first place meanwhile keeps
// its cells, and an estimate on settings a save has replaced is never written over the save's
// "N/A". An estimate that failed writes "Unknow" into "Expected time" and leaves "Pass time", so
// the job is not estimated over and over and its progress counts lines. True when written.
bool write_first_row_estimate(platform::ui::ListCtrl& printing_list, const std::string& path,
                              std::uint32_t generation, const PrintTimeResult& result);

// The role's loop; returns once the worker is asked to stop.
void estimate_print_time(Monitoring_thread& worker);

// Gives the main window's estimator worker its role. Called once on the user-interface thread
// before the workers start.
void install_analysis_roles();
