#include "engine/step_settings.h"

#include <filesystem>
#include <string>
#include <vector>

#include "config/program_globals.h"
#include "engine/virtual_print_settings.h"
#include "platform/files.h"
#include "platform/profile.h"
#include "platform/ui/message_box.h"

std::array<std::int32_t, StepSettings::kEntryCount> g_y_motor_steps{};

void load_step_settings() {
    engine::load_y_motor_steps();
    engine::create_virtual_hot_folders();
    engine::prepare_virtual_print_settings();
}

namespace engine {

void load_y_motor_steps() {
    const std::filesystem::path file =
        std::filesystem::path(g_settings_root) / std::string(StepSettings::kFileName);
    if (!platform::exists(file)) {
        for (std::size_t i = 0; i < StepSettings::kEntryCount; ++i) {
            g_y_motor_steps[i] = platform::leading_integer(StepSettings::kEntries[i].default_text);
        }
        return;
    }
    // A file that is there but not as expected (no section, fewer entries, no number, not
    // readable) gives 0 for what is missing; the defaults are never mixed in.
    std::vector<char> buffer(StepSettings::kBufferSize, '\0');
    platform::read_profile_section(file, StepSettings::kSection, buffer);
    // An entry without '=' counts as one entry of value 0: a stray line moves no other value
    // away from the line it stands on.
    const auto values =
        platform::section_values_by_position(buffer, static_cast<int>(StepSettings::kEntryCount),
                                             platform::EntryWithoutEquals::HasEmptyValue);
    for (std::size_t i = 0; i < StepSettings::kEntryCount; ++i) {
        g_y_motor_steps[i] = platform::leading_integer(values[i]);
    }
}

void create_virtual_hot_folders() {
    const std::filesystem::path root =
        std::filesystem::path(g_settings_root) / std::string(kVirtualHotFolder);
    // Nobody but the operator may write them, whatever the umask: the virtual printers deliver
    // into no folder that others may write.
    constexpr mode_t kHotFolderMode = 0755;
    platform::create_folder(root, kHotFolderMode);
    for (LayoutFolder layout : kLayoutFolders) {
        platform::create_folder(root / std::string(layout), kHotFolderMode);
    }
    bool all_there = true;
    for (LayoutFolder layout : kLayoutFolders) {
        // A plain existence test: a file of that name counts.
        all_there = all_there && platform::exists(root / std::string(layout));
    }
    if (!all_there) {
        platform::ui::message_box("Virtual hot folder create error.", {},
                                  platform::ui::Buttons::Ok);
    }
}

}  // namespace engine
