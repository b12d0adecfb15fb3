#pragma once

#include <cstdint>
#include <string>

#include "platform/ui/dialog.h"

namespace platform::ui {
class ProgressBar;
}

// The print-time estimate's two dialogs: the progress dialog, which estimates a job of the job
// queue on the user-interface thread inside its modal run, and the result dialog the caller
// opens only when the estimate succeeded.
class Print_Time_Creating : public platform::ui::Dialog {
  public:
    static constexpr int IDC_TIME_PROGRESS = 1019;
    static constexpr std::uint32_t WM_CALC_PRINT_TIME = 0x48B;
    static constexpr int kDone = 18;
    static constexpr int kFailed = 17;

    Print_Time_Creating();

    // The print file of the next run: a job of the job queue.
    static void SetPrintFile(const std::string& prn_path);

    bool OnInitDialog();
    // The whole estimate; ends the dialog with 18 (g_print_time_text holds the time) or 17
    // (after a box).
    void OnCalcPrintTime();

  protected:
    void on_init_dialog() override { OnInitDialog(); }
    // The estimate ends the dialog itself; Esc does not cut it short.
    void on_cancel() override {}

  private:
    platform::ui::ProgressBar* progress_ = nullptr;
};

// Shows the time of the last estimate.
class showprinttime : public platform::ui::Dialog {
  public:
    static constexpr int IDC_PRINT_TIME = 1054;

    showprinttime();
    bool OnInitDialog();

  protected:
    void on_init_dialog() override { OnInitDialog(); }
};

// The job queue's "Print Time Estimate" for a job row's path: runs the progress dialog and,
// only when it ends with 18, the result dialog, both on the dialogs' background colour. The
// caller has made the selection and file tests.
void run_print_time_estimate(const std::string& prn_path);
