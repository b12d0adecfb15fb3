#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

#include "platform/thread.h"

// What the job-folder watcher, the job-list synchroniser and the job analyser pass between
// them: the change queue (watcher and start-up scan append, the synchroniser takes from the
// front), the jobs whose row is in the job queue but whose header is not read yet (the
// synchroniser appends, the analyser takes the first), and the one lock that guards both. The
// user-interface thread never takes the lock: the synchroniser and the analyser make calls
// into the window while they hold it.

// One file-name change of a print file.
struct HotFolderChange {
    // g_job_folder, a separator, then the name relative to the job folder.
    std::string path;
    // kChangeAppeared or kChangeGone.
    std::string code;
};

// A print file appeared (created, or renamed to this name) or went away (deleted, or renamed
// away from this name). No other code is ever produced.
inline constexpr std::string_view kChangeAppeared = "2";
inline constexpr std::string_view kChangeGone = "1";

// Guards the four items below and nothing else. Re-entrant for its owner. Built with the
// program, so it is ready whatever became of the watch.
extern platform::RecursiveLock g_job_list_lock;

// The change queue, in the order the changes were appended; no bound.
extern std::deque<HotFolderChange> g_hot_folder_changes;
// Where a producer builds the next entry before a copy of it is appended; empty between uses.
extern HotFolderChange g_hot_folder_change;
// The paths whose job-queue row is in place and whose header the analyser has not read yet,
// oldest first. A path may stand in it more than once.
extern std::deque<std::string> g_pending_job_paths;
// The number of paths in g_pending_job_paths, never below 0. Read without the lock to pace
// the synchroniser and the analyser's repainting, hence atomic.
extern std::atomic<std::int32_t> g_pending_job_count;

// The path of the job file the operator last deleted with Delete; when its removal arrives the
// synchroniser selects the row that takes its place. Read and written on the user-interface
// thread only.
extern std::string g_deleted_job_path;

// The path of a file of the job folder tree: the folder, a '/' unless it already ends in one,
// then the name relative to the folder. The start-up scan builds its paths the same way, so a
// file reported by the watcher and found by the scan has one path, which its removal matches.
std::string job_file_path(std::string_view folder, std::string_view name);

// True for a name whose last four characters, lower-cased, are ".prn" (".PRN" and ".Prn"
// count, ".prn.tmp" and ".pr" do not).
bool has_prn_extension(std::string_view name);
// The same test for ".bmp", the previews the outside program writes beside its print files.
bool has_bmp_extension(std::string_view name);
// The same test for ".pdf", the documents the virtual printers write.
bool has_pdf_extension(std::string_view name);

// Takes g_job_list_lock, builds [path, code] in g_hot_folder_change, appends a copy to the end
// of the change queue, clears the scratch record and leaves the lock: one hold per entry.
void append_hot_folder_change(std::string_view path, std::string_view code);
// Removes and returns the first entry of the change queue; nothing when it is empty. The
// caller holds g_job_list_lock.
std::optional<HotFolderChange> take_hot_folder_change();
// Whether entries wait in the change queue, asked without the lock: a stale answer only
// shifts the asker's idle pause.
bool hot_folder_changes_waiting();

// The caller holds g_job_list_lock for all three. Appends a path, adding 1 to the count.
void append_pending_job(const std::string& path);
// Removes the first occurrence of the path (letters compared exactly), subtracting 1 from the
// count; false when it is not there.
bool remove_pending_job(const std::string& path);
// Removes the first path, subtracting 1 from the count (never below 0); nothing when empty.
void pop_pending_job();
