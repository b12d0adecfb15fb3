#pragma once

#include <cstdint>

// The job-list synchroniser: one job-queue row per print file in the job folder tree.

class Monitoring_thread;

// The synchroniser's role, run by Monitoring_thread::OnSyncJobQueue: the start-up scan of
// g_job_folder (Monitoring_thread::scan_prn_folder), then the change queue applied one entry
// per cycle for the life of the process. Returns once the worker is asked to stop. The scan
// deletes what is no print file and no preview of one only once no writer can remain; what it
// had to leave is tried again with the cycles.
void sync_job_queue(Monitoring_thread& worker);

// One cycle of the role's change loop, on its own for the tests.
namespace job_queue_sync_detail {

// While more jobs than this await analysis, each cycle ends with the busy pause.
inline constexpr std::int32_t kBusyPendingCount = 200;
inline constexpr std::uint32_t kBusyPauseMs = 100;
// The pause when the change queue is found empty.
inline constexpr std::uint32_t kIdlePauseMs = 1000;

// The pauses one cycle took, in program milliseconds (a pause cut short by a stop request
// counts in full).
struct CyclePauses {
    std::uint32_t busy_ms = 0;
    std::uint32_t idle_ms = 0;
};

// Takes g_job_list_lock and applies the first entry of the change queue, if any, to the job
// lists, the label and the jobs awaiting analysis; leaves the lock.
void apply_next_change();

// Tries again, at most once a second, to delete the files the start-up scan left because a
// writer could still be at them (each goes once no writer can remain).
void retry_scan_leftovers();

// apply_next_change(), the scan's leftovers, then the busy pause and the idle pause as they are
// due.
CyclePauses run_sync_cycle(Monitoring_thread& worker);

}  // namespace job_queue_sync_detail
