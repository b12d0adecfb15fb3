#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

// The step settings file "Norvaxel.ini" in the settings root: section "Y motor step setting",
// 24 entries "key=value" whose values are the Y-motor steps of one pass feed for flatbed
// printing. Values are taken by position; the key names only document the positions for whoever
// writes the file. The file comes with the installation and is never written by the program.

struct StepSettingsEntry {
    std::string_view key;
    std::string_view default_text;  // used when the file is missing
};

struct StepSettings {
    static constexpr std::string_view kFileName = "Norvaxel.ini";
    static constexpr std::string_view kSection = "Y motor step setting";
    static constexpr std::size_t kBufferSize = 20000;
    static constexpr std::size_t kEntryCount = 24;
    // Entry k of the section goes to index k - 1 = 6 x pass index (4, 8, 10, 16 passes) +
    // 2 x edge kind (sharp, smooth, Gaussian) + layer group (single-layer, two-layer ink modes).
    static constexpr std::array<StepSettingsEntry, kEntryCount> kEntries = {{
        {"4PASS KCMY/WW/VV Sharp edges stepping", "20556"},
        {"4PASS KCMY+WW/WW+KCMY Sharp edges stepping", "10188"},
        {"4PASS KCMY/WW/VV Smooth stepping", "17100"},
        {"4PASS KCMY+WW/WW+KCMY Smooth stepping", "8460"},
        {"4PASS KCMY/WW/VV Gaussian Smooth stepping", "14508"},
        {"4PASS KCMY+WW/WW+KCMY Gaussian Smooth stepping", "6444"},
        {"8PASS KCMY/WW/VV Sharp edges stepping", "11412"},
        {"8PASS KCMY+WW/WW+KCMY Sharp edges stepping", "5652"},
        {"8PASS KCMY/WW/VV Smooth stepping", "9252"},
        {"8PASS KCMY+WW/WW+KCMY Smooth stepping", "5076"},
        {"8PASS KCMY/WW/VV Gaussian Smooth stepping", "6228"},
        {"8PASS KCMY+WW/WW+KCMY Gaussian Smooth stepping", "4212"},
        {"10PASS KCMY/WW/VV Sharp edges stepping", "9390"},
        {"10PASS KCMY+WW/WW+KCMY Sharp edges stepping", "4666"},
        {"10PASS KCMY/WW/VV Smooth stepping", "8583"},
        {"10PASS KCMY+WW/WW+KCMY Smooth stepping", "4378"},
        {"10PASS KCMY/WW/VV Gaussian Smooth stepping", "7891"},
        {"10PASS KCMY+WW/WW+KCMY Gaussian Smooth stepping", "3974"},
        {"16PASS KCMY/WW/VV Sharp edges stepping", "5688"},
        {"16PASS KCMY+WW/WW+KCMY Sharp edges stepping", "2808"},
        {"16PASS KCMY/WW/VV Smooth stepping", "5112"},
        {"16PASS KCMY+WW/WW+KCMY Smooth stepping", "2520"},
        {"16PASS KCMY/WW/VV Gaussian Smooth stepping", "4608"},
        {"16PASS KCMY+WW/WW+KCMY Gaussian Smooth stepping", "2160"},
    }};
};

// The flatbed per-pass feeds, written only by load_step_settings and read by the Y-feed
// computation of the print thread.
extern std::array<std::int32_t, StepSettings::kEntryCount> g_y_motor_steps;

// Prepares what the print engine and the virtual printers rely on, always all three in this
// order: the step table (from the file, or the defaults when it is missing), the nine virtual
// hot folders, then the virtual-printer settings files. Runs at start-up on the user-interface
// thread and at the start of every print job on the print thread, so an edited step file takes
// effect at the next job.
void load_step_settings();

namespace engine {

// The folder under the settings root that holds the nine virtual hot folders.
inline constexpr std::string_view kVirtualHotFolder = "VirtualHotFolder";

// The first two jobs of load_step_settings on their own.
void load_y_motor_steps();
void create_virtual_hot_folders();

}  // namespace engine
