#include "jobs/job_intake_roles.h"

#include "engine/monitoring_thread.h"
#include "jobs/hot_folder_watch.h"
#include "jobs/job_analyser.h"
#include "jobs/job_queue_sync.h"
#include "jobs/virtual_hot_folder_collector.h"

void install_job_intake_roles() {
    Monitoring_thread::set_role_body(WM_MT_WATCH_HOT_FOLDER, watch_hot_folder);
    Monitoring_thread::set_role_body(WM_MT_SYNC_JOB_QUEUE, sync_job_queue);
    Monitoring_thread::set_role_body(WM_MT_UPDATE_JOB_INFO, update_job_info);
    Monitoring_thread::set_role_body(WM_MT_SCAN_VIRTUAL_HOT_FOLDER, collect_virtual_hot_folders);
}
