#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ui/bitmap.h"
#include "platform/ui/dialog.h"
#include "platform/ui/draw_context.h"
#include "platform/ui/geometry.h"

// The report-view list of the dialog kit: rows of text cells under a header of columns, with
// single selection that is always shown, a focused row, owner drawing of whole rows or custom
// drawing of single cells, and notifications of state changes and clicks. The job queue and
// the printing list are built on it. Every public method may be called from any thread; from a
// worker each call is one marshalled call onto the UI thread.
namespace platform::ui {

// Item state bits; combine with |.
inline constexpr unsigned kItemFocused = 1u << 0;
inline constexpr unsigned kItemSelected = 1u << 1;
inline constexpr unsigned kItemDropHighlighted = 1u << 2;

enum class Align { Left, Centre, Right };

// One row whose state changed: the whole state before and after.
struct ItemChange {
    int item = -1;
    unsigned old_state = 0;
    unsigned new_state = 0;
};

// Which rectangle of a cell: all of it, or the part that holds the text (the first column's
// text lies right of the row icon when the list has row icons).
enum class CellPart { Bounds, Label };

struct ListStyle {
    // Rows are drawn by draw_item(), all of the same height (measure_item()).
    bool owner_draw_fixed = false;
    bool grid_lines = false;
};

// A row to draw, for owner drawing.
struct DrawItemInfo {
    int item = -1;
    Rect rect;
    unsigned state = 0;
    // The list always draws whole rows; a row is never redrawn for its focus alone.
    bool whole_item = true;
};

// Custom drawing of a list whose rows the list draws itself: asked once before a paint, then,
// when the reply asks for it, before each row and before each cell of the row.
enum class CustomDrawStage { PrePaint, ItemPrePaint, SubItemPrePaint };
enum class CustomDrawReply {
    Default,         // draw as usual
    NotifySubItems,  // ask again for each row and for each cell of it
    SkipDefault,     // the handler has drawn it; the list draws nothing there
};
struct CustomDrawInfo {
    CustomDrawStage stage = CustomDrawStage::PrePaint;
    int item = -1;
    int sub_item = -1;
    Rect rect;
    unsigned state = 0;
};

class ListView;

class ListCtrl : public Control {
  public:
    ListCtrl(Dialog& owner, int id, const Rect& rect, ListStyle style = {});
    ~ListCtrl() override;

    // Columns. insert_column returns the new column's index (appended when column is past
    // the end), -1 for a negative index.
    int insert_column(int column, std::string_view title, int width, Align align = Align::Left);
    int column_count() const;
    int column_width(int column) const;
    bool set_column_width(int column, int width);
    std::string column_title(int column) const;

    // Rows. insert_item puts a row with the text of its first cell at item (appended when item
    // is past the end) and returns its index, -1 for a negative index. Deleting a selected or
    // focused row reports it through on_item_changed as losing both, after it has gone.
    int insert_item(int item, std::string_view text);
    bool delete_item(int item);
    void delete_all_items();
    int item_count() const;
    // sub_item is the column; false for a row or column that does not exist.
    bool set_item_text(int item, int sub_item, std::string_view text);
    // Empty for a row or column that does not exist.
    std::string item_text(int item, int sub_item) const;

    // State: the bits of mask take the values of state. Selecting or focusing a row takes the
    // selection or the focus from every other row. Item -1 means every row and can only clear
    // the selection and focus bits. Each row that changes is reported through on_item_changed.
    bool set_item_state(int item, unsigned state, unsigned mask);
    unsigned item_state(int item, unsigned mask) const;
    // The first selected row after `after` (-1 to search from the top); -1 when none.
    int next_selected(int after = -1) const;
    int selected_count() const;

    // The first row after `after` whose first cell equals text, letters compared without
    // case; with prefix, whose first cell begins with text. -1 when none.
    int find_item(std::string_view text, bool prefix = false, int after = -1) const;

    // Scrolling is by whole rows.
    bool ensure_visible(int item);
    // Scrolls by dy pixels, taken as whole rows (toward zero).
    void scroll(int dy);
    int top_index() const;
    int count_per_page() const;

    int row_height() const;
    // Asks measure_item() again for the row height.
    void remeasure_rows();
    void set_image_list(const ImageList& images);
    ImageList image_list() const;
    // Draws image `index` of the row icons at its own size, transparent; nothing for an index
    // outside the list.
    void draw_image(DrawContext& context, int index, Point at) const;
    void set_grid_lines(bool on);
    void set_background(Rgb colour);
    Rgb background() const;
    // With redraw off, changes are not painted until it is on again.
    void set_redraw(bool on);
    void invalidate();
    // Rectangles in the list's row area, the rows scrolled as they are now.
    Rect item_rect(int item) const;
    Rect sub_item_rect(int item, int sub_item, CellPart part) const;

    // Notifications, run on the UI thread. A click on no row reports item -1.
    void on_item_changed(std::function<void(const ItemChange&)> handler);
    void on_click(std::function<void(int item, int sub_item)> handler);
    void on_right_click(std::function<void(int item, Point screen)> handler);
    // A cell whose text set_item_text changed (an unchanged text reports nothing), after the
    // change: for an owner that follows a cell of the selected row, whoever writes it.
    void on_text_changed(std::function<void(int item, int sub_item)> handler);

    // The list as it looks now, header included, drawn offscreen; with texts, every text that
    // the drawing of the rows drew is appended to it.
    Bitmap render(std::vector<DrawnText>* texts = nullptr) const;
    // Where the row area's (0, 0) lies in that picture.
    Point row_area_origin() const;

  protected:
    // The row height; the default is from the font and the row icons.
    virtual int measure_item(int default_height) { return default_height; }
    // Draws one row of an owner-drawn list.
    virtual void draw_item(DrawContext&, const DrawItemInfo&) {}
    virtual CustomDrawReply custom_draw(DrawContext&, const CustomDrawInfo&) {
        return CustomDrawReply::Default;
    }

  private:
    friend class ListView;
    struct Row {
        std::vector<std::string> cells;
        unsigned state = 0;
        // The first cell holds ASCII only; such keys are searched byte by byte.
        bool ascii_key = true;
    };

    ListView& view() const;
    bool valid_item(int item) const { return item >= 0 && item < static_cast<int>(rows_.size()); }
    void change_state(int item, unsigned new_state);
    void select_from_input(int item);

    ListStyle style_;
    std::vector<Row> rows_;
    std::vector<Align> aligns_;
    ImageList images_;
    int row_height_ = 0;
    // Set only while render() draws.
    mutable std::vector<DrawnText>* trace_ = nullptr;
    std::function<void(const ItemChange&)> item_changed_;
    std::function<void(int, int)> clicked_;
    std::function<void(int, Point)> right_clicked_;
    std::function<void(int, int)> text_changed_;
};

}  // namespace platform::ui
