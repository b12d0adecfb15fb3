#pragma once

#include <cstdint>
#include <string>

#include "platform/ui/dialog.h"

namespace platform::ui {
class ProgressBar;
}

// The ink-consumption estimate's two dialogs: the progress dialog, which does the whole count
// on the user-interface thread inside its modal run, and the result dialog the caller opens
// only when the count succeeded.
class ink_cost_create : public platform::ui::Dialog {
  public:
    static constexpr int IDC_INK_PROGRESS = 1019;
    static constexpr std::uint32_t WM_CALC_INK_COST = 0x495;
    static constexpr int kDone = 1;
    static constexpr int kFailed = 0;

    ink_cost_create();

    // The print file and the job row's "3D Embossed" text of the next run.
    static void SetInputs(const std::string& prn_path, const std::string& level_3d);

    bool OnInitDialog();
    // The whole estimate; ends the dialog with 1 (results set) or 0 (after a box).
    void OnCalcInkCost();

  protected:
    void on_init_dialog() override { OnInitDialog(); }
    // The count ends the dialog itself; Esc does not cut it short.
    void on_cancel() override {}

  private:
    platform::ui::ProgressBar* progress_ = nullptr;
};

// Shows the seven results of the last estimate.
class ink_cost_view : public platform::ui::Dialog {
  public:
    static constexpr int IDC_INK_BLACK = 1061;  // .. 1066 varnish
    static constexpr int IDC_INK_TOTAL = 1067;

    ink_cost_view();
    bool OnInitDialog();

  protected:
    void on_init_dialog() override { OnInitDialog(); }
};

// The job queue's "Ink consumption calculation" for a job row: its path and its "3D Embossed"
// text (column 7). Runs the progress dialog and, only when it ends with 1, the result dialog,
// both on the dialogs' background colour. The caller has made the selection and file tests.
void run_ink_cost_estimate(const std::string& prn_path, const std::string& level_3d);
