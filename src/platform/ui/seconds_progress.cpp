#include "platform/ui/seconds_progress.h"

#include "platform/clock.h"
#include "platform/ui/controls.h"

namespace platform::ui {

SecondsProgressDialog::SecondsProgressDialog(std::string_view caption, std::string_view text,
                                             int bar_id, std::uint32_t timer_id, int& count,
                                             int upper)
    : Dialog(caption, Size{464, 151}),
      bar_id_(bar_id),
      timer_id_(timer_id),
      count_(count),
      upper_(upper) {
    set_font(Font{"MS Shell Dlg", 80});
    add<Static>(-1, Rect::from_size(28, 28, 410, 24), text);
    add<ProgressBar>(bar_id, Rect::from_size(28, 80, 410, 22));
}

void SecondsProgressDialog::on_init_dialog() {
    auto* bar = control<ProgressBar>(bar_id_);
    bar->show(true);
    bar->set_range(0, upper_);
    bar->set_pos(0);
    count_ = 0;
    set_timer(timer_id_, 1000);
}

void SecondsProgressDialog::on_timer(std::uint32_t id) {
    if (id != timer_id_) {
        Dialog::on_timer(id);
        return;
    }
    count_ += 1000;
    control<ProgressBar>(bar_id_)->set_pos(count_);
    sleep_ms(10);
    if (count_ > upper_) {
        count_ = 0;
        kill_timer(timer_id_);
        on_count_done();
    }
}

}  // namespace platform::ui
