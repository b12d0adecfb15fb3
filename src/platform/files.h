#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_handle.h"

// The file operations the workstation performs on job, settings and archive files, with the
// exact answers the callers rely on: copies that refuse or replace an existing target as asked,
// a move that never replaces anything, folders created one level at a time, and an answer to
// "is anybody still writing this file?" before a job or a PDF is taken.
namespace platform {

// A file search for the exact path: true for a file, a folder or any other entry of that name
// (a link counts even when it leads nowhere).
bool exists(const std::filesystem::path& path);

// True for a folder (or a link to one).
bool is_directory(const std::filesystem::path& path);

// Deletes a file (never a folder). False when it is missing or cannot be deleted.
bool delete_file(const std::filesystem::path& path);

// Removes a folder only when it is empty.
bool remove_empty_folder(const std::filesystem::path& path);

// Creates one folder; its parent must exist. True when the folder exists afterwards, whether it
// was made now or was there already. False when the parent is missing, a file of that name is in
// the way, or the folder cannot be created. A new folder gets `mode` less the process's umask.
bool create_folder(const std::filesystem::path& path, mode_t mode = 0777);

enum class CopyMode { FailIfExists, Overwrite };

// Copies a regular file with its permission bits and last-write time; a source that is no
// regular file (a pipe, a device) fails at once instead of waiting for a writer, and with
// Links::NotFollowed so does a link at the source's name. FailIfExists refuses any existing
// target; Overwrite replaces an existing file (never a folder). Nothing is ever written through
// a link, a pipe or a device at the target's name: that entry itself is replaced by the copy,
// and what a link leads to is left alone. A copy onto the source itself fails and leaves the
// file alone. A copy that fails part-way removes its partial target.
bool copy_file(const std::filesystem::path& from, const std::filesystem::path& to, CopyMode mode,
               Links source_links = Links::Followed);

// Copies a regular file to a name that must not exist yet, so that the name never holds less
// than the whole file: the bytes go to a hidden temporary file in the target's folder (a name
// that is_partial_copy_name tells), reach the disk there, and only then is the file put at its
// name, without replacing anything that took the name meanwhile. A copy cut off at any moment
// (a crash, a full disk, the program ended) leaves at most that temporary file, never a
// cut-short file at the name. Permission bits and the last-write time are kept, as copy_file
// keeps them. False when the target exists or anything fails; the temporary file is then gone.
bool copy_file_into_place(const std::filesystem::path& from, const std::filesystem::path& to,
                          Links source_links = Links::Followed);

// True for the name (the last part of a path) of the temporary file of a copy_file_into_place,
// whether in progress or left behind by a copy that was cut off: it is never a job or an
// archived file, and one that nothing writes any more may be deleted.
bool is_partial_copy_name(std::string_view name);

// A plain rename within one file system. Fails when the target exists: nothing is replaced.
bool move_file(const std::filesystem::path& from, const std::filesystem::path& to);

// A move that also crosses file systems: the rename of move_file where it can, else a
// copy_file_into_place, which has reached the disk before the source is deleted. Never replaces
// an existing target and never leaves a cut-short file at it. False when the file could not be
// moved; the source is then where it was and no copy of it is left at the target.
bool move_file_across(const std::filesystem::path& from, const std::filesystem::path& to);

// Replaces the whole contents of a file (creating it when missing; its folder must exist): the
// bytes go to a temporary file beside it, reach the disk, and are renamed over it, so a crash
// or a reader at the same moment sees either the old file or the new one, never half of one.
// With Links::Followed a link is followed and its target replaced; with Links::NotFollowed the
// entry at the name itself is replaced, a link or a pipe alike, and a link's target is never
// touched. An existing file keeps its permission bits. False when anything fails, the file then
// as it was.
bool replace_file_contents(const std::filesystem::path& path, std::string_view bytes,
                           Links links = Links::Followed);

// Where the new bytes of a file being replaced go, in pieces: buffered and written in large
// writes, so a file of any size is made without holding it whole.
class ContentWriter {
  public:
    virtual ~ContentWriter() = default;
    // Appends bytes; false once a write has failed (later appends then do nothing).
    virtual bool append(std::string_view bytes) = 0;
};

// replace_file_contents with the bytes made by `write`, which appends them piece by piece and
// returns false when it could not make them (the file then stays as it was).
bool replace_file_contents(const std::filesystem::path& path,
                           const std::function<bool(ContentWriter&)>& write,
                           Links links = Links::Followed);

struct FolderEntry {
    std::string name;
    // A link is reported as it is (not a folder), so a walk over folders never follows one
    // into a loop.
    bool is_folder = false;
};

// The entries of a folder in the order the file system returns them, without "." and "..".
// Empty optional, with errno telling why, when the folder cannot be opened or a read of it
// fails part-way: a listing that stopped early is never passed off as the whole folder.
std::optional<std::vector<FolderEntry>> list_folder(const std::filesystem::path& folder);

struct LocalTime {
    int year = 0;
    int month = 0;  // 1..12
    int day = 0;    // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// The last-write time of a file or folder in the machine's local time.
std::optional<LocalTime> last_write_time(const std::filesystem::path& path);

// The first max_bytes bytes of a regular file (all of it by default), a link followed, opened
// by open_regular_file. Empty optional for anything else: a missing file, a folder, a pipe, a
// device, a link that leads nowhere, or a file this process may not read. Nothing is ever
// opened in a way that waits: a pipe of that name cannot hold the caller up, whoever made it
// and whenever.
std::optional<std::string> read_regular_file(const std::filesystem::path& path,
                                             std::size_t max_bytes = SIZE_MAX);

// What a path leads to, links followed.
enum class EntryKind {
    Missing,
    RegularFile,
    // Something that is there but cannot be read as a file: a folder, a pipe, a device, a
    // socket, or a link that leads nowhere or round in a loop.
    Other,
};
EntryKind entry_kind(const std::filesystem::path& path);

// What an entry of a folder is, asked of the entry itself: a link is not followed and nothing
// is opened, so a walk that asks it never blocks on a pipe or leaves the tree through a link.
struct EntryStatus {
    enum class Kind { RegularFile, Folder, Other };
    Kind kind = Kind::Other;
    std::uint64_t size = 0;
    // The last-write time in seconds and nanoseconds since the epoch, and in local time.
    std::int64_t modified_seconds = 0;
    std::int64_t modified_nanoseconds = 0;
    LocalTime modified;
};
std::optional<EntryStatus> entry_status(const std::filesystem::path& path);

// True when this process may not read what is at the path: its rights refuse it, or a folder
// on the way to it cannot be entered. A missing entry is not refused. Nothing is opened.
bool read_refused(const std::filesystem::path& path);

// The size in bytes of a regular file.
std::optional<std::uint64_t> file_size(const std::filesystem::path& path);

// Who may still write a file, asked of the file itself: nobody (a read lease was granted, or
// every process of the machine could be looked into and none writes it), somebody (an open
// handle writes it, or it is no regular file this process may read), or no telling (no lease
// can be had here, a file of another user say, and some process could not be looked into, or
// the process table hides other users' processes).
enum class Writers { None, Some, Unknown };
Writers writers_of(const std::filesystem::path& path);

// Whether a file may be taken: answered "still written" where the answer cannot be known. True
// only when the file exists, is a regular file that this process may read, and a read lease
// could be taken, or, where none can (a file of another user), every process of the machine
// could be looked into and none writes the file. So a user who cannot see other users'
// processes never takes another user's file while it may be half written.
bool writer_ruled_out(const std::filesystem::path& path);

namespace files_detail {
// Tests: the next `count` folder listings fail at their first read, as a read of a folder
// that goes wrong (part-way or at once) does.
void fail_listing_reads(int count);
struct WriterScan {
    bool writer_found = false;
    // false when some process could not be looked into, or the process table hides the
    // processes of other users
    bool all_seen = true;
};
// True when a process-table file system mounted with these options (the super options of its
// mountinfo line) hides other users' processes from this process: "hidepid" 2 or "invisible"
// lists them not at all (1 or "noaccess" lists them, and their descriptors cannot be looked
// into, which the scan sees for itself). Root sees every process whatever the options.
bool mount_options_hide_processes(std::string_view options);
// The slow way to the answer, used where a read lease cannot be taken: looks through the open
// descriptors of every process in the process table for one that writes the same file.
// Exposed for the tests, which may point it at a process table of their own making.
WriterScan scan_for_writers(dev_t device, ino_t inode, const std::filesystem::path& proc = "/proc",
                            const std::filesystem::path& mountinfo = "/proc/self/mountinfo");
}  // namespace files_detail

}  // namespace platform
