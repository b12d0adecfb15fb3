#pragma once

#include <string_view>

// "Auto boot": the program in the desktop session's autostart, so that it starts with the
// operator's session.
namespace app {

// The name of the session's autostart entry of the program.
inline constexpr std::string_view kAutoBootName = "Norvaxelduvavarura";
// Said when the entry cannot be changed.
inline constexpr std::string_view kAutoBootKeyError = "错误：无法打开有关的hKEY";

// The check mark: whether the entry exists, whatever it holds.
bool auto_boot_on();

// Adds the entry when it is missing, with the installed program's full path; removes it when it
// is there. Where there is no installed program to start (its file was deleted) or the entry
// cannot be written or removed, says kAutoBootKeyError and leaves it as it was.
void toggle_auto_boot();

}  // namespace app
