// "New job": starts the RIP's layout designer, or brings the running one forward, and places
// its window: a running one over the whole screen; a freshly started one over the whole screen
// from the button, in a window of its own from the tray menu.

#include <cstring>
#include <optional>
#include <string>

#include "app/designer_start_progress.h"
#include "app/main_window_ids.h"
#include "app/velquorin_dlg.h"
#include "maintenance/layout_designer.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/ui/message_box.h"
#include "platform/ui/screen.h"

namespace {

namespace ui = platform::ui;

constexpr std::string_view kDesignerBusyText =
    "Layout designner software is busy, pleasy try agin later!";

ui::Rect whole_screen() {
    const ui::ScreenMetrics screen = ui::screen_metrics();
    return ui::Rect::from_size(0, 0, screen.screen_width, screen.screen_height);
}

// Shows the designer's window normally, places it and shows it again. The running designer is
// never asked to close first: that could lose the operator's unsaved layout.
bool raise_and_place(const std::optional<platform::TopWindow>& window, const ui::Rect& place) {
    if (!window) {
        return false;
    }
    platform::show_window_normal(window->id);
    platform::place_window(window->id, place.left, place.top, place.width(), place.height());
    platform::show_window_normal(window->id);
    return true;
}

}  // namespace

void CvelquorinDlg::OnBnClickedNewJob() {
    start_or_raise_designer(whole_screen());
}

void CvelquorinDlg::OnTrayNewJob() {
    start_or_raise_designer(ui::Rect::from_size(250, 80, 900, 600));
}

void CvelquorinDlg::start_or_raise_designer(const ui::Rect& place_after_start) {
    const bool installed = platform::exists(maintenance::designer_path());
    enable_control(IDC_NEW_JOB_BUTTON, false);
    if (!installed) {
        ui::message_box(maintenance::kDesignerMissingText);
    } else if (const auto running = maintenance::find_running_designers(); !running) {
        // The process list cannot be read: nothing is started, so no second copy can be.
    } else if (!running->empty()) {
        // Only the operator's own designer counts, and only its window is placed.
        raise_and_place(maintenance::find_designer_window(), whole_screen());
    } else if (const platform::StartResult started = maintenance::start_designer();
               !started.started()) {
        ui::message_box("Program open failed, the layout designer could not be started: " +
                        std::string(std::strerror(started.error)));
    } else {
        // Time for the designer to open its window; the button stays off meanwhile.
        designer_start_progress progress;
        progress.set_background(ui::kDialogGrey);
        progress.do_modal();
        if (!raise_and_place(maintenance::find_started_designer_window(), place_after_start)) {
            ui::message_box(kDesignerBusyText);
        }
    }
    enable_control(IDC_NEW_JOB_BUTTON, true);
}
