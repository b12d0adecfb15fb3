#include "engine/job_options.h"

#include <optional>

#include "config/all_settings.h"
#include "config/program_globals.h"
#include "engine/stepping.h"
#include "engine/transfer_packing.h"
#include "engine/y_feed.h"
#include "platform/files.h"
#include "printer/commands.h"

int g_emboss_passes = 0;
int g_uv_setting = 2;

namespace engine {

namespace {

// The largest copy count taken from the row: the operator types it, and a long run of digits
// must not overflow.
constexpr int kMaxCopies = 9999;

bool all_digits(std::string_view text) {
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return true;
}

// The decimal value of a text of digits, held at `cap` so that no run of digits overflows.
int bounded_number(std::string_view digits, int cap) {
    int value = 0;
    for (const char c : digits) {
        value = value * 10 + (c - '0');
        if (value > cap) {
            return cap;
        }
    }
    return value;
}

// The largest band count taken from "Pass time".
constexpr int kMaxBandCount = 100'000'000;

}  // namespace

int emboss_passes_for(std::string_view text) {
    if (text == "Small") {
        return 2;
    }
    if (text == "Middle") {
        return 4;
    }
    if (text == "Big" || text == "Braille") {
        return 6;
    }
    return 0;
}

std::uint8_t after_print_command_for(std::string_view text) {
    if (text == "YMoveB") {
        return CMD_END_Y_MOVE_BACK;
    }
    if (text == "AutoYZ") {
        return CMD_END_AUTO_YZ;
    }
    return 0;
}

int copies_for(std::string_view text) {
    if (!all_digits(text)) {
        return 1;
    }
    return bounded_number(text, kMaxCopies);
}

int band_progress_divisor(std::string_view text) {
    // "N/A", 0 and a text that is not a number all fall back to line progress.
    if (text.empty() || !all_digits(text)) {
        return 0;
    }
    return bounded_number(text, kMaxBandCount);
}

std::int32_t head_offset_for(int step_adjust) {
    // Index 1 gives -36 and not -9: the machine's calibrated table.
    switch (step_adjust) {
        case 0:
            return -18;
        case 1:
            return -36;
        case 2:
            return 0;
        case 3:
            return 9;
        case 4:
            return 18;
        case 5:
            return 27;
        case 6:
            return 36;
        default:
            return 0;
    }
}

JobSettings read_job_settings(bool braille) {
    JobSettings job;
    const std::optional<AllSettings> settings =
        platform::exists(AllSettings::path()) ? AllSettings::read() : std::nullopt;
    if (!settings) {
        g_edge_kind = EDGE_GAUSSIAN;
        g_uv_setting = 2;
        g_head_offset = 0;
        if (braille) {
            g_uv_setting = 0;
            g_edge_kind = EDGE_BRAILLE;
        }
        return job;
    }
    job.keep_printed = settings->value(AllSettings::file_print_finish_set) != 0;
    job.keep_cancelled = settings->value(AllSettings::print_cancel_file_set) != 0;
    const int feather = settings->value(AllSettings::feather_set);
    g_edge_kind = feather == 0 || feather == 1 ? static_cast<std::uint8_t>(feather) : EDGE_GAUSSIAN;
    const int uv = settings->value(AllSettings::uv_set);
    job.uv_entry = uv == 0 || uv == 1 ? uv : 2;
    for (int slot = 0; slot < 8; ++slot) {
        // Read as unsigned, so a negative entry is above 8 too and takes the slot's default.
        const auto source = static_cast<unsigned>(settings->value(AllSettings::channle_1 + slot));
        g_ink_order[slot] = source > 8 ? slot : static_cast<int>(source);
    }
    g_rotary_mode = settings->value(AllSettings::print_media) == 1 ? 1 : 0;
    g_head_offset = head_offset_for(settings->value(AllSettings::step_adjust));
    return job;
}

int uv_setting_for(int uv_entry, std::uint8_t direction) {
    if (uv_entry == 1) {
        return 0;
    }
    if (uv_entry == 0) {
        return 2;
    }
    return direction == 0 ? 2 : 0;
}

}  // namespace engine
