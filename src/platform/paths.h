#pragma once

#include <filesystem>

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

}  // namespace platform
