#pragma once

// The widget behind ListCtrl: a header of columns over a row area that the widget paints
// itself, so that owner and custom drawing see whole rows and cells as they are. Kit-internal.

#include <QAbstractScrollArea>

class QHeaderView;
class QStandardItemModel;

namespace platform::ui {

class ListCtrl;
struct Rect;

class ListView : public QAbstractScrollArea {
  public:
    ListView(ListCtrl& list, QWidget* parent);

    // Set once the ListCtrl is fully built; events before that change nothing.
    void set_ready() { ready_ = true; }

    QHeaderView& header() const { return *header_; }
    QStandardItemModel& columns() const { return *columns_; }
    int total_width() const;
    int column_left(int column) const;
    int top_index() const;
    int count_per_page() const;
    void set_top_index(int item);
    void update_scrollbars();
    void update_item(int item);
    void layout_header();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void changeEvent(QEvent* event) override;

  private:
    void draw_default_row(QPainter& painter, int item, bool notify_items);
    void draw_grid(QPainter& painter, int first, int last);
    int item_at(int y) const;
    int column_at(int x) const;

    ListCtrl& list_;
    QHeaderView* header_;
    QStandardItemModel* columns_;
    bool ready_ = false;
};

}  // namespace platform::ui
