#pragma once

// The job analyser and automatic printing.

class Monitoring_thread;

// The analyser's role, run by Monitoring_thread::OnUpdateJobInfo: reads the header of each job
// awaiting analysis, oldest first, fills its job-queue row and marks it "Wait" or "Error", and
// sends analysed jobs to printing by themselves when the settings say so. Returns once the
// worker is asked to stop.
void update_job_info(Monitoring_thread& worker);
