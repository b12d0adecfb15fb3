#include "app/designer_start_progress.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/clock.h"
#include "platform/ui/controls.h"
#include "qt_application.h"

namespace {

// The dialog with the bar's position noted after every tick of its timer.
class WatchedProgress : public designer_start_progress {
  public:
    std::vector<int> positions;

  protected:
    void on_timer(std::uint32_t id) override {
        designer_start_progress::on_timer(id);
        positions.push_back(control<platform::ui::ProgressBar>(IDC_DESIGNER_PROGRESS)->pos());
    }
};

TEST(DesignerStartProgress, FillsItsBarAtTheSixteenthSecondAndEndsAtTheSeventeenth) {
    test_support::QtApplication app;
    platform::set_time_scale(50);
    WatchedProgress dialog;
    g_designer_progress = 5000;  // left over from nowhere: the dialog starts from 0

    EXPECT_EQ(dialog.do_modal(), 0);
    platform::set_time_scale(1);

    std::vector<int> expected;
    for (int second = 1; second <= 16; ++second) {
        expected.push_back(second * 1000);
    }
    expected.push_back(16000);  // the seventeenth tick ends it
    EXPECT_EQ(dialog.positions, expected);
    EXPECT_EQ(g_designer_progress, 0);
    EXPECT_EQ(dialog.caption(), "New Job");
}

}  // namespace
