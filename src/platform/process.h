#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Other programs on the workstation: starting one, finding the running copies of one by the
// name of its executable, ending them, and their top-level windows on the desktop. The window
// calls speak to the desktop's window manager over X (the window-manager hints every common
// desktop keeps); where no X display can be reached (offscreen, Wayland without X) they find
// nothing and do nothing, and say so.
namespace platform {

struct StartResult {
    pid_t pid = -1;
    int error = 0;  // errno of the failed start, 0 when started
    bool started() const { return pid > 0; }
};

// Starts program with the argument vector argv (argv[0] included; an empty vector passes the
// program's path as argv[0]), the caller's environment and folder, in a session of its own, with
// no shell in between: blanks and quotes in a path are never split or read. Failure (missing
// file, no permission, not an executable the system can run) is returned, not thrown. The
// program is never waited for; it is reaped when it ends so that it leaves no zombie behind.
StartResult start_process(const std::filesystem::path& program,
                          const std::vector<std::string>& argv = {});

// One running process, told apart from a later one that reuses its pid by its start time.
struct RunningProcess {
    pid_t pid = 0;
    std::uint64_t start_time = 0;  // clock ticks after boot, as /proc gives it
    friend bool operator==(const RunningProcess&, const RunningProcess&) = default;
};

// Whose processes a search takes: everybody's, or only those of the user this program runs as
// (real and effective user both this program's effective user).
enum class ProcessOwner { AnyUser, ThisUser };

// The running processes whose executable is named exactly `name` (case-sensitive), in pid
// order, of the owners asked for. The executable's name is the file name of the program the process
// runs (the last part of /proc/<pid>/exe) or, for a program run by a loader such as the Windows
// compatibility layer, the last part of its argv[0] with both "/" and "\" counting as separators
// (the loader puts the Windows program's path there, while exe names the loader itself). The
// kernel's short command name is never used: it is cut at 15 characters. Processes that already
// ended (zombies) are left out. Nothing when /proc cannot be read.
std::optional<std::vector<RunningProcess>> find_processes(
    std::string_view name, ProcessOwner owner = ProcessOwner::AnyUser);

// The running processes that run the program file `program`, in pid order, of the owners asked
// for: those whose executable is that very file (by device and inode, whatever path led to it),
// and those that a loader of the Windows compatibility layer (an executable whose name begins
// with "wine") runs it in. Such a loader puts the program's Windows path into its argv[0]; a
// drive letter there is read through the process's own prefix ($WINEPREFIX in its
// environment, else ~/.wine of its HOME: <prefix>/dosdevices/<letter>:), a path of the system's
// own as it stands. A name alone never counts: any process can take any argv[0]. Nothing when
// /proc cannot be read; none when program does not exist.
std::optional<std::vector<RunningProcess>> find_processes_running(
    const std::filesystem::path& program, ProcessOwner owner);

// Waits until every process of the list has ended or ms of program time have passed; true when
// all have ended.
bool wait_for_exit(const std::vector<RunningProcess>& processes, std::uint32_t ms);

// Ends processes: SIGTERM to each, up to term_wait_ms of program time for them to end, then
// SIGKILL to those left and up to kill_wait_ms more. True when all have ended; false when one
// outlived both waits (or could not be signalled, as another user's process).
bool terminate_processes(const std::vector<RunningProcess>& processes, std::uint32_t term_wait_ms,
                         std::uint32_t kill_wait_ms);

// --- Top-level windows ---------------------------------------------------------------------

using WindowId = std::uint32_t;

struct TopWindow {
    WindowId id = 0;
    std::string title;  // UTF-8; empty for an untitled window
    pid_t pid = 0;      // the process that says it owns the window; 0 when it does not say
};

// True when an X display can be reached: DISPLAY is set and its server takes a connection.
bool x_display_reachable();

// The desktop's top-level windows in the window manager's order (oldest first) with their
// titles and owning processes. Empty without an X display.
std::vector<TopWindow> top_level_windows();

// Shows the window in its normal size (out of minimised and maximised) and brings it to the
// front with the input focus. False when the window is gone or there is no X display.
bool show_window_normal(WindowId window);

// Asks the window manager to place the window in the rectangle of width x height at (x, y),
// its frame included: the frame's top-left corner goes to (x, y), and the window itself takes
// the size less the frame's widths. False when the window is gone, there is no X display, or
// the frame leaves no room.
bool place_window(WindowId window, int x, int y, int width, int height);

// Asks the window to close, as the close box of its caption would: the program is told and may
// save or ask first. Nothing waits for it to obey. False when the window is gone or there is no
// X display.
bool close_window(WindowId window);

}  // namespace platform
