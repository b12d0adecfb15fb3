#pragma once

#include "platform/thread.h"

// The watch over the job folder, set up once by the main window before any worker starts.

// Guards the intake queues shared by the watcher, the synchroniser and the analyser, and
// nothing else. Built with the program, so it is ready whatever became of the watch; the
// user-interface thread never takes it.
extern platform::RecursiveLock g_job_list_lock;

// Prepares the step table, the virtual hot folders and their settings files, then the watch of
// g_job_folder. Called on the user-interface thread after the start-up checks and before the
// workers start; always returns 0.
int start_hot_folder_watch();
