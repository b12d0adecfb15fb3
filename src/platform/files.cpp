#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "platform/text_lines.h"

namespace platform {
namespace {

bool write_all(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

// Copies the whole of in to out: in the kernel where the file systems allow it, else through a
// buffer.
bool copy_contents(int in, int out) {
    for (;;) {
        const ssize_t copied = ::copy_file_range(in, nullptr, out, nullptr, 1 << 30, 0);
        if (copied == 0) {
            return true;
        }
        if (copied > 0) {
            continue;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) {
            return false;
        }
        break;  // not offered here: copy through user space from where the kernel stopped
    }
    std::vector<char> buffer(1 << 20);
    for (;;) {
        const ssize_t got = ::read(in, buffer.data(), buffer.size());
        if (got == 0) {
            return true;
        }
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (!write_all(out, buffer.data(), static_cast<std::size_t>(got))) {
            return false;
        }
    }
}

// A read lease is broken by the kernel with a signal (SIGIO) to the holder when a writer opens
// the file while the lease stands. The lease is held for a few microseconds only, but SIGIO
// ends a process that has not chosen otherwise, so it is ignored unless someone handles it.
void keep_lease_breaks_harmless() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction current {};
        if (::sigaction(SIGIO, nullptr, &current) == 0 && current.sa_handler == SIG_DFL &&
            (current.sa_flags & SA_SIGINFO) == 0) {
            struct sigaction ignore {};
            ignore.sa_handler = SIG_IGN;
            sigemptyset(&ignore.sa_mask);
            ::sigaction(SIGIO, &ignore, nullptr);
        }
    });
}

bool all_digits(const char* text) {
    if (*text == '\0') {
        return false;
    }
    for (; *text != '\0'; ++text) {
        if (*text < '0' || *text > '9') {
            return false;
        }
    }
    return true;
}

// The access mode of an open descriptor from its fdinfo ("flags:\t<octal>").
bool fdinfo_writes(const std::string& fdinfo_path) {
    const std::optional<std::string> fdinfo = read_regular_file(fdinfo_path);
    if (!fdinfo) {
        return false;
    }
    for (const std::string_view line : text_lines(*fdinfo)) {
        if (line.starts_with("flags:")) {
            const unsigned long flags =
                std::strtoul(std::string(line.substr(6)).c_str(), nullptr, 8);
            return (flags & O_ACCMODE) != O_RDONLY;
        }
    }
    return false;
}

std::atomic<int> g_listing_reads_to_fail{0};

// Takes one from the tests' count of listings to fail; true when this one fails.
bool listing_read_fails_by_test() {
    int left = g_listing_reads_to_fail.load();
    while (left > 0 && !g_listing_reads_to_fail.compare_exchange_weak(left, left - 1)) {
    }
    return left > 0;
}

// The target of a copy, open for writing. Nothing is ever written through what stands at the
// name other than a regular file: a link, a pipe or a device there is removed itself (never
// what a link leads to) and a new file made in its place.
FileHandle open_copy_target(const std::filesystem::path& to, CopyMode mode,
                            const struct stat& source) {
    struct stat target {};
    if (::lstat(to.c_str(), &target) == 0) {
        if (mode == CopyMode::FailIfExists || S_ISDIR(target.st_mode)) {
            return FileHandle();
        }
        if (S_ISREG(target.st_mode)) {
            // Truncating the target would destroy the source when both are the same file.
            if (target.st_dev == source.st_dev && target.st_ino == source.st_ino) {
                return FileHandle();
            }
            // Should a link or a pipe take the name in between, the open fails rather than
            // follow it or wait for a reader.
            FileHandle out(open_close_on_exec(
                to.c_str(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY));
            struct stat opened {};
            if (!out.is_open() || ::fstat(out.get(), &opened) != 0 || !S_ISREG(opened.st_mode)) {
                return FileHandle();
            }
            return out;
        }
        if (::unlink(to.c_str()) != 0) {
            return FileHandle();
        }
    }
    // Exclusive: whatever is put at the name meanwhile, a link included, makes it fail.
    return FileHandle(open_close_on_exec(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY,
                                         source.st_mode & 0777));
}

}  // namespace

bool exists(const std::filesystem::path& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

bool is_directory(const std::filesystem::path& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool delete_file(const std::filesystem::path& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) {
        return false;
    }
    return ::unlink(path.c_str()) == 0;
}

bool remove_empty_folder(const std::filesystem::path& path) {
    return ::rmdir(path.c_str()) == 0;
}

bool create_folder(const std::filesystem::path& path, mode_t mode) {
    if (::mkdir(path.c_str(), mode) == 0) {
        return true;
    }
    return errno == EEXIST && platform::is_directory(path);
}

bool copy_file(const std::filesystem::path& from, const std::filesystem::path& to, CopyMode mode,
               Links source_links) {
    FileHandle in = open_regular_file(from, source_links);
    struct stat source {};
    if (!in.is_open() || ::fstat(in.get(), &source) != 0) {
        return false;
    }
    FileHandle out = open_copy_target(to, mode, source);
    if (!out.is_open()) {
        return false;
    }
    const struct timespec times[2] = {source.st_atim, source.st_mtim};
    const bool copied = copy_contents(in.get(), out.get()) &&
                        ::fchmod(out.get(), source.st_mode & 0777) == 0 &&
                        ::futimens(out.get(), times) == 0;
    if (!out.close() || !copied) {
        ::unlink(to.c_str());
        return false;
    }
    return true;
}

namespace {

constexpr std::string_view kPartialCopyPrefix = ".velquorin-copy-";

// Puts a finished file at its name without replacing anything there: the no-replace rename, or
// on a file system without it a hard link, which fails just as surely on a taken name.
bool link_into_place(const std::filesystem::path& temporary, const std::filesystem::path& to) {
    if (::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return false;
    }
    if (::link(temporary.c_str(), to.c_str()) != 0) {
        return false;
    }
    ::unlink(temporary.c_str());
    return true;
}

bool flush_folder(const std::filesystem::path& folder) {
    const FileHandle fd(open_close_on_exec(folder.c_str(), O_RDONLY | O_DIRECTORY));
    return fd.is_open() && ::fsync(fd.get()) == 0;
}

}  // namespace

bool is_partial_copy_name(std::string_view name) {
    return name.starts_with(kPartialCopyPrefix);
}

bool copy_file_into_place(const std::filesystem::path& from, const std::filesystem::path& to,
                          Links source_links) {
    FileHandle in = open_regular_file(from, source_links);
    struct stat source {};
    if (!in.is_open() || ::fstat(in.get(), &source) != 0) {
        return false;
    }
    if (platform::exists(to)) {
        errno = EEXIST;
        return false;
    }
    const std::filesystem::path folder = to.has_parent_path() ? to.parent_path() : ".";
    static std::atomic<unsigned> counter{0};
    std::filesystem::path temporary;
    FileHandle out;
    for (int attempt = 0; attempt < 100 && !out.is_open(); ++attempt) {
        temporary = folder / (std::string(kPartialCopyPrefix) + std::to_string(::getpid()) + "-" +
                              std::to_string(counter++));
        out = FileHandle(open_close_on_exec(temporary.c_str(),
                                            O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY,
                                            source.st_mode & 0777));
        if (!out.is_open() && errno != EEXIST) {
            return false;
        }
    }
    if (!out.is_open()) {
        return false;
    }
    const struct timespec times[2] = {source.st_atim, source.st_mtim};
    bool ok = copy_contents(in.get(), out.get()) &&
              ::fchmod(out.get(), source.st_mode & 0777) == 0 &&
              ::futimens(out.get(), times) == 0 && ::fsync(out.get()) == 0;
    ok = out.close() && ok;
    if (!ok || !link_into_place(temporary, to)) {
        const int error = errno;
        ::unlink(temporary.c_str());
        errno = error;
        return false;
    }
    // The name itself on the disk too, before a caller deletes the source.
    return flush_folder(folder);
}

bool move_file(const std::filesystem::path& from, const std::filesystem::path& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return false;
    }
    // A file system without the no-replace rename: test first (a writer in between could be
    // overwritten, the best such a file system allows).
    if (platform::exists(to)) {
        return false;
    }
    return ::rename(from.c_str(), to.c_str()) == 0;
}

bool move_file_across(const std::filesystem::path& from, const std::filesystem::path& to) {
    if (move_file(from, to)) {
        return true;
    }
    // Only another file system calls for the copy; a rename refused for any other reason (the
    // target there, its folder gone) is refused here too.
    // A link is never copied through: the file it leads to is not the one being moved.
    if (errno != EXDEV || !copy_file_into_place(from, to, Links::NotFollowed)) {
        return false;
    }
    if (!delete_file(from)) {
        ::unlink(to.c_str());
        return false;
    }
    return true;
}

namespace {

class BufferedWriter : public ContentWriter {
  public:
    explicit BufferedWriter(int fd) : fd_(fd) { buffer_.reserve(kBytes); }
    bool append(std::string_view bytes) override {
        if (failed_) {
            return false;
        }
        if (buffer_.size() + bytes.size() > kBytes) {
            if (!flush()) {
                return false;
            }
            if (bytes.size() >= kBytes) {
                failed_ = !write_all(fd_, bytes.data(), bytes.size());
                return !failed_;
            }
        }
        buffer_.append(bytes);
        return true;
    }
    bool flush() {
        if (!failed_ && !buffer_.empty()) {
            failed_ = !write_all(fd_, buffer_.data(), buffer_.size());
            buffer_.clear();
        }
        return !failed_;
    }

  private:
    static constexpr std::size_t kBytes = 256 * 1024;
    int fd_;
    std::string buffer_;
    bool failed_ = false;
};

}  // namespace

bool replace_file_contents(const std::filesystem::path& path, std::string_view bytes, Links links) {
    return replace_file_contents(
        path, [&](ContentWriter& writer) { return writer.append(bytes); }, links);
}

bool replace_file_contents(const std::filesystem::path& path,
                           const std::function<bool(ContentWriter&)>& write, Links links) {
    std::filesystem::path target = path;
    struct stat existing {};
    bool existed = ::lstat(path.c_str(), &existing) == 0;
    if (existed && links == Links::NotFollowed && !S_ISREG(existing.st_mode) &&
        !S_ISDIR(existing.st_mode)) {
        // The entry itself is replaced, a link or a pipe alike; what a link leads to is left
        // as it is.
        existed = false;
    } else if (existed && S_ISLNK(existing.st_mode)) {
        std::error_code error;
        target = std::filesystem::canonical(path, error);
        if (error) {
            return false;
        }
        existed = ::stat(target.c_str(), &existing) == 0;
    }
    if (existed && !S_ISREG(existing.st_mode)) {
        return false;
    }
    static std::atomic<unsigned> counter{0};
    std::filesystem::path temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary = target;
        temporary += ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
        fd = open_close_on_exec(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
        if (fd < 0 && errno != EEXIST) {
            return false;
        }
    }
    FileHandle out(fd);
    if (!out.is_open()) {
        return false;
    }
    BufferedWriter writer(out.get());
    bool ok = write(writer) && writer.flush();
    if (ok && existed) {
        ok = ::fchmod(out.get(), existing.st_mode & 07777) == 0;
    }
    // On disk before the rename, so that a power loss cannot leave an empty file behind.
    ok = ok && ::fsync(out.get()) == 0;
    ok = out.close() && ok;
    ok = ok && ::rename(temporary.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(temporary.c_str());
    }
    return ok;
}

std::optional<std::vector<FolderEntry>> list_folder(const std::filesystem::path& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        return std::nullopt;
    }
    const bool read_fails = listing_read_fails_by_test();
    std::vector<FolderEntry> entries;
    for (;;) {
        // The end of the folder and a failed read both give no entry; only errno tells them
        // apart, so it is cleared before each read.
        errno = read_fails ? EIO : 0;
        const dirent* entry = read_fails ? nullptr : ::readdir(dir);
        if (entry == nullptr) {
            break;
        }
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) {
            continue;
        }
        bool is_folder = entry->d_type == DT_DIR;
        if (entry->d_type == DT_UNKNOWN) {
            // Some file systems do not give the type in the listing.
            struct stat info {};
            is_folder = ::fstatat(::dirfd(dir), name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
                        S_ISDIR(info.st_mode);
        }
        entries.push_back({name, is_folder});
    }
    const int error = errno;
    ::closedir(dir);
    if (error != 0) {
        // Part of a folder is not the folder: what the listing did not reach is not gone.
        errno = error;
        return std::nullopt;
    }
    return entries;
}

std::optional<LocalTime> last_write_time(const std::filesystem::path& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return std::nullopt;
    }
    struct tm local {};
    if (::localtime_r(&info.st_mtim.tv_sec, &local) == nullptr) {
        return std::nullopt;
    }
    return LocalTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                     local.tm_hour,        local.tm_min,     local.tm_sec};
}

std::optional<EntryStatus> entry_status(const std::filesystem::path& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
        return std::nullopt;
    }
    EntryStatus status;
    status.kind = S_ISREG(info.st_mode)   ? EntryStatus::Kind::RegularFile
                  : S_ISDIR(info.st_mode) ? EntryStatus::Kind::Folder
                                          : EntryStatus::Kind::Other;
    status.size = static_cast<std::uint64_t>(info.st_size);
    status.modified_seconds = info.st_mtim.tv_sec;
    status.modified_nanoseconds = info.st_mtim.tv_nsec;
    struct tm local {};
    if (::localtime_r(&info.st_mtim.tv_sec, &local) != nullptr) {
        status.modified = LocalTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                                    local.tm_hour,        local.tm_min,     local.tm_sec};
    }
    return status;
}

bool read_refused(const std::filesystem::path& path) {
    // Asked with the rights this process acts with; a folder that cannot be entered on the way
    // answers the same as the file's own rights.
    return ::faccessat(AT_FDCWD, path.c_str(), R_OK, AT_EACCESS) != 0 &&
           (errno == EACCES || errno == EPERM);
}

std::optional<std::uint64_t> file_size(const std::filesystem::path& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(info.st_size);
}

std::optional<std::string> read_regular_file(const std::filesystem::path& path,
                                             std::size_t max_bytes) {
    const FileHandle fd = open_regular_file(path);
    if (!fd.is_open()) {
        return std::nullopt;
    }
    std::string content;
    std::vector<char> buffer(64 * 1024);
    while (content.size() < max_bytes) {
        const std::size_t want = std::min(buffer.size(), max_bytes - content.size());
        const ssize_t got = ::read(fd.get(), buffer.data(), want);
        if (got == 0) {
            break;
        }
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return std::nullopt;
        }
        content.append(buffer.data(), static_cast<std::size_t>(got));
    }
    return content;
}

EntryKind entry_kind(const std::filesystem::path& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0) {
        return S_ISREG(info.st_mode) ? EntryKind::RegularFile : EntryKind::Other;
    }
    // A link that leads nowhere, or round in a loop, is there itself.
    return ::lstat(path.c_str(), &info) == 0 ? EntryKind::Other : EntryKind::Missing;
}

Writers writers_of(const std::filesystem::path& path) {
    // Opened without waiting, so that a file under another holder's write lease answers at
    // once instead of holding us until that lease is given up.
    const FileHandle fd = open_regular_file(path);
    struct stat info {};
    if (!fd.is_open() || ::fstat(fd.get(), &info) != 0) {
        return Writers::Some;  // not a file anyone may take
    }
    keep_lease_breaks_harmless();
    // The kernel grants a read lease only while no descriptor anywhere, ours included, has the
    // file open for writing; it refuses with EAGAIN otherwise.
    if (::fcntl(fd.get(), F_SETLEASE, F_RDLCK) == 0) {
        ::fcntl(fd.get(), F_SETLEASE, F_UNLCK);
        return Writers::None;
    }
    if (errno == EAGAIN) {
        return Writers::Some;
    }
    // No lease here: the file belongs to another user (EACCES), the file system offers no
    // leases or they are switched off (EINVAL). Ask the process table instead.
    const files_detail::WriterScan scan = files_detail::scan_for_writers(info.st_dev, info.st_ino);
    if (scan.writer_found) {
        return Writers::Some;
    }
    return scan.all_seen ? Writers::None : Writers::Unknown;
}

bool writer_ruled_out(const std::filesystem::path& path) {
    return writers_of(path) == Writers::None;
}

namespace files_detail {

void fail_listing_reads(int count) {
    g_listing_reads_to_fail = count;
}

bool mount_options_hide_processes(std::string_view options) {
    while (!options.empty()) {
        const std::size_t comma = options.find(',');
        const std::string_view option = options.substr(0, comma);
        if (option == "hidepid=2" || option == "hidepid=invisible" || option == "hidepid=4" ||
            option == "hidepid=ptraceable") {
            return true;
        }
        options = comma == std::string_view::npos ? std::string_view() : options.substr(comma + 1);
    }
    return false;
}

namespace {

// Whether the process table at `proc` is mounted so that it hides other users' processes: the
// mountinfo line of that mount point (fields: id, parent, device, root, mount point, options,
// optional fields, "-", type, source, super options).
bool process_table_hides_processes(const std::filesystem::path& proc,
                                   const std::filesystem::path& mountinfo) {
    // Root may look into every process whatever the mount says.
    if (::geteuid() == 0) {
        return false;
    }
    const std::optional<std::string> table = read_regular_file(mountinfo);
    if (!table) {
        return false;
    }
    std::error_code error;
    const std::string point = std::filesystem::weakly_canonical(proc, error).string();
    for (const std::string_view line : text_lines(*table)) {
        std::vector<std::string_view> fields;
        for (std::string_view rest = line; !rest.empty();) {
            const std::size_t blank = rest.find(' ');
            fields.push_back(rest.substr(0, blank));
            rest = blank == std::string_view::npos ? std::string_view() : rest.substr(blank + 1);
        }
        std::size_t dash = 6;
        while (dash < fields.size() && fields[dash] != "-") {
            ++dash;
        }
        if (dash + 3 < fields.size() && fields[4] == point && fields[dash + 1] == "proc" &&
            mount_options_hide_processes(fields[dash + 3])) {
            return true;
        }
    }
    return false;
}

}  // namespace

WriterScan scan_for_writers(dev_t device, ino_t inode, const std::filesystem::path& proc,
                            const std::filesystem::path& mountinfo) {
    WriterScan scan;
    // Processes that the table does not list at all cannot be found writing.
    if (process_table_hides_processes(proc, mountinfo)) {
        scan.all_seen = false;
    }
    // Without the process table nothing more can be known; the open itself succeeded.
    DIR* processes = ::opendir(proc.c_str());
    if (processes == nullptr) {
        scan.all_seen = false;
        return scan;
    }
    while (!scan.writer_found) {
        const dirent* process = ::readdir(processes);
        if (process == nullptr) {
            break;
        }
        if (!all_digits(process->d_name)) {
            continue;
        }
        const std::string base = (proc / process->d_name).string();
        // Processes of other users cannot be looked into; one that ended meanwhile writes
        // nothing.
        DIR* fds = ::opendir((base + "/fd").c_str());
        if (fds == nullptr) {
            if (errno != ENOENT) {
                scan.all_seen = false;
            }
            continue;
        }
        while (const dirent* fd = ::readdir(fds)) {
            if (!all_digits(fd->d_name)) {
                continue;
            }
            struct stat target {};
            if (::fstatat(::dirfd(fds), fd->d_name, &target, 0) != 0 || target.st_ino != inode ||
                target.st_dev != device) {
                continue;
            }
            if (fdinfo_writes(base + "/fdinfo/" + fd->d_name)) {
                scan.writer_found = true;
                break;
            }
        }
        ::closedir(fds);
    }
    ::closedir(processes);
    return scan;
}

}  // namespace files_detail

}  // namespace platform
