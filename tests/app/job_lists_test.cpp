#include "app/job_lists.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <utility>
#include <vector>

#include "app/job_queue_list.h"
#include "app/job_state_icons.h"
#include "app/printing_list.h"
#include "platform/ui/dialog.h"
#include "qt_application.h"

namespace {

namespace ui = platform::ui;

// 30 pixels more than 1000, so that every column is its fraction of 1000.
constexpr int kClientWidth = 1030;

class JobListsTest : public ::testing::Test {
  protected:
    JobListsTest() {
        setup_job_queue_list(jobs_, kClientWidth);
        setup_printing_list(printing_, kClientWidth);
    }

    int add_job(std::string_view path, std::string_view state) {
        const int row = jobs_.insert_item(jobs_.item_count(), path);
        jobs_.set_item_text(row, JobRow::state, state);
        jobs_.set_item_text(row, JobRow::copies, "1");
        return row;
    }
    int add_progress(std::string_view progress) {
        JobRowTexts job;
        job[JobRow::job_path] = "/jobs/a.prn";
        append_print_row(printing_, job);
        const int row = printing_.item_count() - 1;
        printing_.set_item_text(row, PrintRow::progress, progress);
        return row;
    }
    // A pixel of a list's picture, in the list's row coordinates.
    static ui::Rgb pixel(const ui::ListCtrl& list, const ui::Bitmap& picture, int x, int y) {
        const ui::Point origin = list.row_area_origin();
        return picture.pixel(origin.x + x, origin.y + y);
    }

    test_support::QtApplication app_;
    ui::Dialog dialog_{"Norvaxel", ui::Size{kClientWidth, 900}};
    cprocess& printing_ =
        dialog_.add<cprocess>(IDC_PRINTING_LIST, ui::Rect::from_size(15, 0, 1000, 200));
    MyListCtrl& jobs_ =
        dialog_.add<MyListCtrl>(IDC_JOB_QUEUE_LIST, ui::Rect::from_size(15, 210, 1000, 680));
};

TEST_F(JobListsTest, ColumnsTakeTheirTitlesAndWidthsFromTheTables) {
    const std::vector<int> job_widths{280, 54, 70, 117, 135, 45, 90, 90, 90};
    const std::vector<int> print_widths{37, 100, 220, 100, 48, 200, 80, 80, 40, 90, 0};
    ASSERT_EQ(jobs_.column_count(), JobRow::kColumnCount);
    ASSERT_EQ(printing_.column_count(), PrintRow::kColumnCount);
    for (int i = 0; i < JobRow::kColumnCount; ++i) {
        EXPECT_EQ(jobs_.column_title(i), JobRow::kColumns[i].title);
        EXPECT_EQ(jobs_.column_width(i), job_widths[i]) << i;
    }
    for (int i = 0; i < PrintRow::kColumnCount; ++i) {
        EXPECT_EQ(printing_.column_title(i), PrintRow::kColumns[i].title);
        EXPECT_EQ(printing_.column_width(i), print_widths[i]) << i;
    }
    // Truncated, not rounded: 1336 x 0.1171 = 156.45.
    EXPECT_EQ(column_width(0.1171, 1366), 156);
    EXPECT_EQ(jobs_.row_height(), 56);
    EXPECT_EQ(job_queue_label(0), "Job queue ( 0 )");
    EXPECT_EQ(job_queue_label(12), "Job queue (12 )");
}

TEST_F(JobListsTest, RowIconFollowsTheStateText) {
    const std::vector<std::pair<std::string, ui::Rgb>> cases{
        {"Wait", kWaitIconColour},      {"Ready to print", kPrintIconColour},
        {"Printing", kPrintIconColour}, {"Generating data......", kBusyIconColour},
        {"Error", kBusyIconColour},     {"", kBusyIconColour},
        {"wait", kBusyIconColour},
    };
    for (const auto& [state, colour] : cases) {
        add_job("/jobs/" + state + ".prn", state);
    }
    const ui::Bitmap picture = jobs_.render();
    for (int row = 0; row < static_cast<int>(cases.size()); ++row) {
        const ui::Rect rect = jobs_.item_rect(row);
        // The top of the badge, clear of its white sign; the icon sits at (left + 5, top + 10).
        EXPECT_EQ(pixel(jobs_, picture, rect.left + 5 + 16, rect.top + 10 + 5), cases[row].second)
            << "state \"" << cases[row].first << "\"";
    }
}

TEST_F(JobListsTest, RowsAreStripedAndTheSelectedRowIsHighlightedWhateverItsIndex) {
    for (int i = 0; i < 4; ++i) {
        add_job("/jobs/" + std::to_string(i) + ".prn", "Wait");
    }
    jobs_.set_item_state(2, ui::kItemSelected | ui::kItemFocused,
                         ui::kItemSelected | ui::kItemFocused);
    std::vector<ui::DrawnText> texts;
    const ui::Bitmap picture = jobs_.render(&texts);
    const std::vector<ui::Rgb> fills{ui::Rgb{255, 255, 255}, ui::Rgb::from_bgr(0xF2F2F2),
                                     ui::Rgb{83, 143, 205}, ui::Rgb::from_bgr(0xF2F2F2)};
    for (int row = 0; row < 4; ++row) {
        const ui::Rect cell = jobs_.sub_item_rect(row, JobRow::job_path, ui::CellPart::Bounds);
        EXPECT_EQ(pixel(jobs_, picture, cell.right - 5, cell.top + 3), fills[row]) << row;
    }
    for (const ui::DrawnText& text : texts) {
        const bool in_selected_row = text.rect.top == jobs_.item_rect(2).top;
        const ui::Rgb expected = in_selected_row ? ui::Rgb{255, 255, 255} : ui::Rgb{36, 36, 36};
        EXPECT_EQ(text.colour, expected);
    }
}

TEST_F(JobListsTest, JobRowTextsArePlacedAsTheColumnsSay) {
    const std::string long_path = "/jobs/" + std::string(200, 'x') + ".prn";
    add_job(long_path, "Wait");
    std::vector<ui::DrawnText> texts;
    jobs_.render(&texts);
    ASSERT_EQ(texts.size(), static_cast<std::size_t>(JobRow::kColumnCount));
    const ui::Rect label = jobs_.sub_item_rect(0, 0, ui::CellPart::Label);
    EXPECT_EQ(texts[0].rect.left, label.left + 10);
    EXPECT_EQ(texts[0].rect.bottom, label.bottom - 1);
    EXPECT_EQ(texts[0].format & (ui::kTextCentre | ui::kTextRight), 0u);
    EXPECT_NE(texts[0].format & ui::kTextEndEllipsis, 0u);
    // The path does not fit: it is cut with an ellipsis at its end.
    EXPECT_LT(texts[0].text.size(), long_path.size());
    EXPECT_EQ(texts[0].text.substr(texts[0].text.size() - 3), "\u2026");
    const ui::Rect state = jobs_.sub_item_rect(0, JobRow::state, ui::CellPart::Label);
    EXPECT_EQ(texts[1].text, "Wait");
    EXPECT_EQ(texts[1].rect.left, state.left + 1);
    EXPECT_NE(texts[1].format & ui::kTextCentre, 0u);
}

TEST_F(JobListsTest, ProgressCellIsABarOfItsPercentWithTheValueCentred) {
    add_progress("57%");
    add_progress("abc");
    add_progress("150%");
    printing_.set_item_state(0, ui::kItemSelected, ui::kItemSelected);
    add_progress("57%");
    std::vector<ui::DrawnText> texts;
    const ui::Bitmap picture = printing_.render(&texts);
    const ui::Rgb green{93, 135, 57};
    auto green_run = [&](int row) {
        const ui::Rect cell =
            printing_.sub_item_rect(row, PrintRow::progress, ui::CellPart::Bounds);
        int run = 0;
        while (run < cell.width() &&
               pixel(printing_, picture, cell.left + run, cell.top + 2) == green) {
            ++run;
        }
        return run;
    };
    const int width = printing_.column_width(PrintRow::progress);
    EXPECT_EQ(green_run(0), width * 57 / 100);  // selected or not, the same bar
    EXPECT_EQ(green_run(3), width * 57 / 100);
    EXPECT_EQ(green_run(1), 0);
    // Above 100 the bar fills its cell and stops there.
    const ui::Rect full = printing_.sub_item_rect(2, PrintRow::progress, ui::CellPart::Bounds);
    EXPECT_EQ(pixel(printing_, picture, full.right - 2, full.top + 2), green);
    EXPECT_NE(pixel(printing_, picture, full.right + 1, full.top + 2), green);

    std::vector<std::string> progress_texts;
    for (const ui::DrawnText& text : texts) {
        if (text.rect == printing_.sub_item_rect(0, PrintRow::progress, ui::CellPart::Bounds)) {
            EXPECT_EQ(text.colour, ui::system_colour(ui::SystemColour::Highlight));
        }
        if (text.text.back() == '%') {
            EXPECT_NE(text.format & ui::kTextCentre, 0u);
            progress_texts.push_back(text.text);
        }
    }
    EXPECT_EQ(progress_texts, (std::vector<std::string>{"57%", "0%", "150%", "57%"}));
}

TEST(ProgressValue, ReadsTheTextWithoutItsPercentSigns) {
    const std::vector<std::pair<std::string, int>> cases{
        {"57%", 57}, {"abc", 0},   {"", 0},     {"5%7", 57},
        {" 42", 42}, {"12ab", 12}, {"-5%", -5}, {"99999999999%", INT_MAX},
    };
    for (const auto& [text, value] : cases) {
        EXPECT_EQ(progress_value(text), value) << text;
    }
}

// Records what the append writes, in order.
struct RecordingList {
    int rows = 3;
    std::vector<std::pair<int, std::string>> writes;
    int item_count() const { return rows; }
    int insert_item(int item, std::string_view) {
        EXPECT_GE(item, rows);  // at the end
        return rows++;
    }
    bool set_item_text(int row, int column, std::string_view text) {
        EXPECT_EQ(row, 3);
        writes.emplace_back(column, std::string(text));
        return true;
    }
};

TEST(PrintRowAppend, WritesEveryColumnInOrderWithExpectedTimeLast) {
    JobRowTexts job{"/jobs/a.prn", "Ready to print", "Color-KCMY", "11.81 x 7.87", "2026-12-10",
                    "3",           "720 x 1440 dpi", "Small",      "BiDirection"};
    RecordingList list;
    append_print_row(list, job);
    const std::vector<std::pair<int, std::string>> expected{
        {0, " 4"},           {1, "Ready to print"},
        {2, "/jobs/a.prn"},  {10, "N/A"},
        {3, "11.81 x 7.87"}, {4, "3"},
        {5, "0%"},           {6, "Small"},
        {7, "N/A"},          {8, "Bi"},
        {9, "N/A"},
    };
    EXPECT_EQ(list.writes, expected);
}

TEST_F(JobListsTest, DirectionIsBiOnlyForExactlyBiDirection) {
    const std::vector<std::pair<std::string, std::string>> cases{
        {"BiDirection", "Bi"}, {"UniDirection", "Uni"}, {"Unknow", "Uni"}, {"bidirection", "Uni"}};
    for (const auto& [direction, shown] : cases) {
        JobRowTexts job;
        job[JobRow::job_path] = "/jobs/" + direction + ".prn";
        job[JobRow::print_direction] = direction;
        append_print_row(printing_, job);
    }
    for (int row = 0; row < static_cast<int>(cases.size()); ++row) {
        EXPECT_EQ(printing_.item_text(row, PrintRow::direction), cases[row].second);
        EXPECT_EQ(printing_.item_text(row, PrintRow::number), " " + std::to_string(row + 1));
        EXPECT_EQ(printing_.item_text(row, PrintRow::pass_time), "N/A");
    }
}

}  // namespace
