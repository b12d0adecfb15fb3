#pragma once

#include <cstdint>
#include <string_view>

#include "platform/ui/dialog.h"
#include "printer/printer_claim.h"

// The progress of head cleaning and installation ink charging: the printer runs them by
// itself, so these dialogs only count its expected time on a one-second timer, holding the
// printer for it with the operation's claim until the count passes its limit or the operator
// presses "Finish" or closes the window, whichever comes first; the claim is given back once.
// They exchange nothing with the printer.

inline constexpr std::uint32_t ID_TIMER_HEAD_CLEANING = 2;
inline constexpr std::uint32_t ID_TIMER_INK_CHARGING = 3;
// Seconds counted.
inline constexpr int kHeadCleaningSeconds = 150;
inline constexpr int kInkChargingSeconds = 570;

// The ticks counted so far; each dialog starts its own at 0 when it opens.
extern int g_head_cleaning_ticks;
extern int g_ink_charging_ticks;

class MaintenanceProgressDialog : public platform::ui::Dialog {
  protected:
    MaintenanceProgressDialog(std::string_view caption, std::uint32_t timer_id, int limit,
                              int& ticks, PrinterClaim& claim);

    void on_init_dialog() override;
    void on_timer(std::uint32_t id) override;
    // "Finish", Esc and the caption's close: the printer is free again at once, whatever it
    // still does.
    void on_cancel() override;

  private:
    std::uint32_t timer_id_;
    int limit_;
    int& ticks_;
    PrinterClaim& claim_;
};

// "Head Cleaning": counts 150 seconds, holding the printer by the operation's claim.
class headclean : public MaintenanceProgressDialog {
  public:
    explicit headclean(PrinterClaim& claim);
};

// "Ink charging for install the printer": counts 570 seconds, holding the printer by the
// operation's claim.
class inkcharging : public MaintenanceProgressDialog {
  public:
    explicit inkcharging(PrinterClaim& claim);
};
