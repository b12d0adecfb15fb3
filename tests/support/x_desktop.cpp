#include "x_desktop.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>
#include <xcb/xcb_ewmh.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

extern char** environ;

namespace test_support {
namespace {

std::string find_on_path(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::istringstream folders(path != nullptr ? path : "/usr/bin:/bin");
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        const auto candidate = std::filesystem::path(folder.empty() ? "." : folder) / name;
        if (::access(candidate.c_str(), X_OK) == 0) {
            return candidate.string();
        }
    }
    return {};
}

// Starts a helper with its output discarded; -1 when it cannot be started.
pid_t spawn_quiet(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const auto& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int error = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return error == 0 ? pid : -1;
}

// The pid an X server wrote into its display's lock file; 0 when there is none.
pid_t lock_owner(const std::string& lock) {
    std::ifstream in(lock);
    pid_t pid = 0;
    return in >> pid ? pid : 0;
}

bool has_exited(pid_t pid) {
    int status = 0;
    return ::waitpid(pid, &status, WNOHANG) == pid;
}

void stop(pid_t& pid) {
    if (pid <= 0) {
        return;
    }
    ::kill(pid, SIGTERM);
    if (!wait_until([&] { return has_exited(pid); }, 5000)) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
    pid = -1;
}

// One connection with the window manager's atoms, for the test's own questions.
struct Connection {
    xcb_connection_t* c = nullptr;
    int screen = 0;
    xcb_ewmh_connection_t ewmh{};
    bool ready = false;

    Connection() {
        c = xcb_connect(nullptr, &screen);
        if (xcb_connection_has_error(c) != 0) {
            return;
        }
        ready = xcb_ewmh_init_atoms_replies(&ewmh, xcb_ewmh_init_atoms(c, &ewmh), nullptr) != 0;
    }
    ~Connection() {
        if (ready) {
            xcb_ewmh_connection_wipe(&ewmh);
        }
        xcb_disconnect(c);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    bool window_manager_running() {
        xcb_window_t check = XCB_NONE;
        return ready &&
               xcb_ewmh_get_supporting_wm_check_reply(
                   &ewmh, xcb_ewmh_get_supporting_wm_check(&ewmh, ewmh.screens[0]->root), &check,
                   nullptr) != 0 &&
               check != XCB_NONE;
    }

    std::uint32_t managed_windows() {
        xcb_ewmh_get_windows_reply_t clients;
        if (!ready || xcb_ewmh_get_client_list_reply(&ewmh, xcb_ewmh_get_client_list(&ewmh, 0),
                                                     &clients, nullptr) == 0) {
            return 0;
        }
        const std::uint32_t count = clients.windows_len;
        xcb_ewmh_get_windows_reply_wipe(&clients);
        return count;
    }

    // The window manager announces itself before it takes on windows; a window mapped in
    // between stays unmanaged for good. It is ready once a probe window of ours is managed.
    bool window_manager_manages() {
        if (!window_manager_running()) {
            return false;
        }
        xcb_screen_t* root = ewmh.screens[0];
        const xcb_window_t probe = xcb_generate_id(c);
        xcb_create_window(c, XCB_COPY_FROM_PARENT, probe, root->root, 0, 0, 10, 10, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, root->root_visual, 0, nullptr);
        xcb_map_window(c, probe);
        xcb_flush(c);
        const bool managed = wait_until([&] { return managed_windows() > 0; }, 1000);
        xcb_destroy_window(c, probe);
        xcb_flush(c);
        return managed && wait_until([&] { return managed_windows() == 0; }, 5000);
    }
};

// Whether the window manager's state list of the window holds this state.
bool has_state(std::uint32_t window, xcb_atom_t xcb_ewmh_connection_t::*state) {
    Connection x;
    xcb_ewmh_get_atoms_reply_t states;
    if (!x.ready || xcb_ewmh_get_wm_state_reply(&x.ewmh, xcb_ewmh_get_wm_state(&x.ewmh, window),
                                                &states, nullptr) == 0) {
        return false;
    }
    bool found = false;
    for (std::uint32_t i = 0; i < states.atoms_len; ++i) {
        found = found || states.atoms[i] == x.ewmh.*state;
    }
    xcb_ewmh_get_atoms_reply_wipe(&states);
    return found;
}

}  // namespace

bool wait_until(const std::function<bool()>& done, int timeout_ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

std::string start_desktop_into(std::optional<XDesktop>& desktop) {
    if (auto missing = XDesktop::missing(); !missing.empty()) {
        return missing;
    }
    desktop.emplace();
    EXPECT_TRUE(desktop->start()) << desktop->why();
    return {};
}

std::string stand_in_designer_program() {
    return VELQUORIN_STAND_IN_DESIGNER;
}

std::string XDesktop::missing() {
    if (find_on_path("Xvfb").empty()) {
        return "Xvfb is not installed (scripts/setup.sh installs it)";
    }
    for (const char* program : {"openbox", "trayer", "xdotool"}) {
        if (find_on_path(program).empty()) {
            return std::string(program) + " is not installed (scripts/setup.sh installs it)";
        }
    }
    return {};
}

XDesktop::XDesktop() = default;

XDesktop::~XDesktop() {
    stop(tray_);
    stop(window_manager_);
    stop(server_);
}

bool XDesktop::start() {
    const std::string server = find_on_path("Xvfb");
    // -noreset: a server that resets when its last client leaves drops a client that connects
    // meanwhile, such as the window manager right after the readiness checks.
    // Displays from :90 up, past any that another server (or another test) holds; a server that
    // loses the race for a number ends at once and the next one is tried.
    for (int number = 90; number < 190 && server_ < 0; ++number) {
        const std::string socket = "/tmp/.X11-unix/X" + std::to_string(number);
        const std::string lock = "/tmp/.X" + std::to_string(number) + "-lock";
        if (std::filesystem::exists(lock) || std::filesystem::exists(socket)) {
            continue;
        }
        const pid_t pid = spawn_quiet({server, ":" + std::to_string(number), "-nolisten", "tcp",
                                       "-noreset", "-screen", "0", "1280x1024x24"});
        if (pid < 0) {
            why_ = "Xvfb cannot be started";
            return false;
        }
        // The display is ours once its lock file names our server; another test's server that
        // won the race for the number has its own pid there, and ours ends.
        bool exited = false;
        const bool up = wait_until(
            [&] {
                exited = has_exited(pid);
                return exited || (std::filesystem::exists(socket) && lock_owner(lock) == pid);
            },
            10000);
        if (up && !exited) {
            server_ = pid;
            display_ = ":" + std::to_string(number);
        } else if (!exited) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }
    if (server_ < 0) {
        why_ = "no Xvfb server came up on displays :90 to :189";
        return false;
    }
    display_env_.emplace("DISPLAY", display_.c_str());
    const bool connects = wait_until([] { return Connection().ready; }, 10000);
    if (!connects) {
        why_ = "Xvfb on " + display_ + " takes no connection";
        return false;
    }
    window_manager_ = spawn_quiet({find_on_path("openbox"), "--sm-disable"});
    if (window_manager_ < 0 ||
        !wait_until([] { return Connection().window_manager_manages(); }, 10000)) {
        why_ = "openbox did not come up on " + display_;
        return false;
    }
    return true;
}

std::optional<XDesktop::Geometry> XDesktop::geometry(std::uint32_t window) const {
    Connection x;
    if (!x.ready) {
        return std::nullopt;
    }
    auto* size = xcb_get_geometry_reply(x.c, xcb_get_geometry(x.c, window), nullptr);
    auto* origin = xcb_translate_coordinates_reply(
        x.c, xcb_translate_coordinates(x.c, window, x.ewmh.screens[0]->root, 0, 0), nullptr);
    std::optional<Geometry> result;
    if (size != nullptr && origin != nullptr) {
        xcb_ewmh_get_extents_reply_t frame{};
        xcb_ewmh_get_frame_extents_reply(&x.ewmh, xcb_ewmh_get_frame_extents(&x.ewmh, window),
                                         &frame, nullptr);
        result = Geometry{origin->dst_x - static_cast<int>(frame.left),
                          origin->dst_y - static_cast<int>(frame.top),
                          size->width,
                          size->height,
                          size->width + static_cast<int>(frame.left + frame.right),
                          size->height + static_cast<int>(frame.top + frame.bottom)};
    }
    std::free(size);
    std::free(origin);
    return result;
}

std::uint32_t XDesktop::active_window() const {
    Connection x;
    xcb_window_t active = XCB_NONE;
    if (x.ready) {
        xcb_ewmh_get_active_window_reply(&x.ewmh, xcb_ewmh_get_active_window(&x.ewmh, 0), &active,
                                         nullptr);
    }
    return active;
}

void XDesktop::minimise(std::uint32_t window) const {
    Connection x;
    if (!x.ready) {
        return;
    }
    const char* name = "WM_CHANGE_STATE";
    auto* atom = xcb_intern_atom_reply(
        x.c, xcb_intern_atom(x.c, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr);
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = atom != nullptr ? atom->atom : XCB_NONE;
    event.data.data32[0] = 3;  // iconic
    std::free(atom);
    xcb_send_event(x.c, 0, x.ewmh.screens[0]->root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&event));
    std::free(xcb_get_input_focus_reply(x.c, xcb_get_input_focus(x.c), nullptr));
}

bool XDesktop::is_minimised(std::uint32_t window) const {
    return has_state(window, &xcb_ewmh_connection_t::_NET_WM_STATE_HIDDEN);
}

bool XDesktop::is_shown(std::uint32_t window) const {
    Connection x;
    if (!x.ready) {
        return false;
    }
    auto* attributes =
        xcb_get_window_attributes_reply(x.c, xcb_get_window_attributes(x.c, window), nullptr);
    const bool shown = attributes != nullptr && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
    std::free(attributes);
    return shown;
}

bool XDesktop::is_kept_above(std::uint32_t window) const {
    return has_state(window, &xcb_ewmh_connection_t::_NET_WM_STATE_ABOVE);
}

bool XDesktop::start_tray() {
    tray_ =
        spawn_quiet({find_on_path("trayer"), "--edge", "bottom", "--align", "right", "--widthtype",
                     "pixel", "--width", "64", "--heighttype", "pixel", "--height", "24"});
    // The tray is there once the notification area's selection has an owner.
    return tray_ > 0 &&
           wait_until(
               [] {
                   Connection x;
                   if (!x.ready) {
                       return false;
                   }
                   const char* name = "_NET_SYSTEM_TRAY_S0";
                   auto* atom = xcb_intern_atom_reply(
                       x.c,
                       xcb_intern_atom(x.c, 0, static_cast<std::uint16_t>(std::strlen(name)), name),
                       nullptr);
                   const xcb_atom_t selection = atom != nullptr ? atom->atom : XCB_NONE;
                   std::free(atom);
                   auto* owner = xcb_get_selection_owner_reply(
                       x.c, xcb_get_selection_owner(x.c, selection), nullptr);
                   const bool owned = owner != nullptr && owner->owner != XCB_NONE;
                   std::free(owner);
                   return owned;
               },
               10000);
}

void XDesktop::stop_tray() {
    stop(tray_);
}

std::optional<std::string> XDesktop::xdotool(const std::vector<std::string>& args) const {
    int out[2];
    if (::pipe(out) != 0) {
        return std::nullopt;
    }
    std::vector<std::string> command{find_on_path("xdotool")};
    command.insert(command.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (const auto& arg : command) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    pid_t pid = -1;
    const int error = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    std::string output;
    char buffer[256];
    for (ssize_t got; error == 0 && (got = ::read(out[0], buffer, sizeof buffer)) > 0;) {
        output.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(out[0]);
    int status = 0;
    if (error != 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
        return std::nullopt;
    }
    return output;
}

void XDesktop::click(int x, int y, int button) const {
    xdotool({"mousemove", std::to_string(x), std::to_string(y)});
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    xdotool({"click", std::to_string(button)});
}

void XDesktop::drag(int x, int y, int to_x, int to_y) const {
    const auto pause = [](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); };
    xdotool({"mousemove", std::to_string(x), std::to_string(y)});
    xdotool({"mousedown", "1"});
    pause(200);
    xdotool({"mousemove", std::to_string((x + to_x) / 2), std::to_string((y + to_y) / 2)});
    pause(100);
    xdotool({"mousemove", std::to_string(to_x), std::to_string(to_y)});
    pause(200);
    xdotool({"mouseup", "1"});
}

}  // namespace test_support
