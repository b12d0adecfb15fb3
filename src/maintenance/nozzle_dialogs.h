#pragma once

#include <string_view>

#include "platform/ui/dialog.h"

// The nozzle check's two small dialogs: the comparison after the pattern printed, and
// "Connect error" for an operation that found no printer.

// nozzlefeedback ends with this for "Clean Head" (2 for "Close").
inline constexpr int NOZZLE_FEEDBACK_CLEAN_HEAD = 8;

namespace maintenance {
// Shown when the printer never reported the pattern's pass done: the check ended after its
// wait all the same, so the pattern may be incomplete.
inline constexpr std::string_view kPassNotConfirmedText =
    "The printer did not confirm that it printed the pattern: look at the print before you judge "
    "the nozzles.";
}  // namespace maintenance

// "Nozzle Check": compare the printed pattern with the examples; "Clean Head" or "Close".
class nozzlefeedback : public platform::ui::Dialog {
  public:
    // pass_confirmed: whether the printer reported the pattern's pass done.
    explicit nozzlefeedback(bool pass_confirmed = true);
};

// "Connect error": the printer is not connected; "OK" ends it.
class nozzlecheckwarning : public platform::ui::Dialog {
  public:
    nozzlecheckwarning();
};
