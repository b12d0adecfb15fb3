#pragma once

#include <string>
#include <string_view>

#include "platform/ui/list_ctrl.h"

// How the workers reach the main window: the application registers one object at start-up,
// before any worker runs, and every worker goes through it for the job lists, the connection
// picture and the buttons. The lists are the kit's controls, so each call on them is carried
// out on the user-interface thread while the worker waits, one call at a time.
namespace engine {

// The picture control that shows whether the printer is connected, and its two bitmaps.
inline constexpr int IDC_CONNECTION_PICTURE = 1030;
inline constexpr int IDB_PRINTER_CONNECTED = 166;
inline constexpr int IDB_PRINTER_NOT_CONNECTED = 199;

// The controls the workers change besides the lists: the job queue's label and the buttons that
// follow the selected job row.
inline constexpr int IDC_JOB_QUEUE_LABEL = 1027;
inline constexpr int IDC_SAVE_BUTTON = 1012;
inline constexpr int IDC_PRINT_BUTTON = 1013;
inline constexpr int IDC_DELETE_BUTTON = 1014;
inline constexpr int IDC_REMOVE_BUTTON = 1017;
inline constexpr int IDC_PREVIEW_BUTTON = 1052;
// The rotary button, enabled only while rotary printing is chosen; a save of the Setting
// dialog enables or disables it.
inline constexpr int IDC_ROTARY_BUTTON = 1018;

class MainWindowAccess {
  public:
    virtual ~MainWindowAccess() = default;

    // The list control with the dialog id (IDC_JOB_QUEUE_LIST, IDC_PRINTING_LIST); null for
    // an id the window does not have.
    virtual platform::ui::ListCtrl* list(int id) = 0;
    // Shows bitmap resource `bitmap` centred in picture control `picture_id`.
    virtual void show_bitmap(int picture_id, int bitmap) = 0;
    // Enables or disables the button with the dialog id.
    virtual void enable_button(int id, bool enabled) = 0;
    // Sets the text of the control with the dialog id (the job queue's label); nothing for an
    // id the window does not have.
    virtual void set_control_text(int id, std::string_view text) = 0;
};

// Registers the main window (null removes it). Called on the user-interface thread before
// the workers start, and by tests.
void register_main_window(MainWindowAccess* window);
// The registered window, null before registration.
MainWindowAccess* main_window();

// The list with the id from the registered window; null when there is no window or list.
platform::ui::ListCtrl* main_window_list(int id);
// Shows the bitmap in the registered window's picture; nothing without a window.
void show_main_window_bitmap(int picture_id, int bitmap);

}  // namespace engine
