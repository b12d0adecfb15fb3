#pragma once

#include <cstdint>
#include <string_view>

// What the job printer takes from the job's printing-list row and from "all_setting.ini"
// before it prints: the emboss passes, the after-print table command, the direction, the
// copies, the progress source, and the operator's standing choices (history, cancel, edge
// kind, UV, channel order, rotary, head offset).

// Extra passes per band for 3D embossing.
extern int g_emboss_passes;
// The argument of the UV-setting command: 0 or 2.
extern int g_uv_setting;

namespace engine {

// "3D Embossed": "Small" 2, "Middle" 4, "Big" 6, "Braille" 6, anything else 0.
int emboss_passes_for(std::string_view text);
// "ASC": "YMoveB" CMD_END_Y_MOVE_BACK, "AutoYZ" CMD_END_AUTO_YZ, anything else 0 (none).
std::uint8_t after_print_command_for(std::string_view text);
// "Copies": a text of digits only is that number (at most 9999), any other character makes
// it 1, an empty text 0 (which counts as the last copy).
int copies_for(std::string_view text);
// "Pass time": the number of bands the job prints, which band progress divides by; 0 when
// progress counts lines instead ("N/A"), and also for 0 or a text that is not a number, so
// that the progress never divides by zero.
int band_progress_divisor(std::string_view text);

// The entries of "all_setting.ini" the job printer keeps for after the print.
struct JobSettings {
    bool keep_printed = true;    // "file print finish set": printed files go to the history
    bool keep_cancelled = true;  // "print cancel file set": a stopped job stays in the list
    int uv_entry = 2;            // "UV set": 0, 1 or 2 ("Auto")
};

// Reads "all_setting.ini" from the settings root and sets g_edge_kind, g_ink_order,
// g_rotary_mode and g_head_offset from it. When the file does not exist the fixed values are
// taken (the channel order and the rotary flag stay as the last job left them), g_uv_setting
// becomes 2, and a Braille job gets g_uv_setting 0 and edge kind 3 at once.
JobSettings read_job_settings(bool braille);

// g_uv_setting once the direction is known: "UV set" 1 gives 0, 0 gives 2, "Auto" gives 2 for
// a unidirectional job and 0 for a bidirectional one.
int uv_setting_for(int uv_entry, std::uint8_t direction);

// "step_adjust" as motor steps added to every Y position.
std::int32_t head_offset_for(int step_adjust);

}  // namespace engine
