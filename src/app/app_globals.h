#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/ui/geometry.h"

// The main window's own program-wide state: the fixed texts of its tray icon and caption band,
// its two fonts, and what its commands and small dialogs remember between two uses. All of it
// lives for the life of the process; the user-interface thread is its one writer unless a line
// says otherwise.

// The tray icon's tool tip. Never changed.
inline constexpr std::string_view g_tray_tip_text =
    "Norvaxel Duvavarura For Q800X V4.0 Beta 20200907";
// The text drawn in the main window's caption band: the title and 20 blanks. Never changed.
inline constexpr std::string_view g_caption_text =
    "Workstation for Norvaxel Q800X V4.0 beta                    ";

// The fonts of the two lists and the "Printed list" button, and of the two list titles; made
// once by the main window's start-up, scaled to the screen.
extern platform::ui::Font g_font_list;
extern platform::ui::Font g_font_caption;

// The state text of the job-queue row selected last.
extern std::string g_selected_job_state;
// The new and old item state of the last job-queue change seen while a row was selected.
extern unsigned g_job_list_new_state;
extern unsigned g_job_list_old_state;

// 1 stops an import between two files: set by the wait dialog's Cancel on the user-interface
// thread, reset by the import worker.
extern std::atomic<std::int32_t> g_import_abort;
// The position of the wait dialog's endless bar.
extern std::int32_t g_wait_progress;

// The after-print command chooser's inputs and the combo index it chose last.
extern int g_asc_row;
extern std::string g_asc_keyword;
extern int g_asc_last_index;
