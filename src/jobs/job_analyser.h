#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/main_window_access.h"
#include "jobs/job_row_texts.h"
#include "platform/write_watch.h"

// The job analyser and automatic printing.

class Monitoring_thread;

// Automatic sending waits until the role has run this long with "Print_job_set" at 0.
inline constexpr std::uint32_t kAutoSendDelayMs = 20000;
// Failed opens of the first waiting path after which it stops holding up the jobs behind it.
inline constexpr int kStalledOpenTries = 25;

// The analyser's role: one object lives as long as the role. Each cycle takes the oldest job
// awaiting analysis, reads its header and file status, fills its job-queue row, marks it "Wait"
// or "Error", and sends it to printing by itself when the settings say so.
class JobAnalyser {
  public:
    // What lives for the whole role, never reset per job.
    struct RoleClock {
        // The tick count when the role began.
        std::uint32_t start_tick = 0;
        // Measured only while "Print_job_set" is 0; frozen once past kAutoSendDelayMs.
        std::uint32_t elapsed_ms = 0;
        bool auto_send = false;
        std::uint32_t last_repaint_tick = 0;
    };

    // Starts the clock and looks up the two lists and the window, once.
    JobAnalyser();

    // One cycle: the auto-send clock, then under g_job_list_lock the analysis of the first
    // waiting job and a 30 ms pause, then 10 ms outside the lock.
    void run_cycle();

    RoleClock& clock() { return clock_; }

  private:
    void advance_clock();
    // The cycle's work under the lock, without its pause.
    void analyse_first_job();
    // The first path did not open: it is tried again next cycle, but not for ever.
    void note_failed_open(const std::string& path);
    void write_row(int row, const AnalysedJob& job);
    void update_buttons();
    void repaint_if_due();
    void send_to_printing(int row, const std::string& path);

    RoleClock clock_;
    engine::MainWindowAccess* window_;
    platform::ui::ListCtrl* jobs_;
    platform::ui::ListCtrl* printing_;
    // The first path that failed to open, and how many cycles in a row it did.
    std::string stalled_path_;
    int failed_opens_ = 0;
    // Whether a job's writer is done: asked of the file, then of the job folder's watch, then
    // of the quiet time.
    std::shared_ptr<platform::WriteWatch> writes_;
    platform::FinishedFiles finished_;
};

// Whether the job list is repainted now, with `waiting` jobs left and `since_last_ms` since
// the last repaint: at once for one job or none, then less often the more jobs wait.
bool repaint_due(std::int32_t waiting, std::uint32_t since_last_ms);

// The analyser's role, run by Monitoring_thread::OnUpdateJobInfo: cycles of JobAnalyser until
// the worker is asked to stop.
void update_job_info(Monitoring_thread& worker);
