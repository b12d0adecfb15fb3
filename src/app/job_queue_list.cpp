#include "app/job_queue_list.h"

#include <atomic>

#include "app/job_lists.h"
#include "app/job_state_icons.h"

namespace {

namespace ui = platform::ui;

// Class-wide, 0 until set; the default height stands until then.
std::atomic<int> g_row_height{0};

constexpr ui::Rgb kHighlightFill = ui::Rgb::from_bgr(0xCD8F53);
constexpr ui::Rgb kEvenRowFill = ui::Rgb::from_bgr(0xFFFFFF);
constexpr ui::Rgb kOddRowFill = ui::Rgb::from_bgr(0xF2F2F2);
constexpr ui::Rgb kRowText = ui::Rgb::from_bgr(0x242424);
constexpr ui::Rgb kHighlightText = ui::Rgb::from_bgr(0xFFFFFF);

constexpr unsigned kCellText =
    ui::kTextSingleLine | ui::kTextVCentre | ui::kTextNoPrefix | ui::kTextEndEllipsis;

}  // namespace

MyListCtrl::MyListCtrl(ui::Dialog& owner, int id, const ui::Rect& rect, ui::ListStyle style)
    : ListCtrl(owner, id, rect, style) {}

void MyListCtrl::SetRowHeight(int height) {
    g_row_height = height;
    remeasure_rows();
}

int MyListCtrl::measure_item(int default_height) {
    const int height = g_row_height;
    return height > 0 ? height : default_height;
}

void MyListCtrl::DrawItem(ui::DrawContext& dc, const ui::DrawItemInfo& item) {
    const int row = item.item;
    const unsigned state =
        item_state(row, ui::kItemSelected | ui::kItemFocused | ui::kItemDropHighlighted);
    // Selected rows are highlighted with or without focus: the list always shows its selection.
    const bool highlighted =
        (state & ui::kItemDropHighlighted) != 0 || (state & ui::kItemSelected) != 0;

    // Texts are drawn with a transparent background.
    if (highlighted) {
        dc.fill_rect(item.rect, kHighlightFill);
        dc.set_text_colour(kHighlightText);
    } else {
        dc.fill_rect(item.rect, row % 2 == 0 ? kEvenRowFill : kOddRowFill);
        dc.set_text_colour(kRowText);
    }
    if (!item.whole_item) {
        return;
    }
    const int columns = column_count();
    for (int column = 0; column < columns; ++column) {
        ui::Rect rect = sub_item_rect(row, column, ui::CellPart::Label);
        dc.set_text_colour(highlighted ? kHighlightText : kRowText);
        const std::string text = item_text(row, column);
        unsigned format = kCellText;
        if (column == 0) {
            const int image = job_state_image(item_text(row, JobRow::state));
            draw_image(dc, image, ui::Point{item.rect.left + 5, item.rect.top + 10});
            rect.left += 10;
            format |= ui::kTextLeft;
        } else {
            rect.left += 1;
            format |= ui::kTextCentre;
        }
        rect.bottom -= 1;
        dc.draw_text(text, rect, format);
    }
}
