#include "maintenance/layout_designer.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/paths.h"

namespace maintenance {
namespace {

bool is_windows_executable(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    char magic[2] = {};
    return in.read(magic, 2) && magic[0] == 'M' && magic[1] == 'Z';
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

std::optional<platform::TopWindow> find_designer_window() {
    for (auto& window : platform::top_level_windows()) {
        if (!window.title.empty() && window.title.find(kDesignerWindowTitle) != std::string::npos) {
            return window;
        }
    }
    return std::nullopt;
}

}  // namespace maintenance

bool close_running_rip(std::string_view process_name) {
    using namespace maintenance;
    const auto running = platform::find_processes(process_name);
    if (!running) {
        return false;
    }
    if (running->empty()) {
        return true;
    }
    // A close request lets the designer save its layout or ask the operator first; it is only
    // asked, never forced, so a designer that hangs cannot hang the workstation here.
    if (const auto window = find_designer_window();
        window && platform::close_window(window->id) &&
        platform::wait_for_exit(*running, kCloseRequestWaitMs)) {
        return true;
    }
    return platform::terminate_processes(*running, kTerminateWaitMs, kKillWaitMs);
}
