#include "app/designer_start_progress.h"

#include "platform/clock.h"
#include "platform/ui/controls.h"

namespace ui = platform::ui;

int g_designer_progress = 0;

designer_start_progress::designer_start_progress() : Dialog("New Job", ui::Size{464, 151}) {
    set_font(ui::Font{"MS Shell Dlg", 80});
    add<ui::Static>(-1, ui::Rect::from_size(28, 28, 410, 24),
                    "Starting Layout Designer, please wait......");
    add<ui::ProgressBar>(IDC_DESIGNER_PROGRESS, ui::Rect::from_size(28, 80, 410, 22));
}

void designer_start_progress::on_init_dialog() {
    auto* bar = control<ui::ProgressBar>(IDC_DESIGNER_PROGRESS);
    bar->show(true);
    bar->set_range(0, 16000);
    bar->set_pos(0);
    g_designer_progress = 0;
    set_timer(ID_TIMER_DESIGNER_PROGRESS, 1000);
}

void designer_start_progress::on_timer(std::uint32_t id) {
    if (id != ID_TIMER_DESIGNER_PROGRESS) {
        Dialog::on_timer(id);
        return;
    }
    g_designer_progress += 1000;
    control<ui::ProgressBar>(IDC_DESIGNER_PROGRESS)->set_pos(g_designer_progress);
    platform::sleep_ms(10);
    if (g_designer_progress > 16000) {
        g_designer_progress = 0;
        kill_timer(ID_TIMER_DESIGNER_PROGRESS);
        end_dialog(0);
    }
}
