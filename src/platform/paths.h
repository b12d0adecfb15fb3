#pragma once

#include <filesystem>
#include <optional>

// The fixed Windows places of the workstation, mapped onto a Linux user's folders.
namespace platform {

// The folder that stands for the system drive "C:\": $VELQUORIN_SYSTEM_DRIVE, else
// <local application data>/velquorin/drive_c.
std::filesystem::path system_drive();

// The user's home folder: $HOME, else the one the user database gives, else /tmp.
std::filesystem::path home_folder();

// The user's local application-data folder: $XDG_DATA_HOME, else ~/.local/share.
std::filesystem::path local_app_data();

// The user's configuration folder: $XDG_CONFIG_HOME, else ~/.config.
std::filesystem::path config_home();

// The folder of the running executable.
std::filesystem::path program_folder();

// The program file by which the running program can be started again, read from the kernel's
// link to this process's executable (or another link given). A program replaced in place (an
// upgrade) is named by the kernel with " (deleted)" behind its path; the file now at that path
// is then the installed program. Nothing when the link cannot be read or no executable file is
// at the path it names.
std::optional<std::filesystem::path> installed_program(
    const std::filesystem::path& link = "/proc/self/exe");

}  // namespace platform
