#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "platform/files.h"
#include "platform/write_watch.h"

class Monitoring_thread;

// The virtual-printer collector: hands every finished PDF that a virtual printer saved under
// VirtualHotFolder to the RIP's spool folder, with its layout's settings file, and removes the
// source. Everything else that lands in those folders is deleted once nothing writes it.
//
// Nothing is lost and the RIP never sees half a job: the settings file goes into the spool
// folder first, the PDF is copied under a hidden temporary name and put into place, both on the
// disk with the folder's new names before the source is deleted, which happens only after that
// succeeded. A PDF that cannot be handed on stays where it is and is tried again every sweep;
// one that was handed on but cannot be deleted is not sent again while it is unchanged. The
// operator is told once of each.
//
// A file is taken (a PDF handed on, anything else deleted) only once nobody writes it. Where
// the file itself cannot tell (a file system without leases, such as a network home; another
// user's file while the process table hides other users' processes), the collector goes by what
// any reader of the folders is told whoever writes: it watches the tree from its first sweep
// on, so a file made or moved in while watched is taken once closed after its last write. A
// file it knows nothing of (there before the first sweep, or in a folder it could not watch)
// must stay unchanged for the quiet time first.

// The pause between two sweeps, and the pause after each deletion.
inline constexpr std::uint32_t kCollectorSweepPauseMs = 1000;
inline constexpr std::uint32_t kCollectorDeletePauseMs = 200;
// How long a file whose writers cannot be known must stay unchanged before it is taken.
inline constexpr std::uint32_t kCollectorQuietMs = 10000;

class VirtualHotFolderCollector {
  public:
    // The pauses are the worker's, cut short when it is asked to stop; so is a pass.
    // `ask_file` is the question about a file's writers put to the file itself (the tests put
    // their own).
    explicit VirtualHotFolderCollector(
        Monitoring_thread& worker,
        platform::FinishedFiles::AskFile ask_file = platform::writers_of);

    // One sweep: the tree watched (again, when it is new), a pass over the whole
    // VirtualHotFolder tree of g_settings_root, then the remembered sources that are gone or
    // changed are forgotten.
    void sweep();

    // One pass over `folder` and, depth first, its sub-folders.
    void scan_virtual_hot_folder(const std::string& folder);

  private:
    // A source already handed to the RIP that could not be deleted, as it was then.
    struct SentSource {
        platform::EntryStatus then;
        // The same size and last-write time as then.
        bool unchanged(const std::optional<platform::EntryStatus>& now) const {
            return now && now->size == then.size &&
                   now->modified_seconds == then.modified_seconds &&
                   now->modified_nanoseconds == then.modified_nanoseconds;
        }
    };

    void collect_pdf(const std::string& path);
    // True when the PDF, with its settings file when its layout has one, is in the spool
    // folder under `base`.
    bool hand_to_spool(const std::string& path, const std::string& base);
    // Once per path until the path is handed on.
    void tell_not_handed_on(const std::string& path);
    void forget_gone_sources();
    void watch_tree(const std::string& root);

    Monitoring_thread& worker_;
    std::unique_ptr<platform::WriteWatch> watch_;
    platform::FinishedFiles finished_;
    // The tree as it was watched: a tree made anew (deleted and made again) is watched anew.
    bool watching_ = false;
    dev_t watched_device_ = 0;
    ino_t watched_inode_ = 0;
    std::map<std::string, SentSource> undeletable_;
    std::set<std::string> failures_told_;
};

// The settings file of the layout whose hot folder is exactly `folder` (letter case counts); a
// PDF directly in VirtualHotFolder or deeper down has none.
std::optional<std::string> layout_settings_file(const std::string& folder);

// The collector's role, run by Monitoring_thread::OnScanVirtualHotFolder: a sweep, then the
// pause between sweeps, until the worker is asked to stop.
void collect_virtual_hot_folders(Monitoring_thread& worker);
