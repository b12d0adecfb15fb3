#include "maintenance/layout_designer.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/paths.h"

namespace maintenance {
namespace {

// Read without an open that can wait: a pipe or a device at the designer's path is no Windows
// program, and never holds up the window that asks.
bool is_windows_executable(const std::filesystem::path& path) {
    const auto magic = platform::read_regular_file(path, 2);
    return magic && *magic == "MZ";
}

// The first executable file of that name in a folder of the PATH.
std::optional<std::filesystem::path> find_on_path(std::string_view name) {
    const char* path = std::getenv("PATH");
    if (path == nullptr) {
        return std::nullopt;
    }
    std::istringstream folders(path);
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        // An empty entry means the current folder; a program is never taken from there.
        if (folder.empty()) {
            continue;
        }
        const auto candidate = std::filesystem::path(folder) / name;
        std::error_code error;
        if (std::filesystem::is_regular_file(candidate, error) &&
            ::access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
    }
    return std::nullopt;
}

// The top-level windows that one of these processes says it owns; a window that names no
// process belongs to none of them.
std::vector<platform::TopWindow> windows_of(
    const std::vector<platform::RunningProcess>& processes) {
    std::vector<platform::TopWindow> owned;
    if (processes.empty()) {
        return owned;
    }
    for (auto& window : platform::top_level_windows()) {
        if (std::any_of(processes.begin(), processes.end(), [&](const platform::RunningProcess& p) {
                return window.pid != 0 && p.pid == window.pid;
            })) {
            owned.push_back(std::move(window));
        }
    }
    return owned;
}

// The first window whose non-empty title contains the designer's title text. The window of
// exactly that title is then this one: any window of that title holds the text as well.
std::optional<platform::TopWindow> first_designer_window(
    const std::vector<platform::TopWindow>& windows) {
    for (const auto& window : windows) {
        if (!window.title.empty() && window.title.find(kDesignerWindowTitle) != std::string::npos) {
            return window;
        }
    }
    return std::nullopt;
}

std::vector<platform::TopWindow> running_designer_windows() {
    return windows_of(find_running_designers().value_or(std::vector<platform::RunningProcess>{}));
}

}  // namespace

std::filesystem::path designer_path() {
    return platform::system_drive() / "NorvaxelRIP v9.0" / "DTP" / "lytw.exe";
}

platform::StartResult start_designer() {
    const auto program = designer_path();
    if (is_windows_executable(program)) {
        if (const auto wine = find_on_path("wine")) {
            return platform::start_process(*wine, {wine->native(), program.native()});
        }
    }
    return platform::start_process(program);
}

std::optional<std::vector<platform::RunningProcess>> find_running_designers() {
    return platform::find_processes_running(designer_path(), platform::ProcessOwner::ThisUser);
}

std::optional<platform::TopWindow> find_designer_window() {
    return first_designer_window(running_designer_windows());
}

std::optional<platform::TopWindow> find_started_designer_window() {
    for (auto& window : running_designer_windows()) {
        if (window.title == kDesignerWindowTitle) {
            return window;
        }
    }
    return std::nullopt;
}

}  // namespace maintenance

maintenance::RipCloseResult close_running_rip(std::string_view process_name) {
    using namespace maintenance;
    const auto running = platform::find_processes_running(
        designer_path().parent_path() / process_name, platform::ProcessOwner::ThisUser);
    if (!running || running->empty()) {
        return RipCloseResult::NoneRunning;
    }
    // Without a window to tell them apart, no designer is known to be the one to restart.
    if (!platform::x_display_reachable()) {
        return RipCloseResult::NoDisplay;
    }
    // Only windows that one of these designers owns: other programs' windows, whatever their
    // titles, are never touched.
    const auto window = first_designer_window(windows_of(*running));
    if (!window) {
        return RipCloseResult::LeftAlone;
    }
    const std::vector<platform::RunningProcess> designer{
        *std::find_if(running->begin(), running->end(),
                      [&](const platform::RunningProcess& p) { return p.pid == window->pid; })};
    // A close request lets the designer save its layout or ask the operator first; it is only
    // asked, never forced, so a designer that hangs cannot hang the workstation here.
    if (platform::close_window(window->id) &&
        platform::wait_for_exit(designer, kCloseRequestWaitMs)) {
        return RipCloseResult::Closed;
    }
    return platform::terminate_processes(designer, kTerminateWaitMs, kKillWaitMs)
               ? RipCloseResult::Closed
               : RipCloseResult::OutlivedKill;
}
