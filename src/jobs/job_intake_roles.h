#pragma once

// Gives the main window's workers the roles of the job intake: the job-folder watcher, the
// job-list synchroniser, the job analyser and the virtual-printer collector. Called once on the
// user-interface thread before the workers start.
void install_job_intake_roles();
