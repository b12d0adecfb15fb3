#pragma once

#include <filesystem>
#include <string_view>

// Starting the program with the operator's desktop session: an autostart entry in the user's
// configuration folder, the desktop's counterpart of a per-user Run value. Files only; no shell
// command is ever run, so no character of the program's path can turn into a command.
namespace platform {

// $XDG_CONFIG_HOME/autostart/<name>.desktop (default ~/.config/autostart).
std::filesystem::path autostart_entry_path(std::string_view name);

// True when the entry exists, whatever it holds.
bool autostart_entry_exists(std::string_view name);

// Writes (or replaces) the entry so that the session starts program, given by its full path,
// with no arguments. The path is quoted and escaped as desktop entries require, so blanks,
// quotes, backslashes, "$" and backquotes reach the program as they stand. False when the
// entry cannot be written, or when the path holds what no entry the session starts can carry:
// a control character (anything below a blank other than tab, line feed and carriage return)
// or "%", which the desktop's launcher refuses.
bool add_autostart_entry(std::string_view name, const std::filesystem::path& program);

// Deletes the entry; true when it is gone afterwards (also when it was not there).
bool remove_autostart_entry(std::string_view name);

}  // namespace platform
