#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/dir_watch.h"
#include "platform/write_watch.h"

// The watch over the job folder, set up once by the main window before any worker starts.

// Only file-name changes are watched: a print file written in place reports nothing.
inline constexpr std::uint32_t kFileNameChangesFilter = 1;

// The one watch of the process. The kernel notification is read into the watch's own buffer,
// as often as a burst needs, so the record keeps no notification buffer of its own.
struct HotFolderWatch {
    // A copy of g_job_folder as the watch was set up.
    std::string path;
    std::uint32_t filter = 0;
    // The job folder, opened, bound to g_hot_folder_port and watched over its whole tree.
    std::unique_ptr<platform::DirWatch> folder;
};

// The notification instance the job folder's changes come through; null until the set-up
// creates it.
extern std::shared_ptr<platform::DirWatchPort> g_hot_folder_port;
// The armed watch, null while none runs. Replaced only by a later set-up that arms a watch, and
// read by the watcher at each wait, hence atomic.
extern std::atomic<std::shared_ptr<HotFolderWatch>> g_hot_folder_watch;

// What the kernel tells any reader of the job folder of the writes into its files, whoever
// writes: the intake asks it where a file itself cannot say whether its writer is done (a file
// of another user, whose processes an operator who is not root cannot see). Watching before the
// start-up scan lists the tree, so every file made after the start is known from its creation.
// Null until the set-up makes it, or when the system gives no watch; every file then counts as
// one from before the watch.
extern std::atomic<std::shared_ptr<platform::WriteWatch>> g_job_folder_writes;

// A file of the job folder whose writer cannot be ruled out and of which the watch knows nothing
// (there before the program started) counts as finished once it has stayed unchanged this long,
// in program milliseconds.
inline constexpr std::uint32_t kUnwatchedQuietMs = 60000;

// Prepares the step table, the virtual hot folders and their settings files, the watch of the
// job folder's writes, then the watch of g_job_folder. Called on the user-interface thread after
// the start-up checks and before the workers start; always returns 0. Every failure shows its box
// and start-up goes on.
int start_hot_folder_watch();

class Monitoring_thread;

// The watcher's role, run by Monitoring_thread::OnWatchHotFolder for the life of the process:
// turns every file-name change of a print file anywhere in the job folder tree into an entry
// of the change queue. Returns once the worker is asked to stop.
void watch_hot_folder(Monitoring_thread& worker);

namespace hot_folder_watch_detail {
// Tests: forgets the port and the watch.
void reset();
}  // namespace hot_folder_watch_detail
