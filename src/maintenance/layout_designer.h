#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/process.h"

// The outside layout designer of the RIP: a Windows program installed under the system drive,
// known by its executable's name in the process list and by a title text of its main window.
// The workstation starts it, brings its window forward and restarts it; it never talks to it
// otherwise.
namespace maintenance {

inline constexpr std::string_view kDesignerProcessName = "lytw.exe";
inline constexpr std::string_view kDesignerWindowTitle = "NorvaxelRIP v9.0";
inline constexpr std::string_view kDesignerMissingText =
    "Program open failed, RIP software is not installed or the installation location is "
    "incorrect!";

// How long a running designer gets to end, in program time: after its window was asked to
// close (time to save or ask the operator), after SIGTERM, and after SIGKILL. Together they
// bound every restart, however the old copy behaves.
inline constexpr std::uint32_t kCloseRequestWaitMs = 5000;
inline constexpr std::uint32_t kTerminateWaitMs = 3000;
inline constexpr std::uint32_t kKillWaitMs = 2000;

// <system drive>/NorvaxelRIP v9.0/DTP/lytw.exe
std::filesystem::path designer_path();

// Starts the designer with no arguments. A file that begins with "MZ" (a Windows executable) is
// run through the Windows compatibility layer's `wine` when one is on the PATH; any other file,
// or a Windows one without it, is started directly, and then the system's refusal is the
// result. The failure is returned for the caller to report.
platform::StartResult start_designer();

// The operator's own designers of this workstation: the running processes of the user this
// program runs as that run the program at designer_path(), directly or through wine. Another
// account's designer, a copy of the program elsewhere and a process that merely takes the name
// never count. Nothing when the process list cannot be read.
std::optional<std::vector<platform::RunningProcess>> find_running_designers();

// The running designer's main window: the first top-level window of one of the operator's own
// designers whose non-empty title contains the designer's title text. Nothing without an X
// display or such a window.
std::optional<platform::TopWindow> find_designer_window();

// The window of a designer just started: the first top-level window of one of the operator's
// own designers titled exactly as the designer's title text, so that another window whose
// title merely holds it (the RIP's own) is never taken in its place.
std::optional<platform::TopWindow> find_started_designer_window();

// What close_running_rip did.
enum class RipCloseResult {
    NoneRunning,   // no designer of this user ran (or the process list could not be read)
    Closed,        // the designer with the title ended
    LeftAlone,     // this user's designers run, but none with a window of the title
    NoDisplay,     // designers run, but without an X display no window can be reached
    OutlivedKill,  // the designer with the title outlived even SIGKILL's wait
};

}  // namespace maintenance

// Tells the running designer to quit, and makes sure it does without ever waiting without end.
// Only the operator's own designers count: processes of the user this program runs as that run
// the program of that name in the designer's folder (directly or through wine); of them only
// the one that owns the first window whose title contains the designer's title text. That
// window is asked to close and given kCloseRequestWaitMs, then its process gets SIGTERM and
// kTerminateWaitMs, then SIGKILL and kKillWaitMs. Every other process is left alone, and
// without an X display nothing is ended at all. Blocks for at most the sum of the three waits:
// call it off the user-interface thread.
maintenance::RipCloseResult close_running_rip(std::string_view process_name);
