#include "platform/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <system_error>
#include <thread>
#include <utility>

#include "platform/clock.h"

extern char** environ;

namespace platform {
namespace {

// A file of /proc read whole. Plain reads: a process that ends while its files are read makes
// the read fail (ESRCH), which must count as "nothing there", never as an exception.
std::string read_whole(const std::filesystem::path& path) {
    std::string text;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return text;
    }
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        text.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);
    return text;
}

// The state letter and the start time of /proc/<pid>/stat. The command name in brackets may
// hold blanks and brackets of its own, so the fields are counted from its last ')'.
struct ProcessStat {
    char state = '?';
    std::uint64_t start_time = 0;
};

std::optional<ProcessStat> read_stat(pid_t pid) {
    const std::string text = read_whole("/proc/" + std::to_string(pid) + "/stat");
    const auto close = text.rfind(')');
    if (close == std::string::npos || close + 2 >= text.size()) {
        return std::nullopt;
    }
    ProcessStat stat;
    stat.state = text[close + 2];
    // Field 3 is the state; the start time is field 22.
    std::size_t at = close + 2;
    for (int field = 3; field < 22; ++field) {
        at = text.find(' ', at);
        if (at == std::string::npos) {
            return std::nullopt;
        }
        ++at;
    }
    const char* end = text.data() + text.size();
    if (std::from_chars(text.data() + at, end, stat.start_time).ec != std::errc{}) {
        return std::nullopt;
    }
    return stat;
}

// The real and the effective user of /proc/<pid>/status, both this program's effective user.
bool owned_by_this_user(pid_t pid) {
    const std::string text = read_whole("/proc/" + std::to_string(pid) + "/status");
    constexpr std::string_view kUid = "\nUid:";
    const auto at = text.find(kUid);
    if (at == std::string::npos) {
        return false;
    }
    const char* cursor = text.data() + at + kUid.size();
    const char* end = text.data() + text.size();
    const uid_t self = ::geteuid();
    for (int field = 0; field < 2; ++field) {
        while (cursor < end && (*cursor == '\t' || *cursor == ' ')) {
            ++cursor;
        }
        uid_t uid = 0;
        const auto parsed = std::from_chars(cursor, end, uid);
        if (parsed.ec != std::errc{} || uid != self) {
            return false;
        }
        cursor = parsed.ptr;
    }
    return true;
}

bool has_ended(char state) {
    return state == 'Z' || state == 'X' || state == 'x';
}

std::string_view last_part(std::string_view path) {
    const auto cut = path.find_last_of("/\\");
    return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

bool runs_executable(pid_t pid, std::string_view name) {
    const std::filesystem::path folder = "/proc/" + std::to_string(pid);
    std::error_code error;
    std::string exe = std::filesystem::read_symlink(folder / "exe", error).native();
    if (!error) {
        constexpr std::string_view kDeleted = " (deleted)";
        if (exe.ends_with(kDeleted)) {
            exe.resize(exe.size() - kDeleted.size());
        }
        if (last_part(exe) == name) {
            return true;
        }
    }
    const std::string cmdline = read_whole(folder / "cmdline");
    const std::string_view argv0(cmdline.data(), std::min(cmdline.find('\0'), cmdline.size()));
    return !argv0.empty() && last_part(argv0) == name;
}

// A file told apart from every other, whatever path leads to it.
struct FileId {
    dev_t device = 0;
    ino_t inode = 0;
    friend bool operator==(const FileId&, const FileId&) = default;
};

std::optional<FileId> file_id(const std::filesystem::path& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        return std::nullopt;
    }
    return FileId{status.st_dev, status.st_ino};
}

// The value of one variable of a process's starting environment; empty when it has none.
std::string environment_value(pid_t pid, std::string_view name) {
    const std::string text = read_whole("/proc/" + std::to_string(pid) + "/environ");
    const std::string prefix = std::string(name) + "=";
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = std::min(text.find('\0', at), text.size());
        const std::string_view entry(text.data() + at, end - at);
        if (entry.starts_with(prefix)) {
            return std::string(entry.substr(prefix.size()));
        }
        at = end + 1;
    }
    return {};
}

// The file that a Windows program path names for this process of the compatibility layer:
// "X:\a\b" is <prefix>/dosdevices/x:/a/b, the prefix being the process's own.
std::optional<std::filesystem::path> windows_program_file(pid_t pid, std::string_view path) {
    if (path.size() < 3 || path[1] != ':' || path[2] != '\\' ||
        !std::isalpha(static_cast<unsigned char>(path[0]))) {
        return std::nullopt;
    }
    std::string prefix = environment_value(pid, "WINEPREFIX");
    if (prefix.empty()) {
        const std::string home = environment_value(pid, "HOME");
        if (home.empty()) {
            return std::nullopt;
        }
        prefix = home + "/.wine";
    }
    std::string rest(path.substr(3));
    std::replace(rest.begin(), rest.end(), '\\', '/');
    const char letter = static_cast<char>(std::tolower(static_cast<unsigned char>(path[0])));
    return std::filesystem::path(prefix) / "dosdevices" / (std::string(1, letter) + ":") / rest;
}

// Whether the process runs that file: as its executable, or inside a loader of the Windows
// compatibility layer, which names the program in its argv[0].
bool runs_file(pid_t pid, const FileId& program) {
    const std::filesystem::path folder = "/proc/" + std::to_string(pid);
    if (file_id(folder / "exe") == program) {
        return true;
    }
    std::error_code error;
    const std::string exe = std::filesystem::read_symlink(folder / "exe", error).native();
    if (error || !last_part(exe).starts_with("wine")) {
        return false;
    }
    const std::string cmdline = read_whole(folder / "cmdline");
    const std::string_view argv0(cmdline.data(), std::min(cmdline.find('\0'), cmdline.size()));
    if (argv0.starts_with('/')) {
        return file_id(std::filesystem::path(argv0)) == program;
    }
    const auto file = windows_program_file(pid, argv0);
    return file && file_id(*file) == program;
}

// The processes of the owners asked for that are still running and that `takes` accepts, in
// pid order; nothing when /proc cannot be read.
template <class Takes>
std::optional<std::vector<RunningProcess>> scan_processes(ProcessOwner owner, Takes&& takes) {
    std::error_code error;
    std::filesystem::directory_iterator entries("/proc", error);
    if (error) {
        return std::nullopt;
    }
    std::vector<RunningProcess> found;
    // Processes come and go while the folder is read: every step takes its error code, so
    // nothing here throws.
    for (; entries != std::filesystem::directory_iterator(); entries.increment(error)) {
        if (error) {
            return std::nullopt;
        }
        const std::string file = entries->path().filename().native();
        pid_t pid = 0;
        const auto [end, parsed] = std::from_chars(file.data(), file.data() + file.size(), pid);
        if (parsed != std::errc{} || end != file.data() + file.size()) {
            continue;
        }
        const auto stat = read_stat(pid);
        // The owner first: another user's files of /proc are never read further.
        if (!stat || has_ended(stat->state) ||
            (owner == ProcessOwner::ThisUser && !owned_by_this_user(pid)) || !takes(pid)) {
            continue;
        }
        found.push_back(RunningProcess{pid, stat->start_time});
    }
    if (error) {
        return std::nullopt;
    }
    std::sort(found.begin(), found.end(),
              [](const RunningProcess& a, const RunningProcess& b) { return a.pid < b.pid; });
    return found;
}

// A handle on one process that stays with it even when its pid is reused: a pid file
// descriptor, taken only after the start time confirms it is still the process that was found.
// On a kernel without pid descriptors the pid and start time are checked again at every look.
class ProcessHandle {
  public:
    static std::optional<ProcessHandle> open(const RunningProcess& process) {
        const int fd = static_cast<int>(::syscall(SYS_pidfd_open, process.pid, 0));
        if (fd < 0 && errno != ENOSYS) {
            return std::nullopt;  // ended already
        }
        ProcessHandle handle(fd, process);
        if (handle.has_exited()) {
            return std::nullopt;
        }
        return handle;
    }
    ProcessHandle(ProcessHandle&& other) noexcept
        : fd_(std::exchange(other.fd_, -1)), process_(other.process_) {}
    ProcessHandle& operator=(ProcessHandle&& other) noexcept {
        std::swap(fd_, other.fd_);
        std::swap(process_, other.process_);
        return *this;
    }
    ~ProcessHandle() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }

    bool has_exited() const {
        // A pid descriptor becomes readable when its process ends.
        if (pollfd entry{fd_, POLLIN, 0}; fd_ >= 0 && ::poll(&entry, 1, 0) > 0) {
            return true;
        }
        const auto stat = read_stat(process_.pid);
        return !stat || stat->start_time != process_.start_time || has_ended(stat->state);
    }
    bool signal(int number) const {
        if (fd_ >= 0) {
            return ::syscall(SYS_pidfd_send_signal, fd_, number, nullptr, 0) == 0;
        }
        return !has_exited() && ::kill(process_.pid, number) == 0;
    }
    // -1 without a pid descriptor; a wait then looks again after its time slice.
    int fd() const { return fd_; }

  private:
    ProcessHandle(int fd, const RunningProcess& process) : fd_(fd), process_(process) {}
    int fd_;
    RunningProcess process_;
};

std::vector<ProcessHandle> open_all(const std::vector<RunningProcess>& processes) {
    std::vector<ProcessHandle> handles;
    for (const auto& process : processes) {
        if (auto handle = ProcessHandle::open(process)) {
            handles.push_back(std::move(*handle));
        }
    }
    return handles;
}

// Drops the handles of ended processes until none is left or ms of program time have passed.
bool wait_handles(std::vector<ProcessHandle>& handles, std::uint32_t ms) {
    const std::uint32_t start = tick_count();
    for (;;) {
        std::erase_if(handles, [](const ProcessHandle& h) { return h.has_exited(); });
        const std::uint32_t spent = tick_count() - start;
        if (handles.empty() || spent >= ms) {
            return handles.empty();
        }
        std::vector<pollfd> entries;
        for (const auto& handle : handles) {
            entries.push_back(pollfd{handle.fd(), POLLIN, 0});
        }
        // At most 50 ms of program time per look, so the program clock bounds the wait even
        // when its scale changes while waiting.
        const auto slice = std::min<std::uint32_t>(ms - spent, 50);
        const auto real_ms = std::max<std::int64_t>(1, real_microseconds(slice) / 1000);
        ::poll(entries.data(), entries.size(), static_cast<int>(real_ms));
    }
}

}  // namespace

StartResult start_process(const std::filesystem::path& program,
                          const std::vector<std::string>& argv) {
    std::vector<std::string> arguments = argv;
    if (arguments.empty()) {
        arguments.push_back(program.native());
    }
    std::vector<char*> pointers;
    for (auto& argument : arguments) {
        pointers.push_back(argument.data());
    }
    pointers.push_back(nullptr);

    // The program gets a clean signal state, whatever this thread blocks or ignores, and a
    // session of its own, so that ending the workstation from a terminal does not end it.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    sigset_t all;
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes,
                             POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSID);
    pid_t pid = -1;
    const int error =
        ::posix_spawn(&pid, program.c_str(), nullptr, &attributes, pointers.data(), environ);
    posix_spawnattr_destroy(&attributes);
    if (error != 0) {
        return StartResult{-1, error};
    }
    std::thread([pid] {
        int status = 0;
        while (::waitpid(pid, &status, 0) == -1 && errno == EINTR) {
        }
    }).detach();
    return StartResult{pid, 0};
}

std::optional<std::vector<RunningProcess>> find_processes(std::string_view name,
                                                          ProcessOwner owner) {
    return scan_processes(owner, [&](pid_t pid) { return runs_executable(pid, name); });
}

std::optional<std::vector<RunningProcess>> find_processes_running(
    const std::filesystem::path& program, ProcessOwner owner) {
    const auto id = file_id(program);
    if (!id) {
        return std::vector<RunningProcess>{};
    }
    return scan_processes(owner, [&](pid_t pid) { return runs_file(pid, *id); });
}

bool wait_for_exit(const std::vector<RunningProcess>& processes, std::uint32_t ms) {
    auto handles = open_all(processes);
    return wait_handles(handles, ms);
}

bool terminate_processes(const std::vector<RunningProcess>& processes, std::uint32_t term_wait_ms,
                         std::uint32_t kill_wait_ms) {
    auto handles = open_all(processes);
    for (const auto& handle : handles) {
        handle.signal(SIGTERM);
    }
    if (wait_handles(handles, term_wait_ms)) {
        return true;
    }
    for (const auto& handle : handles) {
        handle.signal(SIGKILL);
    }
    return wait_handles(handles, kill_wait_ms);
}

}  // namespace platform
