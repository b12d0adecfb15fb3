#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <utility>

#include "platform/files.h"

// Whether a file's writers are done, told from what the kernel reports to any reader of the
// file's folder, whoever writes: a user who may not look into another user's processes, or a
// file system that grants no leases, still sees the folder's open, write and close-after-write
// notifications. Used where the question "does anybody still write this file?" cannot be
// answered from the file itself (platform::writers_of says Unknown).
namespace platform {

enum class WriteActivity {
    // Nothing is known: the file was there before its folder was watched, or what was queued
    // about it was lost (the kernel's queue overflowed), or its folder is not watched.
    Unknown,
    // Written since its last close after writing, or open now by a handle opened while it was
    // watched: a writer may still be at work.
    Writing,
    // Made while watched and closed after writing since, or moved in by a rename, and neither
    // written nor open since: its writer is done.
    Closed,
};

// The notifications of folder trees, one instance for all of them. Thread-safe: every answer
// first reads what the kernel has queued up to that moment, so a write or open that happened
// before the question is always part of the answer.
class WriteWatch {
  public:
    // Null, with the system's error number in *error, when the system gives no instance.
    static std::unique_ptr<WriteWatch> create(int* error = nullptr);
    ~WriteWatch();
    WriteWatch(const WriteWatch&) = delete;
    WriteWatch& operator=(const WriteWatch&) = delete;

    // Watches a folder and every folder below it from now on, and the folders made or moved in
    // later (files that such a folder held before its own watch came are Unknown). False when
    // the root itself cannot be watched; folders below it that cannot be watched (the user's
    // watch limit) leave their files Unknown.
    bool watch_tree(const std::filesystem::path& root);

    WriteActivity activity(const std::filesystem::path& file);

  private:
    explicit WriteWatch(int fd) : fd_(fd) {}

    struct FileState {
        // Made or moved in while watched: every open of it since is known.
        bool whole_life_seen = false;
        // Closed after writing, or moved in, and not written since.
        bool settled = false;
        // Written since the last close after writing.
        bool dirty = false;
        // Handles opened while watched and not closed yet.
        int open_handles = 0;
        bool is_default() const {
            return !whole_life_seen && !settled && !dirty && open_handles == 0;
        }
    };

    static std::string key_of(const std::filesystem::path& path);
    void watch_folder_tree(const std::string& folder);
    void drain();
    void handle(int wd, std::uint32_t mask, const std::string& name);
    // Forgets a folder's watch and what is known of every file at or below it.
    void forget_folder(const std::string& folder);
    void forget_files_under(const std::string& folder);

    int fd_;
    std::mutex mutex_;
    std::unordered_map<int, std::string> folder_of_watch_;
    std::unordered_map<std::string, int> watch_of_folder_;
    std::unordered_map<std::string, FileState> files_;
};

// The one answer the intake and the collector act on before taking a file: true once no writer
// can remain. Asked of the file itself first (a read lease, or every process looked into);
// where that cannot tell, the folder's notifications decide; where those know nothing of the
// file either (it was there before the watch began), the file must have stayed unchanged
// (size, write time, change time) for `quiet_ms` of program time, counted from the first time
// it was asked about, or from its last change.
// One per thread that asks; the watch may be shared. `ask_file` is the question put to the
// file itself (the tests put their own).
class FinishedFiles {
  public:
    using AskFile = std::function<Writers(const std::filesystem::path&)>;
    FinishedFiles(WriteWatch* watch, std::uint32_t quiet_ms, AskFile ask_file = writers_of)
        : watch_(watch), quiet_ms_(quiet_ms), ask_file_(std::move(ask_file)) {}

    bool finished(const std::filesystem::path& file);

  private:
    struct Look {
        dev_t device = 0;
        ino_t inode = 0;
        std::int64_t size = 0;
        std::int64_t modified_ns = 0;
        std::int64_t changed_ns = 0;
        bool operator==(const Look&) const = default;
    };
    struct Quiet {
        Look look;
        std::uint32_t since_tick = 0;
    };

    bool quiet_long_enough(const std::filesystem::path& file);
    void drop_gone_files();

    WriteWatch* watch_;
    std::uint32_t quiet_ms_;
    AskFile ask_file_;
    std::unordered_map<std::string, Quiet> quiet_;
    unsigned asked_ = 0;
};

}  // namespace platform
