#include "analysis/ink_cost_dialogs.h"

#include "analysis/analysis_pictures.h"
#include "analysis/ink_estimate.h"
#include "analysis/progress_scale.h"
#include "platform/ui/controls.h"
#include "platform/ui/message_box.h"

namespace {

using platform::ui::Font;
using platform::ui::Rect;
using platform::ui::Rgb;
using platform::ui::Static;

}  // namespace

ink_cost_create::ink_cost_create() : Dialog("Ink cost analysis", {320, 80}) {
    add<Static>(-1, Rect::from_size(16, 14, 288, 20),
                "Ink consumption calculating , please wait......");
    progress_ = &add<platform::ui::ProgressBar>(IDC_INK_PROGRESS, Rect::from_size(16, 42, 288, 18));
    on_message(WM_CALC_INK_COST, [this](std::uintptr_t, std::intptr_t) {
        OnCalcInkCost();
        return std::intptr_t{0};
    });
}

void ink_cost_create::SetInputs(const std::string& prn_path, const std::string& level_3d) {
    g_ink_cost_prn_path = prn_path;
    g_ink_cost_3d_level = level_3d;
}

bool ink_cost_create::OnInitDialog() {
    post(WM_CALC_INK_COST, 0, 0);
    return true;
}

void ink_cost_create::OnCalcInkCost() {
    for (std::string* text : {&g_ink_cost_black, &g_ink_cost_cyan, &g_ink_cost_magenta,
                              &g_ink_cost_yellow, &g_ink_cost_white, &g_ink_cost_varnish}) {
        *text = kInkCostUnknown;
    }
    std::uint32_t chunks = 0;
    InkProgress progress;
    progress.begin = [this, &chunks](std::uint32_t total) {
        chunks = total;
        progress_->set_range(0, analysis::progress_range(total));
        progress_->set_pos(0);
    };
    progress.chunk = [this, &chunks](std::uint32_t done) {
        progress_->set_pos(analysis::progress_position(done, chunks));
    };
    const InkEstimate estimate = estimate_ink(g_ink_cost_prn_path, g_ink_cost_3d_level, progress);
    if (!estimate.ok) {
        platform::ui::message_box(estimate.message);
        end_dialog(kFailed);
        return;
    }
    std::string* results[] = {&g_ink_cost_black,  &g_ink_cost_cyan,  &g_ink_cost_magenta,
                              &g_ink_cost_yellow, &g_ink_cost_white, &g_ink_cost_varnish,
                              &g_ink_cost_total};
    for (std::size_t i = 0; i < estimate.texts.size(); ++i) {
        *results[i] = estimate.texts[i];
    }
    end_dialog(kDone);
}

ink_cost_view::ink_cost_view() : Dialog("Ink cost analysis", {480, 300}) {
    const char* labels[] = {"Black:", "Cyan:", "Magenta:", "Yellow:", "White:", "Varnish:"};
    for (int i = 0; i < 6; ++i) {
        add<Static>(IDC_INK_BLACK + i, Rect::from_size(40, 20 + 30 * i, 280, 22), labels[i]);
    }
    add<Static>(IDC_INK_TOTAL, Rect::from_size(40, 205, 300, 30), "Ink Cost Total:");
    add<platform::ui::Picture>(-1, Rect::from_size(350, 24, 96, 96),
                               analysis::ink_cartridges_picture(96));
    add<platform::ui::Picture>(-1, Rect::from_size(350, 130, 96, 96),
                               analysis::ink_amount_picture(96));
    add<platform::ui::Button>(platform::ui::kIdCancel, Rect::from_size(370, 255, 90, 30), "Close");
    // Every control's text in Arial 8.5, the total in 12.
    for (const int id : {IDC_INK_BLACK, IDC_INK_BLACK + 1, IDC_INK_BLACK + 2, IDC_INK_BLACK + 3,
                         IDC_INK_BLACK + 4, IDC_INK_BLACK + 5, platform::ui::kIdCancel}) {
        set_control_font(id, Font{"Arial", 85});
    }
    set_control_font(IDC_INK_TOTAL, Font{"Arial", 120});
}

bool ink_cost_view::OnInitDialog() {
    const std::pair<int, std::string> texts[] = {
        {IDC_INK_BLACK, "Black:    " + g_ink_cost_black},
        {IDC_INK_BLACK + 1, "Cyan:    " + g_ink_cost_cyan},
        {IDC_INK_BLACK + 2, "Magenta:    " + g_ink_cost_magenta},
        {IDC_INK_BLACK + 3, "Yellow:    " + g_ink_cost_yellow},
        {IDC_INK_BLACK + 4, "White:    " + g_ink_cost_white},
        {IDC_INK_BLACK + 5, "Varnish:    " + g_ink_cost_varnish},
        {IDC_INK_TOTAL, "Ink Cost Total:   " + g_ink_cost_total},
    };
    for (const auto& [id, text] : texts) {
        control<Static>(id)->set_text(text);
    }
    return true;
}

void run_ink_cost_estimate(const std::string& prn_path, const std::string& level_3d) {
    ink_cost_create::SetInputs(prn_path, level_3d);
    ink_cost_create work;
    work.set_background(platform::ui::kDialogGrey);
    if (work.do_modal() != ink_cost_create::kDone) {
        return;
    }
    ink_cost_view view;
    view.set_background(platform::ui::kDialogGrey);
    view.do_modal();
}
