#include "settings/setting_save.h"

#include <algorithm>
#include <cctype>
#include <iterator>
#include <string_view>
#include <vector>

#include "config/program_globals.h"
#include "engine/job_list_rows.h"
#include "engine/main_window_access.h"
#include "platform/files.h"
#include "platform/profile.h"
#include "platform/ui/list_ctrl.h"

namespace {

constexpr int kSavedPositions[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 18};

bool is_saved_position(int position) {
    return std::find(std::begin(kSavedPositions), std::end(kSavedPositions), position) !=
           std::end(kSavedPositions);
}

bool same_key(std::string_view a, std::string_view b) {
    const auto lower = [](unsigned char c) { return std::tolower(c); };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) {
               return lower(static_cast<unsigned char>(x)) == lower(static_cast<unsigned char>(y));
           });
}

// The entries of "overall situation" as the file holds them, in order, and whether the
// section was read whole (it fitted the readers' buffer).
struct StoredSection {
    std::vector<platform::ProfileEntry> entries;
    bool whole = true;
};

StoredSection stored_section(const std::filesystem::path& file) {
    std::vector<char> buffer(AllSettings::kBufferSize, '\0');
    const platform::ProfileSectionResult read =
        platform::read_profile_section(file, AllSettings::kSection, buffer);
    StoredSection stored;
    stored.whole = !read.cut;
    for (std::size_t at = 0; at < read.length;) {
        const std::string_view text(buffer.data() + at);
        const std::size_t equals = text.find('=');
        stored.entries.push_back(
            {std::string(text.substr(0, equals)), equals == std::string_view::npos
                                                      ? std::string()
                                                      : std::string(text.substr(equals + 1))});
        at += text.size() + 1;
    }
    return stored;
}

// Whether every positional reader finds each of the eighteen entries at its own position: the
// section's first eighteen entries are the eighteen keys in their installed order.
bool holds_all_entries(const std::vector<platform::ProfileEntry>& stored) {
    const auto& entries = AllSettings::entries();
    if (stored.size() < entries.size()) {
        return false;
    }
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (!same_key(stored[i].key, entries[i].key)) {
            return false;
        }
    }
    return true;
}

// The sixteen keys by name, in one write of the file: each keeps its place.
bool write_keys(const SettingTexts& texts, const std::filesystem::path& file) {
    std::vector<platform::ProfileEntry> keys;
    for (const AllSettingsEntry& entry : AllSettings::entries()) {
        if (is_saved_position(entry.position)) {
            keys.push_back(
                {std::string(entry.key), texts[static_cast<std::size_t>(entry.position - 1)]});
        }
    }
    return platform::write_profile_strings(file, AllSettings::kSection, keys);
}

// The eighteen entries put at the head of the section in the installed order, the rotary
// range and diameter keeping the values the section held under their names; every other line
// of the section stays as it stands after them.
bool rewrite_section(const SettingTexts& texts, const std::filesystem::path& file,
                     const std::vector<platform::ProfileEntry>& stored) {
    const auto stored_value = [&](std::string_view key) -> const std::string* {
        for (const platform::ProfileEntry& entry : stored) {
            if (same_key(entry.key, key)) {
                return &entry.value;
            }
        }
        return nullptr;
    };
    std::vector<platform::ProfileEntry> section;
    for (const AllSettingsEntry& entry : AllSettings::entries()) {
        const std::string* kept =
            is_saved_position(entry.position) ? nullptr : stored_value(entry.key);
        section.push_back(
            {std::string(entry.key),
             kept != nullptr ? *kept : texts[static_cast<std::size_t>(entry.position - 1)]});
    }
    return platform::write_profile_section(file, AllSettings::kSection, section);
}

}  // namespace

bool write_setting_file(const SettingTexts& texts, const std::filesystem::path& file) {
    const StoredSection stored = stored_section(file);
    // A section longer than the readers' buffer is not seen whole, and a rewrite built from
    // what is seen would drop or cut the entries past it: its keys are written by name, each in
    // its place, and every entry stays whole.
    const bool by_key = !stored.whole || holds_all_entries(stored.entries);
    const bool written =
        by_key ? write_keys(texts, file) : rewrite_section(texts, file, stored.entries);
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
