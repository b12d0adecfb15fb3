#pragma once

#include <cstdint>

#include "platform/ui/dialog.h"

inline constexpr std::uint32_t ID_TIMER_DESIGNER_PROGRESS = 3;
inline constexpr int IDC_DESIGNER_PROGRESS = 1019;

// The designer progress counter, 0..17000 in steps of 1000; the user-interface thread's own.
extern int g_designer_progress;

// "New Job": gives a freshly started layout designer time to open its window before the main
// window looks for it. Counts on its bar once a second and ends by itself with 0 at the
// seventeenth second.
class designer_start_progress : public platform::ui::Dialog {
  public:
    designer_start_progress();

  protected:
    void on_init_dialog() override;
    void on_timer(std::uint32_t id) override;
};
