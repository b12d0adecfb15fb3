#pragma once

// Gives the main window's workers the three roles of the job intake: the job-folder watcher,
// the job-list synchroniser and the job analyser. Called once on the user-interface thread
// before the workers start.
void install_job_intake_roles();
