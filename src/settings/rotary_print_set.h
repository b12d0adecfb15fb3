#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/ui/dialog.h"

namespace platform::ui {
class CheckBox;
class ComboBox;
class Edit;
}  // namespace platform::ui

// The "Rotary print set" notice: what the rotary attachment needs before a cylinder is printed,
// and the stored diameter range of the cylinder. It changes and saves nothing; rotary printing
// is switched on and off in the Setting dialog. The diameter edit and its check box stay
// hidden, but the dialog fills them, and the diameter's filter runs on that filling.

inline constexpr int IDD_ROTARY_PRINT_SET = 232;
inline constexpr int IDC_ROTARY_RANGE = 1022;
inline constexpr int IDC_ROTARY_OPEN = 1049;
inline constexpr int IDC_ROTARY_DIAMETER = 1050;
inline constexpr int IDC_ROTARY_SAVE = 1000;

// The largest diameter the attachment takes, in millimetres, and what the operator is told
// when the diameter is above it.
inline constexpr double kMaxRotaryDiameter = 130.0;
inline constexpr std::string_view kDiameterTooLarge = "超过最大打印直径";

// One run of the diameter filter over the edit's text: the one change it makes, if any.
struct DiameterChange {
    std::string text;
    // Where the caret goes (before the character of this index, counted in characters).
    int caret = 0;
    // The number was above the largest diameter: the operator is told, the text emptied.
    bool too_large = false;
};
// Nothing when the text passes unchanged. Counts characters, not bytes, so that removing one
// never splits a character.
std::optional<DiameterChange> filter_diameter(std::string_view text);

class rotary_print_set : public platform::ui::Dialog {
  public:
    rotary_print_set();

    // Shows the stored range (entry "rotary_range"; a value outside the three items leaves the
    // combo empty), and fills the hidden check box and diameter from "print_media" and
    // "rotary_dimeter"; a missing file gives the first range and an empty diameter.
    bool OnInitDialog();
    // The diameter's filter, on every change of the edit's text.
    void OnEnChangeDiameter();

    platform::ui::ComboBox& range() const { return *range_; }
    platform::ui::CheckBox& open_rotary() const { return *open_rotary_; }
    platform::ui::Edit& diameter() const { return *diameter_; }

  protected:
    void on_init_dialog() override { OnInitDialog(); }

  private:
    platform::ui::ComboBox* range_ = nullptr;
    platform::ui::CheckBox* open_rotary_ = nullptr;
    platform::ui::Edit* diameter_ = nullptr;
};

// What the main window's rotary button does: runs the notice modally in the grey of the
// program's dialogs, centred over `parent` when one is given; the result is not used.
void open_rotary_print_set(platform::ui::Dialog* parent);
