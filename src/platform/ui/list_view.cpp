#include "platform/ui/list_view.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStandardItemModel>

#include <algorithm>

#include "platform/ui/list_ctrl.h"
#include "platform/ui/qt_convert.h"

namespace platform::ui {
namespace {

constexpr Rgb kGridColour{0xE0, 0xE0, 0xE0};
// Room between a cell's edge and its text in rows that the list draws itself.
constexpr int kCellPadding = 6;

unsigned text_format(Align align) {
    const unsigned base = kTextVCentre | kTextSingleLine | kTextNoPrefix | kTextEndEllipsis;
    switch (align) {
        case Align::Centre:
            return base | kTextCentre;
        case Align::Right:
            return base | kTextRight;
        case Align::Left:
            break;
    }
    return base | kTextLeft;
}

}  // namespace

ListView::ListView(ListCtrl& list, QWidget* parent)
    : QAbstractScrollArea(parent),
      list_(list),
      header_(new QHeaderView(Qt::Horizontal, this)),
      columns_(new QStandardItemModel(0, 0, this)) {
    header_->setModel(columns_);
    header_->setSectionsMovable(false);
    header_->setStretchLastSection(false);
    header_->setMinimumSectionSize(0);
    header_->setSectionResizeMode(QHeaderView::Interactive);
    QObject::connect(header_, &QHeaderView::sectionResized, this, [this] {
        update_scrollbars();
        viewport()->update();
    });
    setFocusPolicy(Qt::StrongFocus);
    setFrameShape(QFrame::StyledPanel);
    verticalScrollBar()->setSingleStep(1);
    horizontalScrollBar()->setSingleStep(16);
}

int ListView::total_width() const {
    return header_->length();
}

int ListView::column_left(int column) const {
    return header_->sectionPosition(column) - horizontalScrollBar()->value();
}

int ListView::top_index() const {
    return verticalScrollBar()->value();
}

int ListView::count_per_page() const {
    const int height = list_.row_height();
    return height > 0 ? std::max(1, viewport()->height() / height) : 1;
}

void ListView::set_top_index(int item) {
    verticalScrollBar()->setValue(item);
}

void ListView::update_scrollbars() {
    if (!ready_) {
        return;
    }
    const int per_page = count_per_page();
    QScrollBar* rows = verticalScrollBar();
    rows->setPageStep(per_page);
    rows->setRange(0, std::max(0, list_.item_count() - per_page));
    QScrollBar* columns = horizontalScrollBar();
    columns->setPageStep(std::max(1, viewport()->width()));
    columns->setRange(0, std::max(0, total_width() - viewport()->width()));
}

void ListView::update_item(int item) {
    if (ready_) {
        viewport()->update(to_qt(list_.item_rect(item)).adjusted(0, 0, viewport()->width(), 0));
    }
}

void ListView::layout_header() {
    const int height = header_->sizeHint().height();
    setViewportMargins(0, height, 0, 0);
    const QRect area = viewport()->geometry();
    header_->setGeometry(area.left(), area.top() - height, area.width(), height);
    update_scrollbars();
}

void ListView::paintEvent(QPaintEvent* event) {
    if (!ready_) {
        return;
    }
    QPainter painter(viewport());
    painter.setFont(font());
    painter.fillRect(event->rect(), to_qt(list_.background()));
    const int first = top_index();
    const int last = std::min(list_.item_count(), first + count_per_page() + 1);
    bool notify_items = false;
    if (!list_.style_.owner_draw_fixed) {
        DrawContext context(painter, list_.trace_);
        const CustomDrawInfo whole{CustomDrawStage::PrePaint, -1, -1, from_qt(viewport()->rect()),
                                   0};
        notify_items = list_.custom_draw(context, whole) == CustomDrawReply::NotifySubItems;
    }
    for (int item = first; item < last && item < list_.item_count(); ++item) {
        const Rect rect = list_.item_rect(item);
        if (!event->rect().intersects(to_qt(rect).adjusted(0, 0, viewport()->width(), 0))) {
            continue;
        }
        painter.save();
        if (list_.style_.owner_draw_fixed) {
            // Each row starts on a fresh context, as a row's drawing call would get.
            DrawContext context(painter, list_.trace_);
            list_.draw_item(context, DrawItemInfo{item, rect, list_.rows_[item].state, true});
        } else {
            draw_default_row(painter, item, notify_items);
        }
        painter.restore();
    }
    if (list_.style_.grid_lines) {
        draw_grid(painter, first, last);
    }
}

void ListView::draw_default_row(QPainter& painter, int item, bool notify_items) {
    const unsigned state = list_.rows_[item].state;
    const Rect rect = list_.item_rect(item);
    DrawContext context(painter, list_.trace_);
    CustomDrawReply reply = CustomDrawReply::Default;
    if (notify_items) {
        reply = list_.custom_draw(
            context, CustomDrawInfo{CustomDrawStage::ItemPrePaint, item, 0, rect, state});
        if (reply == CustomDrawReply::SkipDefault) {
            return;
        }
    }
    // The selection is always shown, focus or not.
    const bool selected = (state & (kItemSelected | kItemDropHighlighted)) != 0;
    const Rgb background = selected ? system_colour(SystemColour::Highlight) : list_.background();
    const Rgb text = selected ? system_colour(SystemColour::HighlightText)
                              : system_colour(SystemColour::WindowText);
    const int columns = list_.column_count();
    for (int column = 0; column < columns; ++column) {
        const Rect cell = list_.sub_item_rect(item, column, CellPart::Bounds);
        if (cell.width() <= 0) {
            continue;
        }
        if (reply == CustomDrawReply::NotifySubItems) {
            DrawContext cell_context(painter, list_.trace_);
            const CustomDrawInfo info{CustomDrawStage::SubItemPrePaint, item, column, cell, state};
            if (list_.custom_draw(cell_context, info) == CustomDrawReply::SkipDefault) {
                continue;
            }
        }
        context.fill_rect(cell, background);
        Rect label = list_.sub_item_rect(item, column, CellPart::Label);
        label.left += kCellPadding;
        label.right -= kCellPadding;
        context.set_text_colour(text);
        context.draw_text(list_.rows_[item].cells.size() > static_cast<std::size_t>(column)
                              ? list_.rows_[item].cells[column]
                              : std::string(),
                          label, text_format(list_.aligns_[column]));
    }
}

void ListView::draw_grid(QPainter& painter, int first, int last) {
    painter.setPen(QPen(to_qt(kGridColour), 1));
    const int height = list_.row_height();
    const int left = -horizontalScrollBar()->value();
    const int right = left + total_width();
    for (int item = first; item < last; ++item) {
        const int y = (item - first + 1) * height - 1;
        painter.drawLine(left, y, right - 1, y);
    }
    for (int column = 0; column < list_.column_count(); ++column) {
        const int x = column_left(column) + header_->sectionSize(column) - 1;
        if (header_->sectionSize(column) > 0) {
            painter.drawLine(x, 0, x, viewport()->height());
        }
    }
}

void ListView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    if (ready_) {
        layout_header();
    }
}

int ListView::item_at(int y) const {
    const int height = list_.row_height();
    if (y < 0 || height <= 0) {
        return -1;
    }
    const int item = top_index() + y / height;
    return item < list_.item_count() ? item : -1;
}

int ListView::column_at(int x) const {
    for (int column = 0; column < list_.column_count(); ++column) {
        const int left = column_left(column);
        if (x >= left && x < left + header_->sectionSize(column)) {
            return column;
        }
    }
    return -1;
}

void ListView::mousePressEvent(QMouseEvent* event) {
    if (!ready_) {
        return;
    }
    setFocus(Qt::MouseFocusReason);
    const QPoint at = event->position().toPoint();
    const int item = item_at(at.y());
    const int column = item >= 0 ? column_at(at.x()) : -1;
    if (event->button() != Qt::LeftButton && event->button() != Qt::RightButton) {
        return;
    }
    // Both buttons select the row under the pointer; on no row they clear the selection.
    list_.select_from_input(item);
    if (event->button() == Qt::LeftButton) {
        if (list_.clicked_) {
            const auto handler = list_.clicked_;
            handler(item, column);
        }
    } else if (list_.right_clicked_) {
        const QPoint global = event->globalPosition().toPoint();
        const auto handler = list_.right_clicked_;
        handler(item, Point{global.x(), global.y()});
    }
}

void ListView::keyPressEvent(QKeyEvent* event) {
    const int count = ready_ ? list_.item_count() : 0;
    int focus = -1;
    for (int item = 0; item < count; ++item) {
        if ((list_.rows_[item].state & kItemFocused) != 0) {
            focus = item;
            break;
        }
    }
    int target = -1;
    switch (event->key()) {
        case Qt::Key_Up:
            target = std::max(0, focus - 1);
            break;
        case Qt::Key_Down:
            target = std::min(count - 1, focus + 1);
            break;
        case Qt::Key_Home:
            target = 0;
            break;
        case Qt::Key_End:
            target = count - 1;
            break;
        case Qt::Key_PageUp:
            target = std::max(0, focus - count_per_page());
            break;
        case Qt::Key_PageDown:
            target = std::min(count - 1, std::max(0, focus) + count_per_page());
            break;
        default:
            // Enter and Esc belong to the dialog.
            event->ignore();
            return;
    }
    if (count > 0) {
        list_.select_from_input(target);
        list_.ensure_visible(target);
    }
}

void ListView::scrollContentsBy(int, int) {
    header_->setOffset(horizontalScrollBar()->value());
    viewport()->update();
}

void ListView::changeEvent(QEvent* event) {
    QAbstractScrollArea::changeEvent(event);
    if (ready_ && event->type() == QEvent::FontChange) {
        list_.remeasure_rows();
        layout_header();
    }
}

}  // namespace platform::ui
