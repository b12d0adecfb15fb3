#pragma once

// The job-list synchroniser: one job-queue row per print file in the job folder tree.

class Monitoring_thread;

// The synchroniser's role, run by Monitoring_thread::OnSyncJobQueue: the start-up scan of
// g_job_folder (Monitoring_thread::scan_prn_folder), then the change queue applied one entry
// per cycle for the life of the process. Returns once the worker is asked to stop.
void sync_job_queue(Monitoring_thread& worker);
