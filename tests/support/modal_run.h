#pragma once

#include <functional>
#include <string>

namespace platform::ui {
class Dialog;
}

namespace test_support {

// The code run_modal returns when the test's steps left the dialog open and the bound ended it.
inline constexpr int kRunNotEnded = -999;

// Runs the dialog modally and, once its run has opened, runs steps on the UI thread inside it,
// as the operator's clicks would come; returns the run's end code. Steps that leave the dialog
// open end the test's run after timeout_ms of real time with kRunNotEnded, so that a dialog
// that waits for an end that never comes fails the test instead of locking it up. Steps never
// run when the dialog ends while it opens.
int run_modal(platform::ui::Dialog& dialog, const std::function<void()>& steps,
              int timeout_ms = 10000);

// Clicks the button of that text in the application-modal window of that caption as soon as
// one is open and the button is enabled: for a dialog that a function under test opens and runs
// itself.
void click_when_modal_opens(const std::string& caption, const std::string& button);

}  // namespace test_support
