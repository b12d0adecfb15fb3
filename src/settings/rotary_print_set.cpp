#include "settings/rotary_print_set.h"

#include <initializer_list>
#include <vector>

#include "config/all_settings.h"
#include "platform/files.h"
#include "platform/profile.h"
#include "platform/ui/controls.h"
#include "platform/ui/message_box.h"
#include "settings/settings_pictures.h"

namespace {

namespace ui = platform::ui;

constexpr std::string_view kCaption = "Rotary print set";
constexpr ui::Size kClientSize{464, 294};
constexpr int kNoId = -1;
// A longer diameter is cut to this many characters.
constexpr std::size_t kMaxDiameterLength = 6;

// The double blanks are the notice's own.
constexpr std::string_view kRequirements =
    "You have the obligation to read through the user manual of TRNX-50  before printing and "
    "make sure:Connect the TRNX-50 port, Correctly load the TRNX-50 onto the appointed "
    "position, The product to be printed should be regular rotary shape.";
constexpr std::string_view kBackToFlatbed =
    "For the transmission to print the normal flat printing  when the TRNX-50 is completed, "
    "please turn off the TRNX-50 print option and save.";

// The text's characters, each as its UTF-8 bytes.
std::vector<std::string_view> characters(std::string_view text) {
    std::vector<std::string_view> result;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = start + 1;
        while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) {
            ++end;
        }
        result.push_back(text.substr(start, end - start));
        start = end;
    }
    return result;
}

std::string joined(const std::vector<std::string_view>& chars, std::size_t count,
                   std::size_t skipped = std::string::npos) {
    std::string text;
    for (std::size_t i = 0; i < count && i < chars.size(); ++i) {
        if (i != skipped) {
            text += chars[i];
        }
    }
    return text;
}

bool is_digit_or_point(std::string_view c) {
    return c.size() == 1 && ((c[0] >= '0' && c[0] <= '9') || c[0] == '.');
}

}  // namespace

std::optional<DiameterChange> filter_diameter(std::string_view text) {
    const std::vector<std::string_view> chars = characters(text);
    const int n = static_cast<int>(chars.size());
    if (chars.size() > kMaxDiameterLength) {
        return DiameterChange{joined(chars, kMaxDiameterLength),
                              static_cast<int>(kMaxDiameterLength), false};
    }
    const auto removed = [&](std::size_t i) {
        return DiameterChange{joined(chars, chars.size(), i), n - 1, false};
    };
    int points = 0;
    for (std::size_t i = 0; i < chars.size(); ++i) {
        if (chars[i] == ".") {
            ++points;
            // A second point, or a point with fewer than two digits before it (no cylinder
            // the attachment takes is under 10 mm across).
            if (points == 2 || (points == 1 && i <= 1)) {
                return removed(i);
            }
        }
        if (platform::leading_decimal(text) > kMaxRotaryDiameter) {
            return DiameterChange{std::string(), n - 1, true};
        }
    }
    for (std::size_t i = 0; i < chars.size(); ++i) {
        if (!is_digit_or_point(chars[i])) {
            return removed(i);
        }
    }
    return std::nullopt;
}

rotary_print_set::rotary_print_set() : Dialog(kCaption, kClientSize) {
    set_font(ui::Font{"MS Shell Dlg", 80});
    add<ui::GroupBox>(kNoId, ui::Rect::from_size(10, 6, 444, 184), "");
    add<ui::Picture>(kNoId, ui::Rect::from_size(20, 22, 120, 156),
                     rotary_attachment_image(120, 156));
    add<ui::Static>(kNoId, ui::Rect::from_size(150, 20, 294, 100), kRequirements)
        .set_word_wrap(true);
    add<ui::Static>(kNoId, ui::Rect::from_size(150, 124, 294, 60), kBackToFlatbed)
        .set_word_wrap(true);
    add<ui::Static>(kNoId, ui::Rect::from_size(14, 206, 160, 24), "Rotary Diameter Range");
    range_ = &add<ui::ComboBox>(IDC_ROTARY_RANGE, ui::Rect::from_size(178, 202, 160, 26));
    range_->enable(false);
    add<ui::Button>(ui::kIdCancel, ui::Rect::from_size(354, 252, 100, 30), "Cancel");

    // Made hidden and never shown: the diameter and its switch are no longer the operator's
    // to set here.
    open_rotary_ = &add<ui::CheckBox>(IDC_ROTARY_OPEN, ui::Rect::from_size(14, 236, 160, 22),
                                      "Open Rotary Print");
    diameter_ = &add<ui::Edit>(IDC_ROTARY_DIAMETER, ui::Rect::from_size(178, 236, 60, 24));
    for (ui::Control* hidden : std::initializer_list<ui::Control*>{
             open_rotary_, diameter_,
             &add<ui::Button>(IDC_ROTARY_SAVE, ui::Rect::from_size(244, 252, 100, 30), "Save / Ok"),
             &add<ui::Static>(kNoId, ui::Rect::from_size(14, 262, 220, 24),
                              "Diameter Size (Accurate to 0.01mm)"),
             &add<ui::Static>(kNoId, ui::Rect::from_size(14, 286, 400, 24),
                              "Recommend input the diameter value and print it more accurately")}) {
        hidden->show(false);
    }
    diameter_->on_change([this] { OnEnChangeDiameter(); });
}

bool rotary_print_set::OnInitDialog() {
    int check = 0;
    int range = 0;
    std::string diameter;
    const std::filesystem::path file = AllSettings::path();
    if (platform::exists(file)) {
        // A file that cannot be read shows what one without the section shows: zeros.
        const std::optional<AllSettings> stored = AllSettings::read(file);
        check = stored ? stored->value(AllSettings::print_media) : 0;
        range = stored ? stored->value(AllSettings::rotary_range) : 0;
        diameter = stored ? stored->text(AllSettings::rotary_dimeter) : std::string();
    }
    open_rotary_->set_checked(check == 1);
    range_->clear();
    for (const std::string_view item : AllSettings::entry(AllSettings::rotary_range).items) {
        range_->add_item(item);
    }
    range_->set_current(range >= 0 && range < range_->count() ? range : -1);
    diameter_->set_text(diameter);  // runs the filter
    return true;
}

void rotary_print_set::OnEnChangeDiameter() {
    const std::optional<DiameterChange> change = filter_diameter(diameter_->text());
    if (!change) {
        return;
    }
    if (change->too_large) {
        ui::message_box(kDiameterTooLarge);
    }
    diameter_->set_text(change->text);  // runs the filter again on the new text
    diameter_->set_caret(change->caret);
    diameter_->set_focus();
}

void open_rotary_print_set(platform::ui::Dialog* parent) {
    rotary_print_set dialog;
    ui::run_modal_over(dialog, parent, ui::kDialogGrey);
}
