#include "platform/ui/list_ctrl.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QPainter>
#include <QPixmap>
#include <QScrollBar>
#include <QStandardItemModel>

#include <algorithm>

#include "platform/ui/list_view.h"
#include "platform/ui/qt_convert.h"

namespace platform::ui {
namespace {

char lower_ascii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool matches_unicode(std::string_view cell, std::string_view text, bool prefix) {
    const QString wide_cell = to_qt(cell);
    const QString wide_text = to_qt(text);
    return prefix ? wide_cell.startsWith(wide_text, Qt::CaseInsensitive)
                  : wide_cell.compare(wide_text, Qt::CaseInsensitive) == 0;
}

bool is_ascii(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return (static_cast<unsigned char>(c) & 0x80) == 0; });
}

// Compares from the end: paths in one folder share their beginning and differ at the end.
bool ascii_equal_ignoring_case(std::string_view a, std::string_view b) {
    for (std::size_t i = a.size(); i-- > 0;) {
        if (a[i] != b[i] && lower_ascii(a[i]) != lower_ascii(b[i])) {
            return false;
        }
    }
    return true;
}

Qt::Alignment header_alignment(Align align) {
    switch (align) {
        case Align::Centre:
            return Qt::AlignHCenter | Qt::AlignVCenter;
        case Align::Right:
            return Qt::AlignRight | Qt::AlignVCenter;
        case Align::Left:
            break;
    }
    return Qt::AlignLeft | Qt::AlignVCenter;
}

}  // namespace

ListCtrl::ListCtrl(Dialog& owner, int id, const Rect& rect, ListStyle style)
    : Control(owner, id, new ListView(*this, owner.window()), rect), style_(style) {
    view().set_ready();
    remeasure_rows();
    view().layout_header();
}

ListCtrl::~ListCtrl() = default;

ListView& ListCtrl::view() const {
    return static_cast<ListView&>(*widget());
}

int ListCtrl::insert_column(int column, std::string_view title, int width, Align align) {
    return ui_call([&] {
        if (column < 0) {
            return -1;
        }
        QStandardItemModel& columns = view().columns();
        column = std::min(column, columns.columnCount());
        columns.insertColumn(column);
        columns.setHeaderData(column, Qt::Horizontal, to_qt(title));
        columns.setHeaderData(column, Qt::Horizontal, QVariant::fromValue(header_alignment(align)),
                              Qt::TextAlignmentRole);
        aligns_.insert(aligns_.begin() + column, align);
        for (Row& row : rows_) {
            if (row.cells.size() > static_cast<std::size_t>(column)) {
                row.cells.insert(row.cells.begin() + column, std::string());
            }
            row.ascii_key = row.cells.empty() || is_ascii(row.cells[0]);
        }
        view().header().resizeSection(column, std::max(0, width));
        view().layout_header();
        view().viewport()->update();
        return column;
    });
}

int ListCtrl::column_count() const {
    return ui_call([&] { return static_cast<int>(aligns_.size()); });
}

int ListCtrl::column_width(int column) const {
    return ui_call([&] {
        return column >= 0 && column < column_count() ? view().header().sectionSize(column) : 0;
    });
}

bool ListCtrl::set_column_width(int column, int width) {
    return ui_call([&] {
        if (column < 0 || column >= column_count()) {
            return false;
        }
        view().header().resizeSection(column, std::max(0, width));
        return true;
    });
}

std::string ListCtrl::column_title(int column) const {
    return ui_call(
        [&] { return from_qt(view().columns().headerData(column, Qt::Horizontal).toString()); });
}

int ListCtrl::insert_item(int item, std::string_view text) {
    return ui_call([&] {
        if (item < 0) {
            return -1;
        }
        item = std::min(item, item_count());
        Row row;
        row.cells.emplace_back(text);
        row.ascii_key = is_ascii(text);
        rows_.insert(rows_.begin() + item, std::move(row));
        view().update_scrollbars();
        view().viewport()->update();
        return item;
    });
}

bool ListCtrl::delete_item(int item) {
    return ui_call([&] {
        if (!valid_item(item)) {
            return false;
        }
        const unsigned old_state = rows_[item].state;
        rows_.erase(rows_.begin() + item);
        view().update_scrollbars();
        view().viewport()->update();
        // A selected or focused row that goes takes its selection and focus with it: the
        // owner hears of it as of any other row that loses them, once the row is gone.
        if ((old_state & (kItemSelected | kItemFocused)) != 0 && item_changed_) {
            const auto handler = item_changed_;
            handler(ItemChange{item, old_state, 0});
        }
        return true;
    });
}

void ListCtrl::delete_all_items() {
    ui_call([&] {
        rows_.clear();
        view().update_scrollbars();
        view().viewport()->update();
    });
}

int ListCtrl::item_count() const {
    return ui_call([&] { return static_cast<int>(rows_.size()); });
}

bool ListCtrl::set_item_text(int item, int sub_item, std::string_view text) {
    return ui_call([&] {
        if (!valid_item(item) || sub_item < 0 || sub_item >= std::max(1, column_count())) {
            return false;
        }
        std::vector<std::string>& cells = rows_[item].cells;
        if (cells.size() <= static_cast<std::size_t>(sub_item)) {
            cells.resize(static_cast<std::size_t>(sub_item) + 1);
        }
        if (cells[sub_item] == text) {
            return true;
        }
        cells[sub_item].assign(text);
        if (sub_item == 0) {
            rows_[item].ascii_key = is_ascii(text);
        }
        view().update_item(item);
        if (text_changed_) {
            const auto handler = text_changed_;
            handler(item, sub_item);
        }
        return true;
    });
}

std::string ListCtrl::item_text(int item, int sub_item) const {
    return ui_call([&] {
        if (!valid_item(item) || sub_item < 0 ||
            static_cast<std::size_t>(sub_item) >= rows_[item].cells.size()) {
            return std::string();
        }
        return rows_[item].cells[sub_item];
    });
}

void ListCtrl::change_state(int item, unsigned new_state) {
    if (!valid_item(item) || rows_[item].state == new_state) {
        return;
    }
    const ItemChange change{item, rows_[item].state, new_state};
    rows_[item].state = new_state;
    view().update_item(item);
    if (item_changed_) {
        const auto handler = item_changed_;
        handler(change);
    }
}

bool ListCtrl::set_item_state(int item, unsigned state, unsigned mask) {
    return ui_call([&] {
        if (item == -1) {
            // Every row: selecting or focusing them all has no meaning in a single-selection
            // list, so those bits can only be cleared here.
            const unsigned exclusive = kItemSelected | kItemFocused;
            state &= ~exclusive;
            for (int row = 0; row < item_count(); ++row) {
                change_state(row, (rows_[row].state & ~mask) | (state & mask));
            }
            return true;
        }
        if (!valid_item(item)) {
            return false;
        }
        const unsigned target = (rows_[item].state & ~mask) | (state & mask);
        const unsigned taken = target & (kItemSelected | kItemFocused);
        if (taken != 0) {
            for (int row = 0; row < item_count(); ++row) {
                if (row != item && (rows_[row].state & taken) != 0) {
                    change_state(row, rows_[row].state & ~taken);
                }
            }
        }
        if (valid_item(item)) {
            change_state(item, (rows_[item].state & ~mask) | (state & mask));
        }
        return true;
    });
}

unsigned ListCtrl::item_state(int item, unsigned mask) const {
    return ui_call([&] { return valid_item(item) ? rows_[item].state & mask : 0u; });
}

int ListCtrl::next_selected(int after) const {
    return ui_call([&] {
        for (int row = std::max(0, after + 1); row < item_count(); ++row) {
            if ((rows_[row].state & kItemSelected) != 0) {
                return row;
            }
        }
        return -1;
    });
}

int ListCtrl::selected_count() const {
    return ui_call([&] {
        return static_cast<int>(std::count_if(rows_.begin(), rows_.end(), [](const Row& row) {
            return (row.state & kItemSelected) != 0;
        }));
    });
}

void ListCtrl::select_from_input(int item) {
    if (item >= 0) {
        set_item_state(item, kItemSelected | kItemFocused, kItemSelected | kItemFocused);
    } else {
        set_item_state(-1, 0, kItemSelected);
    }
}

int ListCtrl::find_item(std::string_view text, bool prefix, int after) const {
    return ui_call([&] {
        // Letters are compared without case. Paths are mostly ASCII, and a long queue is
        // searched for every file that goes: ASCII keys are compared as bytes, others as
        // Unicode strings.
        const bool ascii_text = is_ascii(text);
        const int count = static_cast<int>(rows_.size());
        for (int row = std::max(0, after + 1); row < count; ++row) {
            const Row& candidate = rows_[row];
            const std::string_view key =
                candidate.cells.empty() ? std::string_view() : std::string_view(candidate.cells[0]);
            bool found = false;
            if (ascii_text && candidate.ascii_key) {
                found = prefix ? key.size() >= text.size() &&
                                     ascii_equal_ignoring_case(key.substr(0, text.size()), text)
                               : key.size() == text.size() && ascii_equal_ignoring_case(key, text);
            } else {
                found = matches_unicode(key, text, prefix);
            }
            if (found) {
                return row;
            }
        }
        return -1;
    });
}

bool ListCtrl::ensure_visible(int item) {
    return ui_call([&] {
        if (!valid_item(item)) {
            return false;
        }
        const int top = top_index();
        const int per_page = count_per_page();
        if (item < top) {
            view().set_top_index(item);
        } else if (item >= top + per_page) {
            view().set_top_index(item - per_page + 1);
        }
        return true;
    });
}

void ListCtrl::scroll(int dy) {
    ui_call([&] {
        const int height = row_height();
        if (height > 0) {
            view().set_top_index(top_index() + dy / height);
        }
    });
}

int ListCtrl::top_index() const {
    return ui_call([&] { return view().top_index(); });
}

int ListCtrl::count_per_page() const {
    return ui_call([&] { return view().count_per_page(); });
}

int ListCtrl::row_height() const {
    return ui_call([&] { return row_height_; });
}

void ListCtrl::remeasure_rows() {
    ui_call([&] {
        const int text_height = QFontMetrics(view().font()).height() + 6;
        const int default_height = std::max(text_height, images_.image_size().height + 2);
        row_height_ = std::max(1, measure_item(default_height));
        view().update_scrollbars();
        view().viewport()->update();
    });
}

void ListCtrl::set_image_list(const ImageList& images) {
    ui_call([&] {
        images_ = images;
        view().viewport()->update();
    });
}

ImageList ListCtrl::image_list() const {
    return ui_call([&] { return images_; });
}

void ListCtrl::draw_image(DrawContext& context, int index, Point at) const {
    ui_call([&] {
        if (const Bitmap* image = images_.image(index)) {
            context.draw_bitmap(*image, at);
        }
    });
}

void ListCtrl::set_grid_lines(bool on) {
    ui_call([&] {
        style_.grid_lines = on;
        view().viewport()->update();
    });
}

void ListCtrl::set_background(Rgb colour) {
    ui_call([&] {
        QPalette palette = view().viewport()->palette();
        palette.setColor(QPalette::Base, to_qt(colour));
        view().viewport()->setPalette(palette);
        view().viewport()->update();
    });
}

Rgb ListCtrl::background() const {
    return ui_call([&] { return from_qt(view().viewport()->palette().color(QPalette::Base)); });
}

void ListCtrl::set_redraw(bool on) {
    ui_call([&] {
        view().viewport()->setUpdatesEnabled(on);
        if (on) {
            view().viewport()->update();
        }
    });
}

void ListCtrl::invalidate() {
    ui_call([&] { view().viewport()->update(); });
}

Rect ListCtrl::item_rect(int item) const {
    return ui_call([&] {
        const int height = row_height_;
        const int top = (item - view().top_index()) * height;
        const int left = -view().horizontalScrollBar()->value();
        return Rect{left, top, left + view().total_width(), top + height};
    });
}

Rect ListCtrl::sub_item_rect(int item, int sub_item, CellPart part) const {
    return ui_call([&] {
        Rect cell = item_rect(item);
        if (sub_item < 0 || sub_item >= column_count()) {
            return Rect{cell.left, cell.top, cell.left, cell.bottom};
        }
        cell.left = view().column_left(sub_item);
        cell.right = cell.left + view().header().sectionSize(sub_item);
        if (part == CellPart::Label && sub_item == 0 && images_.count() > 0) {
            // The row icon sits at the start of the first cell.
            cell.left = std::min(cell.right, cell.left + images_.image_size().width + 4);
        }
        return cell;
    });
}

void ListCtrl::on_item_changed(std::function<void(const ItemChange&)> handler) {
    ui_call([&] { item_changed_ = std::move(handler); });
}

void ListCtrl::on_click(std::function<void(int item, int sub_item)> handler) {
    ui_call([&] { clicked_ = std::move(handler); });
}

void ListCtrl::on_right_click(std::function<void(int item, Point screen)> handler) {
    ui_call([&] { right_clicked_ = std::move(handler); });
}

void ListCtrl::on_text_changed(std::function<void(int item, int sub_item)> handler) {
    ui_call([&] { text_changed_ = std::move(handler); });
}

Bitmap ListCtrl::render(std::vector<DrawnText>* texts) const {
    return ui_call([&] {
        view().layout_header();
        trace_ = texts;
        QPixmap picture = view().grab();
        trace_ = nullptr;
        return Bitmap(picture.toImage());
    });
}

Point ListCtrl::row_area_origin() const {
    return ui_call([&] {
        view().layout_header();
        const QPoint at = view().viewport()->pos();
        return Point{at.x(), at.y()};
    });
}

}  // namespace platform::ui
