#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

// The program-wide state that several layers read: the printer model, the folders set at
// start-up, the two standing choices the Setting dialog applies at once, and the job size
// limits. The folder strings are set on the user-interface thread during start-up, before any
// worker thread runs, and only read afterwards. The two choices are changed by the Setting
// dialog while workers read them, hence atomics of their stated widths.

// The model key: selects the model folder, the page size of the virtual-printer settings files
// and the custom paper. Never changed.
inline constexpr std::string_view g_printer_model = "Q800X";

// The folder of the settings root chosen by a printer model key. Known when the program is
// built, so that the virtual printers' backend, which has no settings of its own, knows the
// shape of the hot folders it delivers to.
constexpr std::string_view model_folder(std::string_view printer_model) {
    if (printer_model == "Orvel") {
        return "Orvel";
    }
    if (printer_model == "Q800X") {
        return "NorvaxelQ800X";
    }
    if (printer_model == "Vexa4") {
        return "NorvaxelVexa4";
    }
    return "NorvaxelQ400Ltx";
}

// The local application-data folder plus the model folder, without and with the trailing
// separator.
extern std::string g_settings_root;
extern std::string g_settings_dir;
// Line 2 of "hotfpath.ini": the watched job folder.
extern std::string g_job_folder;
// Line 1 of "hotfpath.ini": where finished virtual-printer PDFs go.
extern std::string g_spool_folder;
// g_settings_dir + "RIPCM": the printed-jobs archive.
extern std::string g_printed_folder;

// 1: rotary (cylinder) printing, 0: flatbed.
extern std::atomic<std::uint8_t> g_rotary_mode;
// 0: newly analysed jobs go straight to the printing list; 1: they wait in the job queue.
extern std::atomic<std::int32_t> g_print_job_set;

// Counts the Setting dialog's successful saves, each one after its file and flags are in
// place. A worker that notes it before it reads the settings and finds it unchanged when it
// writes what it made of them knows that no save came in between.
extern std::atomic<std::uint32_t> g_settings_generation;

// The job size limits in whole millimetres. Never changed.
inline constexpr std::int32_t g_max_width_mm = 501;
inline constexpr std::int32_t g_min_width_mm = 29;
inline constexpr std::int32_t g_max_length_mm = 701;
