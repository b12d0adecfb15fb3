#include "platform/ui/list_ctrl.h"

#include <gtest/gtest.h>

#include <QAbstractScrollArea>
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>

#include <string>
#include <thread>
#include <vector>

#include "platform/ui/dialog.h"
#include "qt_application.h"

namespace {

namespace ui = platform::ui;

constexpr unsigned kSF = ui::kItemSelected | ui::kItemFocused;

struct Change {
    int item;
    unsigned old_state;
    unsigned new_state;
    friend bool operator==(const Change&, const Change&) = default;
};

std::ostream& operator<<(std::ostream& out, const Change& c) {
    return out << "{" << c.item << ", " << c.old_state << " -> " << c.new_state << "}";
}

class ListCtrlTest : public ::testing::Test {
  protected:
    ListCtrlTest() {
        list_.insert_column(0, "Job Title", 200);
        list_.insert_column(1, "State", 100, ui::Align::Centre);
        for (const char* path :
             {"/jobs/Alpha.prn", "/jobs/beta.prn", "/jobs/Beta.prn.bak", "/jobs/gamma.prn"}) {
            list_.insert_item(list_.item_count(), path);
        }
        list_.on_item_changed([this](const ui::ItemChange& c) {
            changes_.push_back(Change{c.item, c.old_state, c.new_state});
        });
        list_.on_click([this](int item, int column) { clicks_.push_back({item, column}); });
    }

    std::vector<Change> take_changes() { return std::exchange(changes_, {}); }

    void mouse(QEvent::Type type, Qt::MouseButton button, int x, int y) {
        QWidget* viewport = static_cast<QAbstractScrollArea*>(list_.widget())->viewport();
        QMouseEvent event(type, QPointF(x, y), viewport->mapToGlobal(QPointF(x, y)), button, button,
                          Qt::NoModifier);
        QApplication::sendEvent(viewport, &event);
    }
    void key(int code) {
        QKeyEvent event(QEvent::KeyPress, code, Qt::NoModifier);
        QApplication::sendEvent(list_.widget(), &event);
    }

    test_support::QtApplication app_;
    ui::Dialog dialog_{"Lists", ui::Size{400, 300}};
    ui::ListCtrl& list_ = dialog_.add<ui::ListCtrl>(1006, ui::Rect::from_size(0, 0, 400, 300));
    std::vector<Change> changes_;
    std::vector<std::pair<int, int>> clicks_;
};

TEST_F(ListCtrlTest, FindItemComparesWithoutCaseOrByPrefix) {
    struct Case {
        const char* text;
        bool prefix;
        int after;
        int expected;
    };
    for (const Case& c : {
             Case{"/JOBS/BETA.PRN", false, -1, 1},
             Case{"/jobs/beta.prn", false, 1, -1},  // the ".bak" row is no whole match
             Case{"/jobs/Beta.prn", true, 1, 2},    // but begins with it
             Case{"/jobs/", true, -1, 0},
             Case{"/jobs/gam", false, -1, -1},
             Case{"/jobs/delta.prn", true, -1, -1},
         }) {
        EXPECT_EQ(list_.find_item(c.text, c.prefix, c.after), c.expected) << c.text;
    }
    // Letters beyond ASCII are compared without case too.
    list_.set_item_text(3, 0, "/jobs/Ärger.prn");
    EXPECT_EQ(list_.find_item("/JOBS/ärger.PRN"), 3);
}

TEST_F(ListCtrlTest, SelectionAndFocusChangesReportOldAndNewState) {
    list_.set_item_state(0, kSF, kSF);
    EXPECT_EQ(take_changes(), (std::vector<Change>{{0, 0, kSF}}));
    // Single selection: the new row takes selection and focus from the old one.
    list_.set_item_state(2, kSF, kSF);
    EXPECT_EQ(take_changes(), (std::vector<Change>{{0, kSF, 0}, {2, 0, kSF}}));
    // The same state again reports nothing.
    list_.set_item_state(2, ui::kItemSelected, ui::kItemSelected);
    EXPECT_TRUE(take_changes().empty());
    EXPECT_EQ(list_.next_selected(), 2);
    EXPECT_EQ(list_.next_selected(2), -1);

    const int row_height = list_.row_height();
    mouse(QEvent::MouseButtonPress, Qt::LeftButton, 250, row_height + row_height / 2);
    EXPECT_EQ(take_changes(), (std::vector<Change>{{2, kSF, 0}, {1, 0, kSF}}));
    // A click below the rows clears the selection; the focus stays.
    mouse(QEvent::MouseButtonPress, Qt::LeftButton, 10, row_height * 10);
    EXPECT_EQ(take_changes(), (std::vector<Change>{{1, kSF, ui::kItemFocused}}));
    EXPECT_EQ(clicks_, (std::vector<std::pair<int, int>>{{1, 1}, {-1, -1}}));
    EXPECT_EQ(list_.selected_count(), 0);

    key(Qt::Key_Down);
    EXPECT_EQ(take_changes(), (std::vector<Change>{{1, ui::kItemFocused, 0}, {2, 0, kSF}}));
    list_.set_item_state(-1, 0, ui::kItemSelected);
    EXPECT_EQ(take_changes(), (std::vector<Change>{{2, kSF, ui::kItemFocused}}));
    EXPECT_EQ(list_.item_state(2, kSF), ui::kItemFocused);

    // The right button selects the row under it before the menu is asked for.
    int right_clicked = -2;
    list_.on_right_click([&](int item, ui::Point) { right_clicked = item; });
    mouse(QEvent::MouseButtonPress, Qt::RightButton, 20, 3 * row_height + 2);
    EXPECT_EQ(take_changes(), (std::vector<Change>{{2, ui::kItemFocused, 0}, {3, 0, kSF}}));
    EXPECT_EQ(right_clicked, 3);
}

TEST_F(ListCtrlTest, RowsAndCellsKeepTheirPlaces) {
    EXPECT_EQ(list_.insert_item(99, "/jobs/last.prn"), 4);
    EXPECT_EQ(list_.insert_item(-1, "x"), -1);
    EXPECT_EQ(list_.insert_item(0, "/jobs/first.prn"), 0);
    EXPECT_TRUE(list_.set_item_text(1, 1, "Wait"));
    EXPECT_FALSE(list_.set_item_text(1, 2, "no such column"));
    EXPECT_FALSE(list_.set_item_text(6, 0, "no such row"));
    list_.set_item_state(1, kSF, kSF);
    EXPECT_TRUE(list_.delete_item(0));
    EXPECT_FALSE(list_.delete_item(5));
    EXPECT_EQ(list_.item_count(), 5);
    EXPECT_EQ(list_.item_text(0, 0), "/jobs/Alpha.prn");
    EXPECT_EQ(list_.item_text(0, 1), "Wait");
    EXPECT_EQ(list_.item_text(4, 1), "");
    EXPECT_EQ(list_.item_text(9, 0), "");
    // The state moves with its row.
    EXPECT_EQ(list_.next_selected(), 0);
    list_.delete_all_items();
    EXPECT_EQ(list_.item_count(), 0);
    EXPECT_EQ(list_.column_title(1), "State");
    EXPECT_EQ(list_.column_width(1), 100);
}

TEST_F(ListCtrlTest, ASelectedRowThatIsDeletedIsReportedAsLosingItsSelection) {
    list_.set_item_state(2, kSF, kSF);
    take_changes();
    // A row without selection or focus goes silently.
    list_.delete_item(0);
    EXPECT_TRUE(take_changes().empty());
    list_.delete_item(1);
    EXPECT_EQ(take_changes(), (std::vector<Change>{{1, kSF, 0}}));
    EXPECT_EQ(list_.selected_count(), 0);
}

TEST_F(ListCtrlTest, ACellWhoseTextChangesIsReportedFromAnyThread) {
    std::vector<std::pair<int, int>> changed;
    list_.on_text_changed([&](int item, int column) { changed.push_back({item, column}); });
    list_.set_item_text(1, 1, "Wait");
    // The same text again is no change; a row or column that is not there is none either.
    list_.set_item_text(1, 1, "Wait");
    list_.set_item_text(9, 1, "Wait");
    std::thread worker([&] { list_.set_item_text(2, 1, "Printing"); });
    test_support::pump_events_until([&] { return changed.size() == 2; });
    worker.join();
    EXPECT_EQ(changed, (std::vector<std::pair<int, int>>{{1, 1}, {2, 1}}));
}

TEST_F(ListCtrlTest, ScrollingMovesByWholeRows) {
    for (int i = 0; i < 100; ++i) {
        list_.insert_item(list_.item_count(), "row" + std::to_string(i));
    }
    const int per_page = list_.count_per_page();
    ASSERT_GT(per_page, 2);
    EXPECT_EQ(list_.top_index(), 0);
    list_.ensure_visible(50);
    EXPECT_EQ(list_.top_index(), 50 - per_page + 1);
    list_.ensure_visible(10);
    EXPECT_EQ(list_.top_index(), 10);
    const int h = list_.row_height();
    list_.scroll(3 * h + h / 2);  // three and a half rows: three
    EXPECT_EQ(list_.top_index(), 13);
    list_.scroll(-100 * h);
    EXPECT_EQ(list_.top_index(), 0);
    EXPECT_EQ(list_.item_rect(2).top, 2 * h);
}

// A list that draws one column itself, as the printing list draws its progress bars.
class CellDrawingList : public ui::ListCtrl {
  public:
    using ListCtrl::ListCtrl;
    std::vector<std::string> stages;

  protected:
    ui::CustomDrawReply custom_draw(ui::DrawContext& dc, const ui::CustomDrawInfo& info) override {
        switch (info.stage) {
            case ui::CustomDrawStage::PrePaint:
                stages.push_back("pre");
                return ui::CustomDrawReply::NotifySubItems;
            case ui::CustomDrawStage::ItemPrePaint:
                stages.push_back("item" + std::to_string(info.item));
                return ui::CustomDrawReply::NotifySubItems;
            case ui::CustomDrawStage::SubItemPrePaint:
                if (info.sub_item == 1) {
                    dc.fill_rect(info.rect, ui::Rgb{0, 0, 255});
                    return ui::CustomDrawReply::SkipDefault;
                }
                break;
        }
        return ui::CustomDrawReply::Default;
    }
};

TEST_F(ListCtrlTest, CustomDrawnCellsReplaceTheDefaultDrawing) {
    auto& cells = dialog_.add<CellDrawingList>(1010, ui::Rect::from_size(0, 0, 300, 200));
    cells.insert_column(0, "#", 100);
    cells.insert_column(1, "progress", 100);
    cells.insert_item(0, "1");
    cells.set_item_text(0, 1, "hidden");
    std::vector<ui::DrawnText> texts;
    const ui::Bitmap picture = cells.render(&texts);
    EXPECT_EQ(cells.stages, (std::vector<std::string>{"pre", "item0"}));
    ASSERT_EQ(texts.size(), 1u);  // only the default cell drew its text
    EXPECT_EQ(texts[0].text, "1");
    const ui::Rect cell = cells.sub_item_rect(0, 1, ui::CellPart::Bounds);
    const ui::Point origin = cells.row_area_origin();
    EXPECT_EQ(picture.pixel(origin.x + cell.left + 50, origin.y + cell.top + 5),
              (ui::Rgb{0, 0, 255}));
    EXPECT_NE(picture.pixel(origin.x + 50, origin.y + cell.top + 5), (ui::Rgb{0, 0, 255}));
}

}  // namespace
