#pragma once

#include <cstdint>
#include <string_view>

#include "platform/ui/dialog.h"

namespace platform::ui {

// A dialog that only shows time passing: one line of text and a progress bar that a window
// timer moves by 1000 once a second. The count lives in the caller's program-wide int; once it
// passes the bar's upper end it returns to 0, the timer stops and on_count_done() runs, which
// ends the dialog with 0 unless a subclass waits for more.
class SecondsProgressDialog : public Dialog {
  public:
    SecondsProgressDialog(std::string_view caption, std::string_view text, int bar_id,
                          std::uint32_t timer_id, int& count, int upper);

  protected:
    void on_init_dialog() override;
    void on_timer(std::uint32_t id) override;
    virtual void on_count_done() { end_dialog(0); }

  private:
    int bar_id_;
    std::uint32_t timer_id_;
    int& count_;
    int upper_;
};

}  // namespace platform::ui
