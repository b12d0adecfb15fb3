#include "settings/setting_dialog.h"

#include <optional>
#include <string_view>

#include "config/all_settings.h"
#include "platform/files.h"
#include "platform/ui/controls.h"
#include "platform/ui/message_box.h"
#include "settings/setting_save.h"
#include "settings/settings_pictures.h"
#include "settings/vsprinter_set.h"

namespace {

namespace ui = platform::ui;

constexpr std::string_view kCaption = "Setting";
constexpr ui::Size kClientSize{700, 535};
// The labels nothing looks up.
constexpr int kNoId = -1;

// The combos in binding order, each with the entry it shows.
struct ComboBinding {
    int id;
    int position;
};
constexpr ComboBinding kBindings[allsetting::kComboCount] = {
    {IDC_SETTING_AFTER_PRINT, AllSettings::file_print_finish_set},
    {IDC_SETTING_AFTER_CANCEL, AllSettings::print_cancel_file_set},
    {IDC_SETTING_FEATHER, AllSettings::feather_set},
    {IDC_SETTING_UV_DIRECTION, AllSettings::uv_set},
    {IDC_SETTING_CHANNEL_1 + 0, AllSettings::channle_1 + 0},
    {IDC_SETTING_CHANNEL_1 + 1, AllSettings::channle_1 + 1},
    {IDC_SETTING_CHANNEL_1 + 2, AllSettings::channle_1 + 2},
    {IDC_SETTING_CHANNEL_1 + 3, AllSettings::channle_1 + 3},
    {IDC_SETTING_CHANNEL_1 + 4, AllSettings::channle_1 + 4},
    {IDC_SETTING_CHANNEL_1 + 5, AllSettings::channle_1 + 5},
    {IDC_SETTING_CHANNEL_1 + 6, AllSettings::channle_1 + 6},
    {IDC_SETTING_CHANNEL_1 + 7, AllSettings::channle_1 + 7},
    {IDC_SETTING_WHEN_JOB_COMING, AllSettings::print_job_set},
    {IDC_SETTING_PRINT_DIRECTION, AllSettings::print_direction_set},
    {IDC_SETTING_PRINT_MODE, AllSettings::print_media},
    {IDC_SETTING_STEP_ADJUST, AllSettings::step_adjust},
};

// The left column: one group box per line of groups, each with its labelled combos.
struct LabelledCombo {
    std::string_view label;
    int id;
};
struct Group {
    std::string_view title;
    LabelledCombo combos[2];
};
constexpr Group kLeftGroups[] = {
    {"File set",
     {{"After print", IDC_SETTING_AFTER_PRINT}, {"After cancel", IDC_SETTING_AFTER_CANCEL}}},
    {"Eclosion intensity", {{"Feather", IDC_SETTING_FEATHER}, {}}},
    {"UV light set", {{"Direction", IDC_SETTING_UV_DIRECTION}, {}}},
    {"Print job set",
     {{"When job coming", IDC_SETTING_WHEN_JOB_COMING},
      {"Print mode set", IDC_SETTING_PRINT_MODE}}},
    {"Speed set", {{"Print\nDirection", IDC_SETTING_PRINT_DIRECTION}, {}}},
    {"Step adjust", {{"Adjust", IDC_SETTING_STEP_ADJUST}, {}}},
};

constexpr std::string_view kInkChartText =
    "In case you are not sure what ink order is loaded in your printer, you can print out a "
    "chart showing a number for each printed based color.";

// The presets of the slot combos #1..#8, as item indexes.
constexpr std::array<int, 8> kEightChannels = {0, 1, 2, 3, 4, 5, 6, 7};
constexpr std::array<int, 8> kSixChannels = {8, 4, 0, 1, 2, 3, 5, 8};

}  // namespace

allsetting::allsetting() : Dialog(kCaption, kClientSize) {
    set_font(ui::Font{"MS Shell Dlg", 80});
    add_controls();
    on_command(IDC_SETTING_SAVE, [this] { OnBnClickedSave(); });
    on_command(IDC_SETTING_8_CHANNEL_DEFAULT, [this] { OnBnClicked8ChannelDefault(); });
    on_command(IDC_SETTING_6_CHANNEL_DEFAULT, [this] { OnBnClicked6ChannelDefault(); });
    on_command(IDC_SETTING_THIRD_PARTY, [] { settings::run_third_party_print_settings(); });
}

void allsetting::add_controls() {
    // Left column: the groups one under another, a label and a combo per line.
    int top = 10;
    for (const Group& group : kLeftGroups) {
        const int lines = group.combos[1].id != 0 ? 2 : 1;
        const bool two_line_label = group.combos[0].label.find('\n') != std::string_view::npos;
        const int height = 26 + lines * 34 + (two_line_label ? 8 : 0);
        add<ui::GroupBox>(kNoId, ui::Rect::from_size(12, top, 332, height), group.title);
        for (int line = 0; line < lines; ++line) {
            const LabelledCombo& combo = group.combos[line];
            const int y = top + 24 + line * 34 + (two_line_label ? 4 : 0);
            const int label_height = two_line_label ? 34 : 24;
            add<ui::Static>(
                kNoId, ui::Rect::from_size(24, y - (two_line_label ? 4 : 0), 110, label_height),
                combo.label);
            add<ui::ComboBox>(combo.id, ui::Rect::from_size(136, y, 196, 26));
        }
        top += height + 8;
    }

    // Right column: the ink chart, its note, the eight slots in two columns and the presets.
    add<ui::GroupBox>(kNoId, ui::Rect::from_size(356, 10, 332, 462), "Ink channel set");
    add<ui::Picture>(kNoId, ui::Rect::from_size(368, 34, 308, 140), head_slots_image(308, 140));
    add<ui::Static>(kNoId, ui::Rect::from_size(368, 182, 308, 60), kInkChartText)
        .set_word_wrap(true);
    for (int slot = 0; slot < 8; ++slot) {
        const int x = 368 + (slot / 4) * 158;
        const int y = 252 + (slot % 4) * 34;
        add<ui::Static>(kNoId, ui::Rect::from_size(x, y + 3, 26, 22),
                        "#" + std::to_string(slot + 1));
        add<ui::ComboBox>(IDC_SETTING_CHANNEL_1 + slot, ui::Rect::from_size(x + 28, y, 122, 26));
    }
    add<ui::Button>(IDC_SETTING_8_CHANNEL_DEFAULT, ui::Rect::from_size(368, 394, 308, 30),
                    "8 channel default settings");
    add<ui::Button>(IDC_SETTING_6_CHANNEL_DEFAULT, ui::Rect::from_size(368, 430, 308, 30),
                    "6 channel default settings");

    add<ui::Button>(IDC_SETTING_THIRD_PARTY, ui::Rect::from_size(12, 490, 260, 32),
                    "Third-Party Software Print settings");
    add<ui::Button>(IDC_SETTING_SAVE, ui::Rect::from_size(478, 490, 100, 32), "Save");
    add<ui::Button>(ui::kIdCancel, ui::Rect::from_size(588, 490, 100, 32), "Close");

    for (std::size_t i = 0; i < kComboCount; ++i) {
        combos_[i] = control<ui::ComboBox>(kBindings[i].id);
    }
}

ui::ComboBox* allsetting::combo_for(int position) const {
    for (std::size_t i = 0; i < kComboCount; ++i) {
        if (kBindings[i].position == position) {
            return combos_[i];
        }
    }
    return nullptr;
}

bool allsetting::OnInitDialog() {
    // A missing file shows the defaults; a file there is read whole, by position. One that
    // cannot be read shows what a file without the section shows: 0 everywhere.
    const std::filesystem::path file = AllSettings::path();
    const bool missing = !platform::exists(file);
    const std::optional<AllSettings> stored = missing ? std::nullopt : AllSettings::read(file);
    for (std::size_t i = 0; i < kComboCount; ++i) {
        const AllSettingsEntry& entry = AllSettings::entry(kBindings[i].position);
        ui::ComboBox& combo = *combos_[i];
        combo.clear();
        for (const std::string_view item : entry.items) {
            combo.add_item(item);
        }
        const int value = missing  ? entry.default_value
                          : stored ? stored->value(entry.position)
                                   : 0;
        // A value that is no item leaves the combo without a selection.
        combo.set_current(value >= 0 && value < combo.count() ? value : -1);
    }
    return true;
}

void allsetting::select_slots(const std::array<int, 8>& items) {
    for (int slot = 0; slot < 8; ++slot) {
        combo_for(AllSettings::channle_1 + slot)
            ->set_current(items[static_cast<std::size_t>(slot)]);
    }
}

void allsetting::OnBnClicked8ChannelDefault() {
    select_slots(kEightChannels);
}

void allsetting::OnBnClicked6ChannelDefault() {
    select_slots(kSixChannels);
}

void allsetting::OnBnClickedSave() {
    SettingTexts texts;
    for (std::size_t i = 0; i < kComboCount; ++i) {
        texts[static_cast<std::size_t>(kBindings[i].position - 1)] =
            std::to_string(combos_[i]->current());
    }
    // Used only when the file is missing and is made whole: the defaults of the rotary range
    // and diameter.
    for (const int position : {AllSettings::rotary_range, AllSettings::rotary_dimeter}) {
        const AllSettingsEntry& entry = AllSettings::entry(position);
        texts[static_cast<std::size_t>(position - 1)] =
            entry.items.empty() ? std::string() : std::to_string(entry.default_value);
    }

    if (!write_setting_file(texts, AllSettings::path())) {
        ui::message_box("Write set file error!");
        end_dialog(ui::kIdCancel);
        return;
    }
    apply_saved_settings(combo_for(AllSettings::print_job_set)->current(),
                         texts[AllSettings::print_media - 1]);
    ui::message_box("Save succeed!");
    end_dialog(ui::kIdCancel);
}

void open_setting_dialog(platform::ui::Dialog* parent) {
    allsetting dialog;
    ui::run_modal_over(dialog, parent, ui::kDialogGrey);
}
