#include "platform/write_watch.h"

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/clock.h"
#include "platform/files.h"

namespace platform {
namespace {

constexpr std::uint32_t kFolderMask = IN_CREATE | IN_OPEN | IN_MODIFY | IN_CLOSE_WRITE |
                                      IN_CLOSE_NOWRITE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE |
                                      IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

bool is_under(const std::string& path, const std::string& folder) {
    return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
           path[folder.size()] == '/';
}

}  // namespace

std::unique_ptr<WriteWatch> WriteWatch::create(int* error) {
    const int fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd < 0) {
        if (error != nullptr) {
            *error = errno;
        }
        return nullptr;
    }
    return std::unique_ptr<WriteWatch>(new WriteWatch(fd));
}

WriteWatch::~WriteWatch() {
    ::close(fd_);
}

std::string WriteWatch::key_of(const std::filesystem::path& path) {
    std::string key = path.lexically_normal().string();
    while (key.size() > 1 && key.back() == '/') {
        key.pop_back();
    }
    return key;
}

bool WriteWatch::watch_tree(const std::filesystem::path& root) {
    const std::string folder = key_of(root);
    std::lock_guard lock(mutex_);
    drain();
    const int wd = ::inotify_add_watch(fd_, folder.c_str(), kFolderMask);
    if (wd < 0) {
        return false;
    }
    folder_of_watch_[wd] = folder;
    watch_of_folder_[folder] = wd;
    watch_folder_tree(folder);
    return true;
}

// The folders below one that is watched already. Each is watched before it is listed, so that
// a folder made inside it meanwhile is either listed or reported.
void WriteWatch::watch_folder_tree(const std::string& folder) {
    const std::optional<std::vector<FolderEntry>> entries = list_folder(folder);
    if (!entries) {
        return;
    }
    for (const FolderEntry& entry : *entries) {
        if (!entry.is_folder) {
            continue;
        }
        const std::string child = folder + "/" + entry.name;
        const int wd = ::inotify_add_watch(fd_, child.c_str(), kFolderMask | IN_DONT_FOLLOW);
        if (wd < 0) {
            continue;  // its files stay unknown
        }
        folder_of_watch_[wd] = child;
        watch_of_folder_[child] = wd;
        watch_folder_tree(child);
    }
}

WriteActivity WriteWatch::activity(const std::filesystem::path& file) {
    const std::string key = key_of(file);
    std::lock_guard lock(mutex_);
    drain();
    const auto found = files_.find(key);
    if (found == files_.end()) {
        return WriteActivity::Unknown;
    }
    const FileState& state = found->second;
    if (state.dirty || state.open_handles > 0) {
        return WriteActivity::Writing;
    }
    return state.whole_life_seen && state.settled ? WriteActivity::Closed : WriteActivity::Unknown;
}

void WriteWatch::drain() {
    alignas(inotify_event) char buffer[64 * 1024];
    for (;;) {
        const ssize_t got = ::read(fd_, buffer, sizeof buffer);
        if (got <= 0) {
            if (got < 0 && errno == EINTR) {
                continue;
            }
            return;  // nothing more queued (EAGAIN)
        }
        for (ssize_t at = 0; at < got;) {
            inotify_event event{};
            std::memcpy(&event, buffer + at, sizeof event);
            const char* name = buffer + at + sizeof(inotify_event);
            handle(event.wd, event.mask, event.len > 0 ? std::string(name) : std::string());
            at += static_cast<ssize_t>(sizeof(inotify_event) + event.len);
        }
    }
}

void WriteWatch::handle(int wd, std::uint32_t mask, const std::string& name) {
    if ((mask & IN_Q_OVERFLOW) != 0) {
        // What was lost may have been any write or open: nothing is known of any file now.
        files_.clear();
        return;
    }
    const auto watched = folder_of_watch_.find(wd);
    if (watched == folder_of_watch_.end()) {
        return;
    }
    const std::string folder = watched->second;
    if ((mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED)) != 0) {
        // A folder moved elsewhere keeps its watch under a path that is no longer its own.
        forget_folder(folder);
        return;
    }
    if (name.empty()) {
        return;
    }
    const std::string path = folder + "/" + name;
    if ((mask & IN_ISDIR) != 0) {
        if ((mask & (IN_CREATE | IN_MOVED_TO)) != 0) {
            const int child = ::inotify_add_watch(fd_, path.c_str(), kFolderMask | IN_DONT_FOLLOW);
            if (child >= 0) {
                folder_of_watch_[child] = path;
                watch_of_folder_[path] = child;
                watch_folder_tree(path);
            }
        } else if ((mask & IN_MOVED_FROM) != 0) {
            forget_folder(path);
        }
        return;
    }
    if ((mask & (IN_DELETE | IN_MOVED_FROM)) != 0) {
        files_.erase(path);
        return;
    }
    FileState& state = files_[path];
    if ((mask & IN_CREATE) != 0) {
        state = FileState{};
        state.whole_life_seen = true;
    }
    if ((mask & IN_MOVED_TO) != 0) {
        // A rename brings a file whose writing happened elsewhere; a handle open on it from
        // before stays unseen, but any write through it is reported from now on.
        state = FileState{};
        state.whole_life_seen = true;
        state.settled = true;
    }
    if ((mask & IN_OPEN) != 0) {
        ++state.open_handles;
    }
    if ((mask & IN_MODIFY) != 0) {
        state.dirty = true;
        state.settled = false;
    }
    if ((mask & (IN_CLOSE_WRITE | IN_CLOSE_NOWRITE)) != 0 && state.open_handles > 0) {
        // A close of a handle opened before the watch is not counted against those seen.
        --state.open_handles;
    }
    if ((mask & IN_CLOSE_WRITE) != 0) {
        state.dirty = false;
        state.settled = true;
    }
    if (state.is_default()) {
        files_.erase(path);
    }
}

void WriteWatch::forget_folder(const std::string& folder) {
    for (auto it = watch_of_folder_.begin(); it != watch_of_folder_.end();) {
        if (it->first == folder || is_under(it->first, folder)) {
            ::inotify_rm_watch(fd_, it->second);
            folder_of_watch_.erase(it->second);
            it = watch_of_folder_.erase(it);
        } else {
            ++it;
        }
    }
    forget_files_under(folder);
}

void WriteWatch::forget_files_under(const std::string& folder) {
    for (auto it = files_.begin(); it != files_.end();) {
        it = is_under(it->first, folder) ? files_.erase(it) : std::next(it);
    }
}

bool FinishedFiles::finished(const std::filesystem::path& file) {
    if (++asked_ % 256 == 0) {
        drop_gone_files();
    }
    switch (ask_file_(file)) {
        case Writers::None:
            quiet_.erase(file.string());
            return true;
        case Writers::Some:
            quiet_.erase(file.string());
            return false;
        case Writers::Unknown:
            break;
    }
    switch (watch_ != nullptr ? watch_->activity(file) : WriteActivity::Unknown) {
        case WriteActivity::Closed:
            quiet_.erase(file.string());
            return true;
        case WriteActivity::Writing:
            quiet_.erase(file.string());
            return false;
        case WriteActivity::Unknown:
            break;
    }
    return quiet_long_enough(file);
}

bool FinishedFiles::quiet_long_enough(const std::filesystem::path& file) {
    struct stat info {};
    if (::stat(file.c_str(), &info) != 0) {
        quiet_.erase(file.string());
        return false;
    }
    const Look look{info.st_dev, info.st_ino, static_cast<std::int64_t>(info.st_size),
                    info.st_mtim.tv_sec * 1'000'000'000LL + info.st_mtim.tv_nsec,
                    info.st_ctim.tv_sec * 1'000'000'000LL + info.st_ctim.tv_nsec};
    const std::uint32_t now = tick_count();
    const auto [entry, fresh] = quiet_.try_emplace(file.string(), Quiet{look, now});
    if (!fresh && !(entry->second.look == look)) {
        entry->second = Quiet{look, now};
    }
    // Kept once quiet, so that the answer stays yes for as long as the file stays as it is.
    return now - entry->second.since_tick >= quiet_ms_;
}

void FinishedFiles::drop_gone_files() {
    for (auto it = quiet_.begin(); it != quiet_.end();) {
        it = exists(it->first) ? std::next(it) : quiet_.erase(it);
    }
}

}  // namespace platform
