#include "config/all_settings.h"

#include <vector>

#include "config/program_globals.h"
#include "platform/profile.h"

namespace {

constexpr std::string_view kFinishItems[] = {"Delete printed files", "Save to Complete Task List"};
constexpr std::string_view kCancelItems[] = {"Delete from Task List", "Keep it in the Task List"};
constexpr std::string_view kFeatherItems[] = {"S Feather", "M Feather", "F Feather"};
constexpr std::string_view kUvItems[] = {"Unidirection", "Bidirection", "Auto"};
constexpr std::string_view kJobSetItems[] = {"Send it to printing progress",
                                             "Only Send it to job queue"};
// "White 2 " keeps its trailing blank.
constexpr std::string_view kChannelItems[] = {
    "Black", "Cyan", "Magenta", "Yellow", "White 1", "White 2 ", "Varnish 1", "Varnish 2", "NULL"};
constexpr std::string_view kDirectionItems[] = {"Unidirection", "Bidirection", "Normal"};
constexpr std::string_view kMediaItems[] = {"Plane object print", "360 rotary print"};
constexpr std::string_view kRangeItems[] = {"60mm-130mm", "30mm-60mm", "15mm-30mm"};
constexpr std::string_view kStepAdjustItems[] = {"-1", "-0.5", "Normal", "+0.5",
                                                 "+1", "+1.5", "+2"};

constexpr std::array<AllSettingsEntry, AllSettings::kEntryCount> kEntries = {{
    {1, "file print finish set", kFinishItems, 1},
    {2, "print cancel file set", kCancelItems, 1},
    {3, "feather set", kFeatherItems, 2},
    {4, "UV set", kUvItems, 2},
    {5, "Print_job_set", kJobSetItems, 1},
    {6, "Channle 1", kChannelItems, 0},
    {7, "Channle 2", kChannelItems, 1},
    {8, "Channle 3", kChannelItems, 2},
    {9, "Channle 4", kChannelItems, 3},
    {10, "Channle 5", kChannelItems, 4},
    {11, "Channle 6", kChannelItems, 5},
    {12, "Channle 7", kChannelItems, 6},
    {13, "Channle 8", kChannelItems, 7},
    {14, "Print_direction_set", kDirectionItems, 2},
    {15, "print_media", kMediaItems, 0},
    {16, "rotary_range", kRangeItems, 0},
    {17, "rotary_dimeter", {}, 0},
    {18, "step_adjust", kStepAdjustItems, 2},
}};

bool valid_position(int position) {
    return position >= 1 && position <= AllSettings::kEntryCount;
}

}  // namespace

const std::array<AllSettingsEntry, AllSettings::kEntryCount>& AllSettings::entries() {
    return kEntries;
}

const AllSettingsEntry& AllSettings::entry(int position) {
    return kEntries.at(static_cast<std::size_t>(position - 1));
}

std::filesystem::path AllSettings::path() {
    return std::filesystem::path(g_settings_root) / std::string(kFileName);
}

std::optional<AllSettings> AllSettings::read(const std::filesystem::path& file) {
    std::vector<char> buffer(kBufferSize, '\0');
    if (!platform::read_profile_section(file, kSection, buffer).file_read) {
        return std::nullopt;
    }
    // Walking all eighteen positions gives every position the value a shorter walk would: a
    // position depends only on the strings before it.
    const auto values = platform::section_values_by_position(
        buffer, kEntryCount, platform::EntryWithoutEquals::TakesNextString);
    AllSettings settings;
    for (std::size_t i = 0; i < values.size(); ++i) {
        settings.texts_[i] = std::string(values[i]);
    }
    return settings;
}

int AllSettings::value(int position) const {
    return valid_position(position) ? platform::leading_integer(text(position)) : 0;
}

const std::string& AllSettings::text(int position) const {
    static const std::string empty;
    return valid_position(position) ? texts_[static_cast<std::size_t>(position - 1)] : empty;
}

bool AllSettings::write(std::string_view key, std::string_view value,
                        const std::filesystem::path& file) {
    return platform::write_profile_string(file, kSection, key, value);
}
