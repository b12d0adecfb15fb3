#include "platform/dir_watch.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <iostream>
#include <system_error>
#include <thread>

#include "platform/clock.h"
#include "platform/files.h"

namespace platform {

namespace {

// File-name changes only: writing into a file, even overwriting it in place, reports nothing.
constexpr std::uint32_t kWatchMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                     IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
// The layer reads the kernel's queue into its own buffer, as often as needed until it is
// empty, so one buffer of this size serves a burst of any length.
constexpr std::size_t kReadBufferSize = 64 * 1024;
// The kernel's whole default queue of short names. A longer burst, or a flood that never lets
// the queue run empty, ends a wait here: the caller hands on what was read, may stop, and the
// next wait reads on.
constexpr int kMaxReadsPerWait = 16;
constexpr std::uint32_t kRetryIntervalMs = 1000;
// How long a move whose other half is not queued yet may wait for it (real milliseconds).
constexpr int kMovePairWaitMs = 5;

std::string join(const std::string& folder, const std::string& name) {
    return folder.empty() ? name : folder + "/" + name;
}

// True for `rel` itself and everything below it; everything is below the root "".
bool is_under(const std::string& rel, const std::string& folder) {
    return folder.empty() ||
           (rel.starts_with(folder) && (rel.size() == folder.size() || rel[folder.size()] == '/'));
}

// A folder that went away before its watch could be added: nothing to watch, nothing to retry.
bool is_gone(int error) {
    return error == ENOENT || error == ENOTDIR;
}

std::string error_text(int error) {
    return std::error_code(error, std::system_category()).message();
}

std::atomic<int> g_refused_watches{0};
std::atomic<int> g_refused_ports{0};
std::atomic<int> g_refused_listings{0};
std::function<void(const std::string&, bool)> g_listing_hook;

// Takes one from a test's count of refusals; true when this call is refused.
bool refused_by_test(std::atomic<int>& count, int error) {
    int left = count.load();
    while (left > 0 && !count.compare_exchange_weak(left, left - 1)) {
    }
    if (left <= 0) {
        return false;
    }
    errno = error;
    return true;
}

int poll_readable(int fd, int timeout_ms) {
    pollfd p{fd, POLLIN, 0};
    int result = 0;
    do {
        result = ::poll(&p, 1, timeout_ms);
    } while (result < 0 && errno == EINTR);
    return result;
}

}  // namespace

std::shared_ptr<DirWatchPort> DirWatchPort::create(int* error) {
    const int fd =
        refused_by_test(g_refused_ports, EMFILE) ? -1 : ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd < 0) {
        if (error) {
            *error = errno;
        }
        return nullptr;
    }
    return std::shared_ptr<DirWatchPort>(new DirWatchPort(fd));
}

DirWatchPort::~DirWatchPort() {
    ::close(fd_);
}

std::unique_ptr<DirWatch> DirWatch::open(const std::filesystem::path& root, int* error) {
    const int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        if (error) {
            *error = errno;
        }
        return nullptr;
    }
    return std::unique_ptr<DirWatch>(new DirWatch(root, fd));
}

DirWatch::~DirWatch() {
    if (port_) {
        for (const auto& [wd, folder] : folder_of_watch_) {
            ::inotify_rm_watch(port_->fd(), wd);
        }
    }
    ::close(folder_fd_);
}

bool DirWatch::bind(std::shared_ptr<DirWatchPort> port) {
    if (!port) {
        return false;
    }
    port_ = std::move(port);
    buffer_.resize(kReadBufferSize);
    return true;
}

int DirWatch::start() {
    if (!port_) {
        return EBADF;
    }
    TreeListing listing;
    const int error = watch_tree("", listing);
    if (error == 0) {
        for (ListedFile& file : listing.files) {
            listed_files_.emplace(file.name, file.id);
            known_files_.insert(std::move(file.name));
        }
        // What a folder held when its watch was refused is there from the start too, and
        // whoever lists the tree now finds it: it is known, so that the retry that watches the
        // folder reports only what changed since, never those files as new ones.
        for (const std::string& folder : listing.unlisted) {
            know_unwatched_tree(folder);
        }
    }
    return error;
}

void DirWatch::know_unwatched_tree(const std::string& rel) {
    std::vector<std::string> folders{rel};
    while (!folders.empty()) {
        const std::string folder = std::move(folders.back());
        folders.pop_back();
        const std::optional<std::vector<FolderEntry>> entries = list_folder(full_path(folder));
        if (!entries) {
            continue;  // nothing known of it: its files are reported once it can be listed
        }
        for (const FolderEntry& entry : *entries) {
            std::string name = join(folder, entry.name);
            if (entry.is_folder) {
                folders.push_back(std::move(name));
            } else {
                known_files_.insert(std::move(name));
            }
        }
    }
}

std::filesystem::path DirWatch::full_path(const std::string& rel) const {
    return rel.empty() ? root_ : root_ / rel;
}

DirWatch::FileId DirWatch::file_id(const std::string& rel) const {
    struct stat info {};
    if (::lstat(full_path(rel).c_str(), &info) != 0) {
        return {};
    }
    return {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
}

std::vector<DirChange> DirWatch::wait(std::uint32_t timeout_ms) {
    std::vector<DirChange> out;
    if (!port_) {
        sleep_ms(timeout_ms);
        return out;
    }
    if (overflow_forced_.exchange(false)) {
        discard_queued_events();
        relist(out);
        return out;
    }
    retry_refused(out);
    std::uint32_t wait_ms = timeout_ms;
    if (!refused_folders_.empty()) {
        const std::uint32_t since = tick_count() - last_retry_tick_;
        wait_ms = std::min(wait_ms, since >= kRetryIntervalMs ? 0 : kRetryIntervalMs - since);
    }
    const int real_ms =
        out.empty()
            ? static_cast<int>(std::ceil(static_cast<double>(real_microseconds(wait_ms)) / 1000.0))
            : 0;
    const int ready = poll_readable(port_->fd(), real_ms);
    if (ready == 0) {
        // The queue is empty, so no event of a file that a listing found is still to come, and
        // a move's half still waiting for its other (after a flood) is a move out.
        resolve_pending_move(out);
        listed_files_.clear();
    } else if (ready < 0 || !read_events(out)) {
        // A wait or a read that fails (neither does while the port is open) still waits, so
        // that the caller's loop never spins.
        std::this_thread::sleep_for(std::chrono::milliseconds(real_ms));
    }
    return out;
}

bool DirWatch::read_events(std::vector<DirChange>& out) {
    for (int reads = 0; reads < kMaxReadsPerWait;) {
        const ssize_t n = ::read(port_->fd(), buffer_.data(), buffer_.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno != EAGAIN) {
            return false;
        }
        ++reads;
        if (n <= 0) {
            // The two halves of a move are queued together; a lone half is a move out of the
            // tree, unless the other half is being queued at this very moment.
            if (pending_move_ && poll_readable(port_->fd(), kMovePairWaitMs) > 0) {
                continue;
            }
            resolve_pending_move(out);
            listed_files_.clear();
            return true;
        }
        std::size_t offset = 0;
        while (offset + sizeof(inotify_event) <= static_cast<std::size_t>(n)) {
            inotify_event event;
            std::memcpy(&event, buffer_.data() + offset, sizeof event);
            const char* name = buffer_.data() + offset + sizeof event;
            handle_event(event.wd, event.mask, event.cookie,
                         std::string(name, ::strnlen(name, event.len)), out);
            offset += sizeof event + event.len;
        }
    }
    return true;  // read on at the next wait: the pending move and the listed files stay
}

void DirWatch::handle_event(int wd, std::uint32_t mask, std::uint32_t cookie,
                            const std::string& name, std::vector<DirChange>& out) {
    if (pending_move_ && !((mask & IN_MOVED_TO) && cookie == pending_move_->cookie)) {
        resolve_pending_move(out);
    }
    if (mask & IN_Q_OVERFLOW) {
        relist(out);
        return;
    }
    const auto watch = folder_of_watch_.find(wd);
    if (watch == folder_of_watch_.end()) {
        return;  // a watch already dropped with its folder
    }
    const std::string folder = watch->second;
    const bool is_folder = (mask & IN_ISDIR) != 0;
    if (mask & (IN_DELETE_SELF | IN_IGNORED | IN_UNMOUNT)) {
        folder.empty() ? root_gone(out) : drop_tree(folder, out);
        return;
    }
    if (mask & IN_MOVE_SELF) {
        // A moved sub-folder is followed through its parent's move events.
        if (folder.empty()) {
            root_gone(out);
        }
        return;
    }
    const std::string rel = join(folder, name);
    if (mask & IN_MOVED_FROM) {
        pending_move_ = PendingMove{cookie, rel, is_folder};
    } else if ((mask & IN_MOVED_TO) && pending_move_) {
        const PendingMove from = *std::exchange(pending_move_, std::nullopt);
        if (from.is_folder) {
            rename_folder(from.name, rel, out);
        } else {
            file_gone(from.name, DirChangeAction::RenamedOldName, out);
            file_appeared(rel, DirChangeAction::RenamedNewName, true, out);
        }
    } else if (mask & (IN_CREATE | IN_MOVED_TO)) {
        if (is_folder) {
            folder_appeared(rel, out);
        } else {
            file_appeared(rel, DirChangeAction::Added, (mask & IN_MOVED_TO) != 0, out);
        }
    } else if (mask & IN_DELETE) {
        is_folder ? drop_tree(rel, out) : file_gone(rel, DirChangeAction::Removed, out);
    }
}

void DirWatch::file_appeared(const std::string& rel, DirChangeAction action, bool by_move,
                             std::vector<DirChange>& out) {
    if (const auto listed = listed_files_.find(rel); listed != listed_files_.end()) {
        const FileId seen = listed->second;
        listed_files_.erase(listed);
        // A listing found the file and reported it already, unless another file was moved
        // onto its name since: that one replaces it, as any move onto a known name does.
        const FileId now = by_move ? file_id(rel) : FileId{};
        if (now == FileId{} || seen == FileId{} || now == seen) {
            return;
        }
    }
    if (known_files_.count(rel) != 0) {
        if (!by_move) {
            return;
        }
        // Moved onto a file of that name, which is replaced.
        out.push_back({DirChangeAction::Removed, rel});
    }
    known_files_.insert(rel);
    out.push_back({action, rel});
}

void DirWatch::file_gone(const std::string& rel, DirChangeAction action,
                         std::vector<DirChange>& out) {
    listed_files_.erase(rel);
    if (known_files_.erase(rel) != 0) {
        out.push_back({action, rel});
    }
}

void DirWatch::resolve_pending_move(std::vector<DirChange>& out) {
    if (!pending_move_) {
        return;
    }
    const PendingMove from = *std::exchange(pending_move_, std::nullopt);
    if (from.is_folder) {
        drop_tree(from.name, out);
    } else {
        file_gone(from.name, DirChangeAction::Removed, out);
    }
}

std::pair<std::set<std::string>::iterator, std::set<std::string>::iterator> DirWatch::files_under(
    const std::string& folder) {
    if (folder.empty()) {
        return {known_files_.begin(), known_files_.end()};
    }
    // Names below the folder start with folder + '/', and '0' is the character after '/'.
    return {known_files_.lower_bound(folder + "/"), known_files_.lower_bound(folder + "0")};
}

void DirWatch::rename_folder(const std::string& from, const std::string& to,
                             std::vector<DirChange>& out) {
    const bool followed =
        watch_of_folder_.count(from) != 0 ||
        std::find(refused_folders_.begin(), refused_folders_.end(), from) != refused_folders_.end();
    if (!followed || from == to) {
        folder_appeared(to, out);
        return;
    }
    const auto moved = [&](const std::string& rel) { return to + rel.substr(from.size()); };
    std::vector<std::pair<std::string, int>> watches;
    for (const auto& [folder, wd] : watch_of_folder_) {
        if (is_under(folder, from)) {
            watches.emplace_back(folder, wd);
        }
    }
    for (const auto& [folder, wd] : watches) {
        watch_of_folder_.erase(folder);
    }
    for (const auto& [folder, wd] : watches) {
        const std::string target = moved(folder);
        // A folder moved onto an empty one replaces it; the replaced one's watch goes.
        if (const auto old = watch_of_folder_.find(target); old != watch_of_folder_.end()) {
            folder_of_watch_.erase(old->second);
        }
        watch_of_folder_[target] = wd;
        folder_of_watch_[wd] = target;
    }
    for (std::string& folder : refused_folders_) {
        if (is_under(folder, from)) {
            folder = moved(folder);
        }
    }
    const auto [first, last] = files_under(from);
    const std::vector<std::string> files(first, last);
    known_files_.erase(first, last);
    for (const std::string& file : files) {
        const std::string target = moved(file);
        out.push_back({DirChangeAction::RenamedOldName, file});
        out.push_back({DirChangeAction::RenamedNewName, target});
        known_files_.insert(target);
        if (auto listed = listed_files_.extract(file)) {
            listed.key() = target;
            listed_files_.insert(std::move(listed));
        }
    }
}

void DirWatch::folder_appeared(const std::string& rel, std::vector<DirChange>& out) {
    TreeListing listing;
    const int error = watch_tree(rel, listing);
    if (error != 0) {
        note_refused(rel, error);
        return;
    }
    apply_listing(rel, listing, out);
}

void DirWatch::apply_listing(const std::string& rel, TreeListing& listing,
                             std::vector<DirChange>& out) {
    std::set<std::string> found;
    for (const ListedFile& file : listing.files) {
        found.insert(file.name);
    }
    const auto unlisted = [&](const std::string& file) {
        return std::any_of(listing.unlisted.begin(), listing.unlisted.end(),
                           [&](const std::string& folder) { return is_under(file, folder); });
    };
    auto [it, last] = files_under(rel);
    while (it != last) {
        if (found.count(*it) != 0 || unlisted(*it)) {
            ++it;
            continue;
        }
        out.push_back({DirChangeAction::Removed, *it});
        listed_files_.erase(*it);
        it = known_files_.erase(it);
    }
    for (ListedFile& file : listing.files) {
        if (known_files_.insert(file.name).second) {
            listed_files_[file.name] = file.id;
            out.push_back({DirChangeAction::Added, std::move(file.name)});
        }
    }
}

int DirWatch::watch_tree(const std::string& rel, TreeListing& listing) {
    std::vector<std::string> folders{rel};
    while (!folders.empty()) {
        const std::string folder = std::move(folders.back());
        folders.pop_back();
        if (const int error = add_watch(folder); error != 0) {
            if (folder == rel) {
                return error;
            }
            note_refused(folder, error);
            if (!is_gone(error)) {
                listing.unlisted.push_back(folder);
            }
            continue;
        }
        std::erase(refused_folders_, folder);
        listing.folders.insert(folder);
        if (g_listing_hook) {
            g_listing_hook(folder, false);
        }
        const std::optional<std::vector<FolderEntry>> entries =
            refused_by_test(g_refused_listings, EMFILE) ? std::nullopt
                                                        : list_folder(full_path(folder));
        if (!entries) {
            // Watched but not listed (out of descriptors, say): listed again with the retries.
            // A folder gone meanwhile has no files to keep.
            const int error = errno;
            if (!is_gone(error)) {
                note_refused(folder, error);
                listing.unlisted.push_back(folder);
            }
            continue;
        }
        for (const FolderEntry& entry : *entries) {
            std::string name = join(folder, entry.name);
            if (entry.is_folder) {
                folders.push_back(std::move(name));
            } else {
                // Asked right after the listing, so that a file moved onto the name later is
                // told from the one listed.
                const FileId id = file_id(name);
                listing.files.push_back({std::move(name), id});
            }
        }
        if (g_listing_hook) {
            g_listing_hook(folder, true);
        }
    }
    return 0;
}

int DirWatch::add_watch(const std::string& rel) {
    int wd = -1;
    if (!refused_by_test(g_refused_watches, ENOSPC)) {
        // The root may be reached through a link, as configured; links below it are not folders.
        const std::uint32_t mask = rel.empty() ? kWatchMask : kWatchMask | IN_DONT_FOLLOW;
        wd = ::inotify_add_watch(port_->fd(), full_path(rel).c_str(), mask);
    }
    if (wd < 0) {
        return errno;
    }
    // The kernel gives the same watch again for a folder it already watches (one found again
    // under a new name after an overflow); a different folder under this name replaced ours.
    if (const auto same = folder_of_watch_.find(wd);
        same != folder_of_watch_.end() && same->second != rel) {
        watch_of_folder_.erase(same->second);
    }
    if (const auto old = watch_of_folder_.find(rel);
        old != watch_of_folder_.end() && old->second != wd) {
        folder_of_watch_.erase(old->second);
        ::inotify_rm_watch(port_->fd(), old->second);
    }
    folder_of_watch_[wd] = rel;
    watch_of_folder_[rel] = wd;
    return 0;
}

void DirWatch::note_refused(const std::string& rel, int error) {
    if (is_gone(error) && !rel.empty()) {
        std::erase(refused_folders_, rel);
        return;
    }
    if (std::find(refused_folders_.begin(), refused_folders_.end(), rel) !=
        refused_folders_.end()) {
        return;
    }
    if (refused_folders_.empty()) {
        last_retry_tick_ = tick_count();
    }
    refused_folders_.push_back(rel);
    std::cerr << "velquorin: cannot watch or list folder " << full_path(rel) << ": "
              << error_text(error) << "; trying again every second\n";
}

void DirWatch::drop_tree(const std::string& rel, std::vector<DirChange>& out) {
    for (auto it = watch_of_folder_.begin(); it != watch_of_folder_.end();) {
        if (is_under(it->first, rel)) {
            ::inotify_rm_watch(port_->fd(), it->second);
            folder_of_watch_.erase(it->second);
            it = watch_of_folder_.erase(it);
        } else {
            ++it;
        }
    }
    std::erase_if(refused_folders_, [&](const std::string& f) { return is_under(f, rel); });
    const auto [first, last] = files_under(rel);
    for (auto it = first; it != last; ++it) {
        out.push_back({DirChangeAction::Removed, *it});
        listed_files_.erase(*it);
    }
    known_files_.erase(first, last);
}

void DirWatch::root_gone(std::vector<DirChange>& out) {
    drop_tree("", out);
    // Watched again once a folder of that name is back.
    note_refused("", ENOENT);
}

void DirWatch::relist(std::vector<DirChange>& out) {
    pending_move_.reset();  // the listing below settles it
    TreeListing listing;
    if (const int error = watch_tree("", listing); error != 0) {
        if (is_gone(error)) {
            root_gone(out);
        } else {
            // The job folder is there but cannot be watched now: nothing is known of what it
            // holds, so its files stay as they are known, and it is listed again with the
            // retries. Reporting them gone would drop their rows and bring them back as new
            // jobs, to be printed a second time.
            note_refused("", error);
        }
        return;
    }
    const auto below_unlisted = [&](const std::string& folder) {
        return std::any_of(listing.unlisted.begin(), listing.unlisted.end(),
                           [&](const std::string& u) { return is_under(folder, u); });
    };
    for (auto it = watch_of_folder_.begin(); it != watch_of_folder_.end();) {
        if (listing.folders.count(it->first) == 0 && !below_unlisted(it->first)) {
            ::inotify_rm_watch(port_->fd(), it->second);
            folder_of_watch_.erase(it->second);
            it = watch_of_folder_.erase(it);
        } else {
            ++it;
        }
    }
    apply_listing("", listing, out);
}

void DirWatch::retry_refused(std::vector<DirChange>& out) {
    if (refused_folders_.empty() || tick_count() - last_retry_tick_ < kRetryIntervalMs) {
        return;
    }
    last_retry_tick_ = tick_count();
    const std::vector<std::string> folders = refused_folders_;
    for (const std::string& folder : folders) {
        if (std::find(refused_folders_.begin(), refused_folders_.end(), folder) !=
            refused_folders_.end()) {
            folder_appeared(folder, out);
        }
    }
}

void DirWatch::discard_queued_events() {
    while (::read(port_->fd(), buffer_.data(), buffer_.size()) > 0 || errno == EINTR) {
    }
}

namespace dir_watch_detail {

void refuse_watches(int count) {
    g_refused_watches = count;
}

void refuse_ports(int count) {
    g_refused_ports = count;
}

void refuse_listings(int count) {
    g_refused_listings = count;
}

void set_listing_hook(std::function<void(const std::string& folder, bool listed)> hook) {
    g_listing_hook = std::move(hook);
}

}  // namespace dir_watch_detail

}  // namespace platform
