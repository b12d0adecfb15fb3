#pragma once

// The watch over the job folder, set up once by the main window before any worker starts.

// Prepares the step table, the virtual hot folders and their settings files, then the watch of
// g_job_folder. Called on the user-interface thread after the start-up checks and before the
// workers start; always returns 0.
int start_hot_folder_watch();
