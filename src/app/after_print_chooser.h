#pragma once

#include <string_view>

#include "platform/ui/dialog.h"

// The after-print command chooser of a printing-list row: what the table does once the job's
// print ends ("N/A", back to the print position, or that with an automatic height measurement).
// OK/Save writes the chosen keyword into the row's after-print command; the job printer sends
// it at the end of the job.
class ascadd : public platform::ui::Dialog {
  public:
    static constexpr int IDD = 214;
    static constexpr int IDC_ASC_COMMAND = 1022;
    static constexpr int IDC_ASC_SAVE = 1000;

    ascadd();

    // The printing-list row to choose for and its current keyword; call right before
    // do_modal(), on the user-interface thread, while the index still names the row.
    static void SetJob(int row, std::string_view keyword);

    // The three commands, the keyword's own selected.
    bool OnInitDialog();
    // OK/Save: the selected command's keyword into the row's job, then the dialog ends as
    // cancelled.
    void OnBnClickedSave();

  protected:
    void on_init_dialog() override { OnInitDialog(); }
};
