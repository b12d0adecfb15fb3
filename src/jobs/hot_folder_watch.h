#pragma once

// The watch over the job folder, set up once by the main window before any worker starts.

// Prepares the step table, the virtual hot folders and their settings files, then the watch of
// g_job_folder. Called on the user-interface thread after the start-up checks and before the
// workers start; always returns 0.
int start_hot_folder_watch();

class Monitoring_thread;

// The watcher's role, run by Monitoring_thread::OnWatchHotFolder for the life of the process:
// turns every file-name change of a print file anywhere in the job folder tree into an entry
// of the change queue. Returns once the worker is asked to stop.
void watch_hot_folder(Monitoring_thread& worker);
