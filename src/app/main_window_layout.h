#pragma once

#include <vector>

#include "platform/ui/geometry.h"
#include "platform/ui/screen.h"

// Where the main window and its controls go. The window is designed for a client width of
// 1160 pixels; it covers the whole work area and its lists take the room the screen leaves.
namespace app {

inline constexpr int kDesignClientWidth = 1160;

// The window as it is built, before it places itself: its client size and the controls'
// first places (the values a control keeps where the layout does not move it).
inline constexpr platform::ui::Size kTemplateClientSize{kDesignClientWidth, 640};

// The first place of a control by id; an empty rectangle for an id the window does not have.
platform::ui::Rect template_rect(int control_id);

struct MainWindowFonts {
    platform::ui::Font list;     // the lists and the "Printed list" button
    platform::ui::Font caption;  // the two list titles
};

// 9 and 10 points at the design width, scaled by 1160 / width and truncated to tenths.
MainWindowFonts main_window_fonts(int template_client_width);

// The window over the whole work area: 3 pixels beyond the screen's left and top edges, as
// wide as a full-screen window plus 7 and as high as the work area's bottom plus 9, so that
// the edge the window's region cuts off lies outside the screen.
platform::ui::Rect main_window_rect(const platform::ui::ScreenMetrics& screen);

// The job queue's height in a client area of this height: 24 pixels more on a screen lower
// than 700 pixels.
int job_queue_list_height(int client_height, int screen_height);

struct PlacedControl {
    int id;
    platform::ui::Rect rect;
};

// Every control the layout moves, in the order it moves them, for a client area of this size.
std::vector<PlacedControl> main_window_placement(platform::ui::Size client, int screen_height);

}  // namespace app
