#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <thread>

// One running workstation per user. The instance name is claimed as a lock file held with
// flock for the life of the process, next to a user-only local socket on which the running
// instance listens. A second start finds the lock taken, asks the running instance through the
// socket to show its window normally and in front (also when it is hidden to the tray), and
// ends without creating anything. A lock left by a crash is no lock (the kernel drops it with
// the process), and a socket left by a crash is replaced by the next instance that takes the
// lock. When the name cannot be claimed at all the program starts as a first instance.
namespace app {

// The name of the running instance, shared with the main window's class name. The lock file
// bears it as it stands, the socket with kSocketSuffix.
inline constexpr std::string_view kInstanceName = "davuzadodadadozeZuzeviZer";
inline constexpr std::string_view kSocketSuffix = ".socket";

// The folder that holds the lock file and the socket: $XDG_RUNTIME_DIR when it is a folder of
// this user that nobody else may enter, else /tmp/velquorin-<uid> (made when missing, refused
// unless it is such a folder). Empty when neither can be had.
std::optional<std::filesystem::path> instance_folder();
// Where that folder is or would be, made nothing and checked nothing of the fallback: the
// runtime folder when it is this user's alone, else /tmp/velquorin-<uid>.
std::filesystem::path instance_folder_location();

class SingleInstance {
  public:
    // What the running instance does when a second start asks for its window. Registered by
    // the main window; runs on the instance's listener thread (never the user-interface thread,
    // which it must not block), so it should only hand the request on to the window.
    using ShowRequest = std::function<void()>;

    // How long a second start keeps trying to reach a running instance that holds the lock but
    // does not listen yet (it is just starting), in program milliseconds.
    static constexpr std::uint32_t kConnectTimeoutMs = 2000;
    // How long the listener waits for a caller's request before it hangs up on it.
    static constexpr std::uint32_t kRequestTimeoutMs = 1000;

    // Claims the instance name in the folder. Null when another instance holds it: that
    // instance has been asked to show its window, and this process should end now. Otherwise
    // this process is the first instance; serving() tells whether it could claim the name.
    static std::unique_ptr<SingleInstance> claim(
        const std::optional<std::filesystem::path>& folder);
    static std::unique_ptr<SingleInstance> claim() { return claim(instance_folder()); }

    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // True when this instance holds the name and listens for later starts.
    bool serving() const { return listen_fd_ >= 0; }

    // Installs the handler of show requests (an empty one removes it). A request that came
    // before any handler was installed is handed to the first handler at once, on the calling
    // thread, so a start during the window's own set-up is not lost.
    void set_show_handler(ShowRequest handler);

  private:
    SingleInstance() = default;
    void listen_loop();
    void serve_caller(int fd);
    void deliver_show_request();

    int lock_fd_ = -1;
    int listen_fd_ = -1;
    int wake_read_fd_ = -1;
    int wake_write_fd_ = -1;
    std::filesystem::path socket_path_;
    std::thread listener_;

    std::mutex handler_mutex_;
    ShowRequest handler_;
    bool request_pending_ = false;
};

}  // namespace app
