#pragma once

#include <cstdint>

#include "platform/ui/seconds_progress.h"

inline constexpr std::uint32_t ID_TIMER_DESIGNER_PROGRESS = 3;
inline constexpr int IDC_DESIGNER_PROGRESS = 1019;

// The designer progress counter, 0..16000 in steps of 1000; the user-interface thread's own.
extern int g_designer_progress;

// "New Job": gives a freshly started layout designer time to open its window before the main
// window looks for it; the bar is full at the sixteenth second and the dialog ends by itself
// with 0 at the seventeenth.
class designer_start_progress : public platform::ui::SecondsProgressDialog {
  public:
    designer_start_progress()
        : SecondsProgressDialog("New Job", "Starting Layout Designer, please wait......",
                                IDC_DESIGNER_PROGRESS, ID_TIMER_DESIGNER_PROGRESS,
                                g_designer_progress, 16000) {}
};
