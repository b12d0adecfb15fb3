#pragma once

#include "engine/main_window_access.h"

// The controls of the main window by id. The two lists' ids live with the lists (job_lists.h),
// those the workers change (the connection picture, the job queue's label, the buttons that
// follow the selected job) with what the workers reach of the window.

inline constexpr int IDC_IMPORT_BUTTON = 1011;
inline constexpr int IDC_SETTING_BUTTON = 1015;
inline constexpr int IDC_MAINTENANCE_BUTTON = 1016;
inline constexpr int IDC_NEW_JOB_BUTTON = 1019;
inline constexpr int IDC_AFTER_PRINT_BUTTON = 1035;
inline constexpr int IDC_PRINTED_LIST_BUTTON = 1007;
inline constexpr int IDC_PRINTING_LABEL = 1026;
using engine::IDC_CONNECTION_PICTURE;
using engine::IDC_DELETE_BUTTON;
using engine::IDC_JOB_QUEUE_LABEL;
using engine::IDC_PREVIEW_BUTTON;
using engine::IDC_PRINT_BUTTON;
using engine::IDC_REMOVE_BUTTON;
using engine::IDC_ROTARY_BUTTON;
using engine::IDC_SAVE_BUTTON;
// The separator line under the buttons has no id of its own.
inline constexpr int IDC_SEPARATOR = -1;

// The main window's tray message.
inline constexpr unsigned WM_TRAY_NOTIFY = 0x473;
// The import's wait dialog: shown when the import worker starts copying, closed when it has
// copied every file. Neither carries data.
inline constexpr unsigned WM_SHOW_WAIT_DIALOG = 0x465;
inline constexpr unsigned WM_CLOSE_WAIT_DIALOG = 0x466;

// The job queue's context menu (menu 131) and its items.
inline constexpr int IDR_JOB_QUEUE_MENU = 131;
inline constexpr int ID_JOB_MOVE_UP = 32771;
inline constexpr int ID_JOB_MOVE_DOWN = 32772;
inline constexpr int ID_JOB_SET = 32773;
inline constexpr int ID_JOB_PREVIEW = 32774;
inline constexpr int ID_JOB_PRINT_TIME_ESTIMATE = 32775;
inline constexpr int ID_JOB_INK_COST = 32776;

// The tray menu (menu 229) and its items.
inline constexpr int IDR_TRAY_MENU = 229;
inline constexpr int ID_TRAY_ABOUT = 32781;
inline constexpr int ID_TRAY_IMPORT = 32782;
inline constexpr int ID_TRAY_NEW_JOB = 32783;
inline constexpr int ID_TRAY_SETTING = 32784;
inline constexpr int ID_TRAY_AUTO_BOOT = 32785;
inline constexpr int ID_TRAY_EXIT = 32786;
