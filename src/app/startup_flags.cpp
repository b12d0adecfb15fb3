#include "app/startup_flags.h"

#include "config/all_settings.h"
#include "config/program_globals.h"
#include "platform/files.h"
#include "platform/paths.h"

namespace app {

StartupFlags read_startup_flags() {
    StartupFlags flags;
    // A file that is there but cannot be read is taken as missing rather than as all zeros,
    // which would send every new job to the printer unasked.
    const auto settings =
        platform::exists(AllSettings::path()) ? AllSettings::read() : std::nullopt;
    if (!settings) {
        g_print_job_set = 1;
        flags.rotary_button_enabled = false;
        return flags;
    }
    g_print_job_set = settings->value(AllSettings::print_job_set) != 0 ? 1 : 0;
    const bool rotary = settings->value(AllSettings::print_media) == 1;
    g_rotary_mode = rotary ? 1 : 0;
    flags.rotary_button_enabled = rotary;
    return flags;
}

std::filesystem::path mt_output_folder() {
    return platform::system_drive() / "MTOutput";
}

void create_mt_output_folder() {
    platform::create_folder(mt_output_folder());
}

}  // namespace app
