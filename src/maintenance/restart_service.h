#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

#include "maintenance/layout_designer.h"
#include "platform/process.h"
#include "platform/ui/seconds_progress.h"

inline constexpr std::uint32_t ID_TIMER_RESTART_PROGRESS = 3;
inline constexpr int IDC_RESTART_PROGRESS = 1019;

// The restart progress, 0..10000 in steps of 1000; the user-interface thread's own.
extern int g_restart_progress;

// "Restart Service": counts ten seconds on its bar while the running designer is closed and a
// new copy is started on a thread of its own, so the window never waits on a designer that
// hangs. It ends with 0 at the tenth second, or as soon after as the start is known.
class restart_service : public platform::ui::SecondsProgressDialog {
  public:
    restart_service();
    ~restart_service() override;

    // Whether the new copy started; known once the dialog has ended.
    bool started() const { return started_.load(); }
    // What became of the running designer; known once the dialog has ended.
    maintenance::RipCloseResult old_copy() const { return old_copy_.load(); }

  protected:
    void on_init_dialog() override;
    void on_count_done() override;
    // Esc and Enter end the dialog early, as the window's only controls, but not before the
    // new copy's start is known: the thread's work must never outlive the dialog.
    void on_ok() override;
    void on_cancel() override;

  private:
    std::thread worker_;
    std::atomic<bool> started_{false};
    std::atomic<maintenance::RipCloseResult> old_copy_{maintenance::RipCloseResult::NoneRunning};
    bool work_done_ = false;
    bool count_done_ = false;
};

namespace maintenance {

inline constexpr std::string_view kServiceStartedText = "Service started";
inline constexpr std::string_view kServiceFailedText = "Failed to start";
// Said before the outcome when designers ran but no X display could reach their windows.
inline constexpr std::string_view kNoDisplayLeftRunningText =
    "The running layout designer was left running: there is no X display to reach its window.";

// The Maintenance dialog's "Restart": with the designer installed, restarts it under the
// progress dialog and says whether the new copy started; without it, says that it is missing
// and touches nothing. Runs on the user-interface thread, which stays responsive throughout.
void restart_layout_program();

}  // namespace maintenance
