#pragma once

#include <optional>

#include "platform/ui/geometry.h"

// The primary screen as a window placing itself over the whole desktop sees it.
namespace platform::ui {

struct ScreenMetrics {
    // The width a full-screen window's client area may have.
    int full_screen_width = 0;
    // The screen less the panels and docks of the desktop, in screen coordinates.
    Rect work_area;
    // The height of the whole screen.
    int screen_height = 0;
    // The width of the whole screen.
    int screen_width = 0;
};

// The primary screen's metrics now, or the ones set with set_screen_metrics.
ScreenMetrics screen_metrics();

// Pretends a screen of these metrics (nothing returns to the real screen). For pictures of a
// window as it looks on a screen other than the one at hand, and for tests.
void set_screen_metrics(std::optional<ScreenMetrics> metrics);

}  // namespace platform::ui
