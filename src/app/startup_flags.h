#pragma once

#include <filesystem>

// The two standing choices the main window takes from "all_setting.ini" once it is laid out,
// and the output folder it makes on the system drive.
namespace app {

struct StartupFlags {
    // The main window's rotary-settings button: usable only when rotary printing is chosen.
    bool rotary_button_enabled = false;
};

// Sets g_print_job_set and g_rotary_mode from "all_setting.ini" in the settings root, read by
// position: "Print_job_set" 0 sends newly analysed jobs straight to printing, any other number
// keeps them in the job queue (1); "print_media" 1 is rotary printing, any other value flatbed.
// Without the file the jobs wait in the queue and the rotary mode keeps its value; the rotary
// button is disabled unless rotary printing was read from the file.
StartupFlags read_startup_flags();

// "C:\MTOutput". Made at start-up and used by nothing else; whether it could be made does not
// matter to the program.
std::filesystem::path mt_output_folder();
void create_mt_output_folder();

}  // namespace app
