#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/ui/dialog.h"

// Per-job print settings: the copies, the 3D emboss level and the print direction of one job,
// edited in its job-queue row. Nothing goes to disk; the values travel with the job when it is
// sent to printing.

// The job-queue row given to the dialog, and that row's print mode.
extern std::int32_t g_printingset_row;
extern std::string g_printingset_mode;

class printingset : public platform::ui::Dialog {
  public:
    static constexpr int IDD = 180;
    static constexpr int IDC_ECLOSION = 1022;
    static constexpr int IDC_EMBOSS = 1023;
    static constexpr int IDC_COPIES = 1024;
    static constexpr int IDC_DIRECTION = 1025;
    static constexpr int IDC_COPIES_LABEL = 1026;
    static constexpr int IDC_EMBOSS_LABEL = 1027;
    static constexpr int IDC_ECLOSION_LABEL = 1028;
    static constexpr int IDC_DIRECTION_LABEL = 1029;
    static constexpr int IDC_EMBOSS_HELP = 1035;
    static constexpr int IDC_SET_OK = 1000;

    printingset();

    // The job-queue row to set and its print mode; call right before do_modal(), on the
    // user-interface thread, while the index still names the row.
    static void SetJob(std::int32_t row, std::string_view mode);

    // Fills the combos from the job's row; without a row, says so and ends with 0.
    bool OnInitDialog();
    // Writes the three values into the job's row, then ends as cancelled.
    void OnBnClickedOk();
    // Why a colour-only job has no 3D level.
    void OnBnClickedEmbossHelp();

  protected:
    void on_init_dialog() override { OnInitDialog(); }
};
