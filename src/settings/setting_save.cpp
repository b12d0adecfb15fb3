#include "settings/setting_save.h"

#include <algorithm>
#include <iterator>

#include "engine/job_list_rows.h"
#include "engine/main_window_access.h"
#include "platform/files.h"
#include "platform/ui/list_ctrl.h"
#include "settings/program_globals.h"

namespace {

constexpr int kSavedPositions[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 18};

// Every write is made, even after one failed, so that as much of the operator's choice as can
// be kept is kept; the result says whether all of them held.
bool write_keys(const SettingTexts& texts, const std::filesystem::path& file, bool all_eighteen) {
    bool all_held = true;
    for (const AllSettingsEntry& entry : AllSettings::entries()) {
        const bool saved = std::find(std::begin(kSavedPositions), std::end(kSavedPositions),
                                     entry.position) != std::end(kSavedPositions);
        if (saved || all_eighteen) {
            const std::string& text = texts[static_cast<std::size_t>(entry.position - 1)];
            all_held = AllSettings::write(entry.key, text, file) && all_held;
        }
    }
    return all_held;
}

// Made beside the file and renamed into place, so a failure on the way never leaves a file
// with some entries only, whose later saves would append the rest out of order.
bool create_setting_file(const SettingTexts& texts, const std::filesystem::path& file) {
    std::filesystem::path partial = file;
    partial += ".new";
    platform::delete_file(partial);  // left by an earlier attempt that was cut off
    if (write_keys(texts, partial, true) && platform::move_file(partial, file)) {
        return true;
    }
    platform::delete_file(partial);
    return false;
}

}  // namespace

bool write_setting_file(const SettingTexts& texts, const std::filesystem::path& file) {
    const bool written =
        platform::exists(file) ? write_keys(texts, file, false) : create_setting_file(texts, file);
    return written && platform::exists(file);
}

void apply_saved_settings(int print_job_set, const std::string& print_media) {
    g_print_job_set = print_job_set == 0 ? 0 : 1;
    const bool rotary = print_media == "1";
    g_rotary_mode = rotary ? 1 : 0;
    // After the file and the flags: an estimate begun before this point was made on the old
    // settings and is not written.
    ++g_settings_generation;
    engine::MainWindowAccess* window = engine::main_window();
    if (window == nullptr) {
        return;
    }
    window->enable_button(engine::IDC_ROTARY_BUTTON, rotary);
    platform::ui::ListCtrl* printing = window->list(IDC_PRINTING_LIST);
    if (printing != nullptr && printing->item_count() > 0 &&
        printing->item_text(0, PrintRow::state) != JobState::printing) {
        printing->set_item_text(0, PrintRow::expected_time, "N/A");
    }
}
