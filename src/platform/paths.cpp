#include "platform/paths.h"

#include <pwd.h>
#include <unistd.h>

#include <sys/stat.h>

#include <cstdlib>
#include <string_view>
#include <system_error>

namespace platform {
namespace {

std::filesystem::path env_path(const char* name) {
    const char* value = std::getenv(name);
    // XDG rules: an empty or relative value is treated as unset.
    if (value == nullptr || *value != '/') {
        return {};
    }
    return value;
}

bool is_executable_file(const std::filesystem::path& path) {
    struct stat info {};
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

}  // namespace

std::filesystem::path home_folder() {
    if (auto home = env_path("HOME"); !home.empty()) {
        return home;
    }
    if (const passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_dir != nullptr) {
        return entry->pw_dir;
    }
    return "/tmp";
}

std::filesystem::path local_app_data() {
    if (auto data = env_path("XDG_DATA_HOME"); !data.empty()) {
        return data;
    }
    return home_folder() / ".local" / "share";
}

std::filesystem::path config_home() {
    if (auto config = env_path("XDG_CONFIG_HOME"); !config.empty()) {
        return config;
    }
    return home_folder() / ".config";
}

std::filesystem::path system_drive() {
    if (auto drive = env_path("VELQUORIN_SYSTEM_DRIVE"); !drive.empty()) {
        return drive;
    }
    return local_app_data() / "velquorin" / "drive_c";
}

std::filesystem::path program_folder() {
    std::error_code error;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) {
        return std::filesystem::current_path();
    }
    return exe.parent_path();
}

std::optional<std::filesystem::path> installed_program(const std::filesystem::path& link) {
    std::error_code error;
    const std::filesystem::path target = std::filesystem::read_symlink(link, error);
    if (error) {
        return std::nullopt;
    }
    if (is_executable_file(target)) {
        return target;
    }
    constexpr std::string_view kReplaced = " (deleted)";
    std::string text = target.native();
    if (text.ends_with(kReplaced)) {
        text.resize(text.size() - kReplaced.size());
        if (is_executable_file(text)) {
            return std::filesystem::path(text);
        }
    }
    return std::nullopt;
}

}  // namespace platform
