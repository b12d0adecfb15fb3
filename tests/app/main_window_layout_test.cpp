#include "app/main_window_layout.h"

#include <gtest/gtest.h>

#include <map>

#include "app/job_lists.h"
#include "app/main_window_ids.h"

namespace {

namespace ui = platform::ui;

std::map<int, ui::Rect> placement(ui::Size client, int screen_height) {
    std::map<int, ui::Rect> rects;
    for (const auto& placed : app::main_window_placement(client, screen_height)) {
        EXPECT_TRUE(rects.emplace(placed.id, placed.rect).second) << "placed twice: " << placed.id;
    }
    return rects;
}

TEST(MainWindowLayout, FontsFollowTheDesignWidth) {
    struct Case {
        int width;
        int list_tenths;
        int caption_tenths;
    };
    for (const Case c :
         {Case{1160, 90, 100}, Case{580, 180, 200}, Case{1000, 104, 116}, Case{1400, 74, 82}}) {
        const auto fonts = app::main_window_fonts(c.width);
        EXPECT_EQ(fonts.list.tenths_of_point, c.list_tenths) << c.width;
        EXPECT_EQ(fonts.caption.tenths_of_point, c.caption_tenths) << c.width;
        EXPECT_EQ(fonts.list.face, "Arial");
        EXPECT_EQ(fonts.caption.face, "Arial bold");
        EXPECT_TRUE(fonts.caption.bold);
    }
}

TEST(MainWindowLayout, WindowCoversTheWorkAreaWithItsEdgeOffScreen) {
    const ui::ScreenMetrics screen{1920, ui::Rect{0, 0, 1920, 1040}, 1080};
    EXPECT_EQ(app::main_window_rect(screen), ui::Rect::from_size(-3, -3, 1927, 1049));
}

TEST(MainWindowLayout, JobQueueIs24PixelsTallerOnALowScreen) {
    EXPECT_EQ(app::job_queue_list_height(1049, 1080), 696);
    EXPECT_EQ(app::job_queue_list_height(1049, 699), 720);
    EXPECT_EQ(app::job_queue_list_height(1049, 700), 696);
    const auto high = placement({1927, 1049}, 1080);
    const auto low = placement({1927, 1049}, 600);
    EXPECT_EQ(low.at(IDC_JOB_QUEUE_LIST).height() - high.at(IDC_JOB_QUEUE_LIST).height(), 24);
}

TEST(MainWindowLayout, ControlsSitWhereTheWindowPutsThem) {
    const int w = 1927;
    const auto rects = placement({w, 1049}, 1080);
    ASSERT_EQ(rects.size(), 18u);
    const std::map<int, ui::Rect> expected{
        {IDC_NEW_JOB_BUTTON, ui::Rect::from_size(17, 19, 58, 69)},
        {IDC_PREVIEW_BUTTON, ui::Rect::from_size(653, 19, 67, 69)},
        // The rest keep the template's left edges, widths and the picture's bottom.
        {IDC_SEPARATOR, ui::Rect::from_size(0, 96, 8192, 3)},
        {IDC_PRINTING_LABEL, ui::Rect::from_size(15, 111, 320, 25)},
        {IDC_PRINTING_LIST, ui::Rect::from_size(15, 135, w - 30, 100)},
        {IDC_JOB_QUEUE_LABEL, ui::Rect::from_size(15, 267, 320, 25)},
        {IDC_JOB_QUEUE_LIST, ui::Rect::from_size(15, 291, w - 30, 1049 - 353)},
        {IDC_CONNECTION_PICTURE, ui::Rect::from_size(w - 91, 13, 76, 75)},
        {IDC_PRINTED_LIST_BUTTON, ui::Rect::from_size(w - 110, 257, 95, 25)},
    };
    for (const auto& [id, rect] : expected) {
        ASSERT_TRUE(rects.count(id)) << id;
        EXPECT_EQ(rects.at(id), rect) << id;
    }
}

}  // namespace
