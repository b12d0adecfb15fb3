#include "app/designer_start_progress.h"

#include <gtest/gtest.h>

#include "platform/clock.h"
#include "platform/ui/controls.h"
#include "qt_application.h"

namespace {

TEST(DesignerStartProgress, FillsItsBarAtTheSixteenthSecondAndEndsAtTheSeventeenth) {
    test_support::QtApplication app;
    platform::set_time_scale(50);
    designer_start_progress dialog;
    g_designer_progress = 5000;  // left over from nowhere: the dialog starts from 0

    const std::uint32_t start = platform::tick_count();
    EXPECT_EQ(dialog.do_modal(), 0);
    const std::uint32_t spent = platform::tick_count() - start;
    platform::set_time_scale(1);

    EXPECT_GE(spent, 17000u);
    EXPECT_LT(spent, 19000u);
    const auto* bar = dialog.control<platform::ui::ProgressBar>(IDC_DESIGNER_PROGRESS);
    EXPECT_EQ(bar->upper(), 16000);
    EXPECT_EQ(bar->pos(), 16000);
    EXPECT_EQ(g_designer_progress, 0);
    EXPECT_EQ(dialog.caption(), "New Job");
}

}  // namespace
