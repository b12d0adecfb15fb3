#pragma once

#include <array>
#include <string>

#include "platform/ui/dialog.h"

namespace platform::ui {
class ComboBox;
}

// The Setting dialog: the operator's standing choices of "all_setting.ini" in sixteen combo
// boxes. Every opening reads the file again; a save writes all sixteen keys back by name and
// applies automatic printing, rotary printing and a fresh time estimate to the running program
// at once. The rotary range and diameter are not the dialog's: a save leaves them as they are.

inline constexpr int IDD_ALLSETTING = 206;

// The combo of each entry, by the entry it shows.
inline constexpr int IDC_SETTING_AFTER_PRINT = 1022;      // 1 "file print finish set"
inline constexpr int IDC_SETTING_AFTER_CANCEL = 1023;     // 2 "print cancel file set"
inline constexpr int IDC_SETTING_FEATHER = 1024;          // 3 "feather set"
inline constexpr int IDC_SETTING_UV_DIRECTION = 1033;     // 4 "UV set"
inline constexpr int IDC_SETTING_WHEN_JOB_COMING = 1048;  // 5 "Print_job_set"
inline constexpr int IDC_SETTING_CHANNEL_1 = 1037;  // 6..13 "Channle 1".."Channle 8": 1037..1044
inline constexpr int IDC_SETTING_PRINT_DIRECTION = 1045;  // 14 "Print_direction_set"
inline constexpr int IDC_SETTING_PRINT_MODE = 1025;       // 15 "print_media"
inline constexpr int IDC_SETTING_STEP_ADJUST = 1055;      // 18 "step_adjust"

inline constexpr int IDC_SETTING_SAVE = 3;
inline constexpr int IDC_SETTING_8_CHANNEL_DEFAULT = 1007;
inline constexpr int IDC_SETTING_6_CHANNEL_DEFAULT = 1008;
// Opens the virtual-printer set-up; the Setting dialog stays open.
inline constexpr int IDC_SETTING_THIRD_PARTY = 1017;

class allsetting : public platform::ui::Dialog {
  public:
    static constexpr int kComboCount = 16;

    allsetting();

    // Fills every combo with its items and selects the stored value, or the default of each
    // entry when the file is missing; a value that is no item leaves its combo empty.
    bool OnInitDialog();
    // Writes the sixteen choices and, only when every write held, applies them to the running
    // program; either way tells the operator and closes.
    void OnBnClickedSave();
    // The eight head slots as eight inks, or as six with the two outer slots left blank.
    // Nothing is written.
    void OnBnClicked8ChannelDefault();
    void OnBnClicked6ChannelDefault();

    // The combo that shows the entry at this position; null for 16, 17 and out of range.
    platform::ui::ComboBox* combo_for(int position) const;

  protected:
    void on_init_dialog() override { OnInitDialog(); }

  private:
    void add_controls();
    void select_slots(const std::array<int, 8>& items);

    // The sixteen combos in binding order: 1022, 1023, 1024, 1033, 1037..1044, 1048, 1045,
    // 1025, 1055.
    std::array<platform::ui::ComboBox*, kComboCount> combos_{};
};

// What the main window's Setting button (and the tray's "Setting") does: runs the dialog
// modally in the grey of the program's dialogs, centred over `parent` when one is given; the
// result is not used.
void open_setting_dialog(platform::ui::Dialog* parent);
