#pragma once

#include <array>
#include <cstddef>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>

// "all_setting.ini": the operator's standing choices for every job, in the one section
// "overall situation". Its eighteen entries are always read by position, never by key name:
// the installed file fixes their order, and the program's key writes keep it (a written key
// keeps its place, a new one is appended). Every value but the rotary diameter is a decimal
// integer; for the entries the Setting dialog shows in a combo box it is the item index.

struct AllSettingsEntry {
    int position;          // 1..18
    std::string_view key;  // as stored, spelling included
    // The combo items in index order; empty for the diameter, which is free text.
    std::span<const std::string_view> items;
    // What the Setting dialog shows when the file is missing (the diameter: empty text).
    int default_value;
};

class AllSettings {
  public:
    enum Position : int {
        file_print_finish_set = 1,
        print_cancel_file_set = 2,
        feather_set = 3,
        uv_set = 4,
        print_job_set = 5,
        channle_1 = 6,  // head slots 1..8 are positions 6..13
        channle_8 = 13,
        print_direction_set = 14,
        print_media = 15,
        rotary_range = 16,
        rotary_dimeter = 17,
        step_adjust = 18,
    };
    static constexpr int kEntryCount = 18;
    static constexpr std::size_t kBufferSize = 20000;
    static constexpr std::string_view kFileName = "all_setting.ini";
    static constexpr std::string_view kSection = "overall situation";

    // The eighteen entries in file order; entry(k) is position k (1..18).
    static const std::array<AllSettingsEntry, kEntryCount>& entries();
    static const AllSettingsEntry& entry(int position);

    // g_settings_root + "/all_setting.ini".
    static std::filesystem::path path();

    // Reads the section whole, as every reader does: a zeroed 20000-byte buffer, then the walk
    // by position. Empty when the file is missing or cannot be opened, so that each reader can
    // take its own fixed values. A file without the section reads 0 at every position.
    static std::optional<AllSettings> read(const std::filesystem::path& file);
    static std::optional<AllSettings> read() { return read(path()); }

    // The value at position 1..18: the leading integer of its text (0 without digits). A
    // position outside 1..18 gives 0 and an empty text.
    int value(int position) const;
    // The text after the entry's first '=' (the diameter is used as text).
    const std::string& text(int position) const;
    // The values of positions 1..N.
    template <std::size_t N>
    std::array<int, N> first() const {
        static_assert(N >= 1 && N <= kEntryCount);
        std::array<int, N> values{};
        for (std::size_t i = 0; i < N; ++i) {
            values[i] = value(static_cast<int>(i) + 1);
        }
        return values;
    }

    // Writes one key by name into "overall situation" (created with the file when missing).
    // False when the write failed.
    static bool write(std::string_view key, std::string_view value,
                      const std::filesystem::path& file);
    static bool write(std::string_view key, std::string_view value) {
        return write(key, value, path());
    }

  private:
    AllSettings() = default;
    std::array<std::string, kEntryCount> texts_;
};
