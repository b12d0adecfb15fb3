#include "app/printing_list.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <string>

#include "app/job_lists.h"

namespace {

namespace ui = platform::ui;

constexpr ui::Rgb kProgressBar{93, 135, 57};

}  // namespace

int progress_value(std::string_view text) {
    std::string digits;
    for (const char c : text) {
        if (c != '%') {
            digits.push_back(c);
        }
    }
    // Read as a decimal integer: leading blanks, a sign, then digits up to the first other
    // character; a number too large for an int is held at the int's limit.
    std::size_t i = 0;
    while (i < digits.size() && (digits[i] == ' ' || (digits[i] >= '\t' && digits[i] <= '\r'))) {
        ++i;
    }
    bool negative = false;
    if (i < digits.size() && (digits[i] == '+' || digits[i] == '-')) {
        negative = digits[i] == '-';
        ++i;
    }
    std::int64_t value = 0;
    for (; i < digits.size() && digits[i] >= '0' && digits[i] <= '9'; ++i) {
        value = std::min<std::int64_t>(value * 10 + (digits[i] - '0'), std::int64_t{INT_MAX} + 1);
    }
    value = negative ? -value : value;
    return static_cast<int>(std::clamp<std::int64_t>(value, INT_MIN, INT_MAX));
}

ui::CustomDrawReply cprocess::custom_draw(ui::DrawContext& dc, const ui::CustomDrawInfo& info) {
    switch (info.stage) {
        case ui::CustomDrawStage::PrePaint:
        case ui::CustomDrawStage::ItemPrePaint:
            return ui::CustomDrawReply::NotifySubItems;
        case ui::CustomDrawStage::SubItemPrePaint:
            break;
    }
    if (info.sub_item != PrintRow::progress) {
        return ui::CustomDrawReply::Default;
    }
    const std::string text = item_text(info.item, PrintRow::progress);
    const bool selected = (info.state & ui::kItemSelected) != 0;
    const ui::Rgb text_colour = selected ? ui::system_colour(ui::SystemColour::Highlight)
                                         : ui::system_colour(ui::SystemColour::WindowFrame);
    const ui::Rgb background = selected ? ui::system_colour(ui::SystemColour::Highlight)
                                        : ui::system_colour(ui::SystemColour::Window);
    const ui::Rect bounds = info.rect;

    dc.fill_rect(bounds, background);
    const int value = progress_value(text);
    dc.rectangle(bounds);
    const std::int64_t width = std::int64_t{bounds.width()} * value / 100;
    // A value outside 0..100 would paint over the neighbouring cells; the bar stays in its cell.
    const int bar = static_cast<int>(std::clamp<std::int64_t>(width, 0, bounds.width()));
    dc.fill_rect(ui::Rect{bounds.left, bounds.top, bounds.left + bar, bounds.bottom}, kProgressBar);
    char label[24];
    std::snprintf(label, sizeof label, "%d%%", value);
    if (label[0] != '\0') {
        dc.set_text_colour(text_colour);
        dc.draw_text(label, bounds,
                     ui::kTextCentre | ui::kTextSingleLine | ui::kTextVCentre | ui::kTextNoPrefix);
    }
    return ui::CustomDrawReply::SkipDefault;
}
