#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

// A watch over a whole folder tree that reports the changes of file names in it, in the order
// they happened: files created, deleted, renamed, or moved in or out, anywhere below the root.
// Built on the kernel's file-system notification: one notification instance (the port) and a
// watch per folder of the tree, added as folders appear. The watch knows which files are in the
// tree, so every file is reported once, also one made in a new folder before that folder's
// watch existed, and nothing is lost silently when the kernel's queue overflows: the tree is
// listed again and the difference reported.
namespace platform {

enum class DirChangeAction { Added, Removed, RenamedOldName, RenamedNewName };

struct DirChange {
    DirChangeAction action = DirChangeAction::Added;
    // Relative to the root, '/' between folders. File names are bytes on Linux and are kept
    // exactly as the file system has them: nothing is converted, so every name stays the file's.
    std::string name;

    bool operator==(const DirChange&) const = default;
};

// The notification instance through which the watches of a tree deliver their changes.
class DirWatchPort {
  public:
    // Null, with the system's error number in *error, when the system gives no instance.
    static std::shared_ptr<DirWatchPort> create(int* error = nullptr);
    ~DirWatchPort();
    DirWatchPort(const DirWatchPort&) = delete;
    DirWatchPort& operator=(const DirWatchPort&) = delete;

    int fd() const { return fd_; }

  private:
    explicit DirWatchPort(int fd) : fd_(fd) {}
    int fd_;
};

// The watch of one folder tree. Not thread-safe: one thread starts it and waits on it (the
// test hooks excepted).
class DirWatch {
  public:
    // Opens the root folder, kept open as long as the watch lives. Null, with the system's
    // error number in *error, when it is missing or not a folder.
    static std::unique_ptr<DirWatch> open(const std::filesystem::path& root, int* error = nullptr);
    ~DirWatch();
    DirWatch(const DirWatch&) = delete;
    DirWatch& operator=(const DirWatch&) = delete;

    // Delivers the tree's changes through `port`; false when there is no port.
    bool bind(std::shared_ptr<DirWatchPort> port);
    // Watches the whole tree as it is now; files already there are known, not reported.
    // 0, or the system's error number when the root cannot be watched.
    int start();
    // Waits up to timeout_ms (program time) for changes and returns the records of everything
    // read, possibly none. Folders whose watch was refused are tried again about once a second.
    std::vector<DirChange> wait(std::uint32_t timeout_ms);

    // Test hook: the next wait treats what the kernel queued as lost, as after an overflow.
    void force_overflow() { overflow_forced_ = true; }

  private:
    DirWatch(std::filesystem::path root, int folder_fd)
        : root_(std::move(root)), folder_fd_(folder_fd) {}

    struct PendingMove {
        std::uint32_t cookie = 0;
        std::string name;
        bool is_folder = false;
    };

    // Which file a name stood for when a listing found it: its device and inode numbers, or
    // zeros when it was gone before it could be asked.
    struct FileId {
        std::uint64_t device = 0;
        std::uint64_t inode = 0;
        bool operator==(const FileId&) const = default;
    };
    struct ListedFile {
        std::string name;
        FileId id;
    };

    // What a listing of a folder tree found: its files, the folders it listed, and the folders
    // it could not list (their watch refused, or their listing failed). What lies in those is
    // not known, so their files stay as they were known until they can be listed.
    struct TreeListing {
        std::vector<ListedFile> files;
        std::set<std::string> folders;
        std::vector<std::string> unlisted;
    };

    using FileRange = std::pair<std::set<std::string>::iterator, std::set<std::string>::iterator>;

    std::filesystem::path full_path(const std::string& rel) const;
    FileId file_id(const std::string& rel) const;
    // Reads the queue until it is empty or a flood has filled a number of buffers; false when
    // the port fails.
    bool read_events(std::vector<DirChange>& out);
    void handle_event(int wd, std::uint32_t mask, std::uint32_t cookie, const std::string& name,
                      std::vector<DirChange>& out);
    void file_appeared(const std::string& rel, DirChangeAction action, bool by_move,
                       std::vector<DirChange>& out);
    void file_gone(const std::string& rel, DirChangeAction action, std::vector<DirChange>& out);
    void resolve_pending_move(std::vector<DirChange>& out);
    FileRange files_under(const std::string& folder);
    void rename_folder(const std::string& from, const std::string& to, std::vector<DirChange>& out);
    // Watches a folder that appeared, or one listed again after a refusal, and everything below
    // it, and reports the difference from what was known of it; a folder whose watch is refused
    // goes to the retry list.
    void folder_appeared(const std::string& rel, std::vector<DirChange>& out);
    // Adds the watches of a folder and its sub-folders and lists them. The error of the
    // folder's own watch; sub-folders that cannot be watched or listed go to the retry list.
    int watch_tree(const std::string& rel, TreeListing& listing);
    // Lists a folder whose watch was refused, and the folders below it, without watching them:
    // their files are known from then on, not reported.
    void know_unwatched_tree(const std::string& rel);
    // Reports the difference between the files known below `rel` and a listing of it: files no
    // longer there Removed (but not those in a folder the listing could not list), new ones
    // Added. The listing's files are known afterwards.
    void apply_listing(const std::string& rel, TreeListing& listing, std::vector<DirChange>& out);
    // Adds or refreshes the watch of one folder: 0 or the system's error number.
    int add_watch(const std::string& rel);
    void note_refused(const std::string& rel, int error);
    // Forgets a folder and everything below it, reporting its known files Removed.
    void drop_tree(const std::string& rel, std::vector<DirChange>& out);
    void root_gone(std::vector<DirChange>& out);
    // After an overflow: lists the whole tree again and reports the difference. A folder that
    // cannot be listed, the root included, keeps its known files until it can be.
    void relist(std::vector<DirChange>& out);
    void retry_refused(std::vector<DirChange>& out);
    void discard_queued_events();

    std::filesystem::path root_;
    int folder_fd_;
    std::shared_ptr<DirWatchPort> port_;
    std::unordered_map<int, std::string> folder_of_watch_;
    std::unordered_map<std::string, int> watch_of_folder_;
    // Every file known to be in the tree, ordered so that a folder's files are one range.
    std::set<std::string> known_files_;
    // Files that a listing found and whose own create or move event may still be queued; the
    // event is dropped so that the file is not reported twice. Cleared once the queue is empty.
    // The file each name stood for tells that own move from a later one onto the listed name.
    std::unordered_map<std::string, FileId> listed_files_;
    std::vector<std::string> refused_folders_;
    std::uint32_t last_retry_tick_ = 0;
    // The first half of a rename, until its second half or the end of the queue settles it.
    std::optional<PendingMove> pending_move_;
    std::vector<char> buffer_;
    std::atomic<bool> overflow_forced_{false};
};

namespace dir_watch_detail {
// Tests: the next `count` folder watches of any watch are refused as if the user's watch limit
// were reached.
void refuse_watches(int count);
// Tests: the next `count` folder listings of any watch fail as if the process had no
// descriptor left (the folder's watch is added all the same).
void refuse_listings(int count);
// Tests: the next `count` ports are refused as if the process had no descriptor left.
void refuse_ports(int count);
// Tests: called with each folder a watch lists, once its watch is added (listed false) and
// once its entries are read (listed true), to change the tree at those moments. Set while no
// watch waits; an empty function removes it.
void set_listing_hook(std::function<void(const std::string& folder, bool listed)> hook);
}  // namespace dir_watch_detail

}  // namespace platform
