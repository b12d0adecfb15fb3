#include "app/single_instance.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/clock.h"

namespace app {
namespace {

namespace fs = std::filesystem;

// The one request a later start sends: show the window and bring it to the front.
constexpr std::string_view kShowLine = "show";
// A request line is never longer than this; a caller that sends more is not one of ours.
constexpr std::size_t kMaxRequest = 64;
constexpr std::uint32_t kConnectRetryMs = 50;

void warn(const char* what, const fs::path& where) {
    std::fprintf(stderr, "velquorin: %s %s: %s\n", what, where.c_str(), std::strerror(errno));
}

// A folder in which nobody but this user can create, replace or reach the lock and the socket.
bool is_private_folder(const fs::path& folder) {
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0) {
        return false;
    }
    return S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() && (info.st_mode & 077) == 0;
}

fs::path fallback_instance_folder() {
    return fs::path("/tmp") / ("velquorin-" + std::to_string(::geteuid()));
}

// Poll time-outs are real time; the program's time-outs run on the scaled clock.
int real_poll_ms(std::uint32_t program_ms) {
    const std::int64_t ms = platform::real_microseconds(program_ms) / 1000;
    return ms < 1 ? 1 : static_cast<int>(ms);
}

bool socket_address(const fs::path& path, sockaddr_un& address) {
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    const std::string& text = path.native();
    if (text.size() >= sizeof address.sun_path) {
        errno = ENAMETOOLONG;
        return false;
    }
    std::memcpy(address.sun_path, text.c_str(), text.size() + 1);
    return true;
}

enum class Lock { Taken, HeldElsewhere, Failed };

Lock try_lock(int fd) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        return Lock::Taken;
    }
    return errno == EWOULDBLOCK ? Lock::HeldElsewhere : Lock::Failed;
}

// One try to hand the show request to the running instance. Non-blocking throughout, so a
// running instance that hangs cannot hang the start that asks it.
bool send_show_request(const sockaddr_un& address) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        return false;
    }
    bool sent = false;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
        const std::string request = std::string(kShowLine) + "\n";
        sent = ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) ==
               static_cast<ssize_t>(request.size());
    }
    ::close(fd);
    return sent;
}

bool peer_is_this_user(int fd) {
    ucred peer{};
    socklen_t length = sizeof peer;
    return ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) == 0 &&
           peer.uid == ::geteuid();
}

}  // namespace

fs::path instance_folder_location() {
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        runtime != nullptr && *runtime == '/' && is_private_folder(runtime)) {
        return fs::path(runtime);
    }
    return fallback_instance_folder();
}

std::optional<fs::path> instance_folder() {
    const fs::path location = instance_folder_location();
    const fs::path fallback = fallback_instance_folder();
    if (location != fallback) {
        return location;
    }
    if (::mkdir(fallback.c_str(), 0700) != 0 && errno != EEXIST) {
        warn("cannot create", fallback);
        return std::nullopt;
    }
    // Someone else's folder of that name, or one that others may write in, is not used.
    if (!is_private_folder(fallback)) {
        std::fprintf(stderr, "velquorin: %s is not a folder of this user alone\n",
                     fallback.c_str());
        return std::nullopt;
    }
    return fallback;
}

std::unique_ptr<SingleInstance> SingleInstance::claim(const std::optional<fs::path>& folder) {
    std::unique_ptr<SingleInstance> instance(new SingleInstance);
    if (!folder || !is_private_folder(*folder)) {
        // Without a safe place for the name the program still starts.
        return instance;
    }
    const fs::path lock_path = *folder / std::string(kInstanceName);
    const fs::path socket_path =
        *folder / (std::string(kInstanceName) + std::string(kSocketSuffix));

    const int lock_fd = ::open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (lock_fd < 0) {
        warn("cannot open", lock_path);
        return instance;
    }
    // The holder of the lock may be just starting and not listen yet, or just ending: the
    // request is tried again for a while, and a lock that comes free meanwhile is taken.
    sockaddr_un address{};
    const bool addressable = socket_address(socket_path, address);
    const std::uint32_t start = platform::tick_count();
    for (Lock lock = try_lock(lock_fd); lock != Lock::Taken; lock = try_lock(lock_fd)) {
        if (lock == Lock::Failed) {
            warn("cannot lock", lock_path);
            ::close(lock_fd);
            return instance;
        }
        // Another instance runs: whether or not it could be reached, this start ends.
        if (!addressable || send_show_request(address) ||
            platform::tick_count() - start >= kConnectTimeoutMs) {
            ::close(lock_fd);
            return nullptr;
        }
        platform::sleep_ms(kConnectRetryMs);
    }
    instance->lock_fd_ = lock_fd;

    // With the lock held no live instance owns a socket of that name: one that is there was
    // left by a crash.
    ::unlink(socket_path.c_str());
    if (!addressable) {
        // The name stays claimed, so there is still only one instance; later starts end
        // without reaching it.
        warn("cannot listen on", socket_path);
        return instance;
    }
    const int listen_fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int wake[2] = {-1, -1};
    if (listen_fd < 0 ||
        ::bind(listen_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::chmod(socket_path.c_str(), 0600) != 0 || ::listen(listen_fd, 8) != 0 ||
        ::pipe2(wake, O_CLOEXEC) != 0) {
        warn("cannot listen on", socket_path);
        if (listen_fd >= 0) {
            ::close(listen_fd);
            ::unlink(socket_path.c_str());
        }
        return instance;
    }
    instance->listen_fd_ = listen_fd;
    instance->wake_read_fd_ = wake[0];
    instance->wake_write_fd_ = wake[1];
    instance->socket_path_ = socket_path;
    instance->listener_ = std::thread([raw = instance.get()] { raw->listen_loop(); });
    return instance;
}

SingleInstance::~SingleInstance() {
    if (listener_.joinable()) {
        const char wake = 1;
        [[maybe_unused]] const ssize_t ignored = ::write(wake_write_fd_, &wake, 1);
        listener_.join();
    }
    if (listen_fd_ >= 0) {
        // The socket goes before the lock, so nobody who takes the lock after us finds it.
        ::unlink(socket_path_.c_str());
        ::close(listen_fd_);
    }
    for (int fd : {wake_read_fd_, wake_write_fd_, lock_fd_}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

void SingleInstance::set_show_handler(ShowRequest handler) {
    bool deliver_now = false;
    {
        std::lock_guard lock(handler_mutex_);
        handler_ = std::move(handler);
        if (handler_ && request_pending_) {
            request_pending_ = false;
            deliver_now = true;
        }
        if (!deliver_now) {
            return;
        }
        handler = handler_;
    }
    handler();
}

void SingleInstance::deliver_show_request() {
    ShowRequest handler;
    {
        std::lock_guard lock(handler_mutex_);
        if (!handler_) {
            request_pending_ = true;
            return;
        }
        handler = handler_;
    }
    handler();
}

void SingleInstance::listen_loop() {
    for (;;) {
        pollfd waits[2] = {{listen_fd_, POLLIN, 0}, {wake_read_fd_, POLLIN, 0}};
        if (::poll(waits, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        if (waits[1].revents != 0) {
            return;
        }
        if ((waits[0].revents & POLLIN) != 0) {
            const int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
            if (fd >= 0) {
                serve_caller(fd);
                ::close(fd);
            }
        } else if (waits[0].revents != 0) {
            return;
        }
    }
}

void SingleInstance::serve_caller(int fd) {
    if (!peer_is_this_user(fd)) {
        return;
    }
    // One caller at a time, each given a bounded time, so a caller that connects and says
    // nothing delays later ones briefly and never stops the listener.
    std::string line;
    const std::uint32_t start = platform::tick_count();
    for (;;) {
        const std::uint32_t waited = platform::tick_count() - start;
        if (waited >= kRequestTimeoutMs) {
            return;
        }
        pollfd waits[2] = {{fd, POLLIN, 0}, {wake_read_fd_, POLLIN, 0}};
        const int ready = ::poll(waits, 2, real_poll_ms(kRequestTimeoutMs - waited));
        if (ready < 0 && errno != EINTR) {
            return;
        }
        if (waits[1].revents != 0) {
            return;
        }
        if (ready <= 0 || waits[0].revents == 0) {
            continue;
        }
        char bytes[kMaxRequest];
        const ssize_t got = ::recv(fd, bytes, sizeof bytes, 0);
        if (got < 0 && (errno == EAGAIN || errno == EINTR)) {
            continue;
        }
        if (got <= 0) {
            return;
        }
        line.append(bytes, static_cast<std::size_t>(got));
        if (const auto end = line.find('\n'); end != std::string::npos) {
            if (std::string_view(line).substr(0, end) == kShowLine) {
                deliver_show_request();
            }
            return;
        }
        if (line.size() > kMaxRequest) {
            return;
        }
    }
}

}  // namespace app
