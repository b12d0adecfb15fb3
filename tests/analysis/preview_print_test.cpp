// A job added to printing from the preview dialog prints on the simulated printer.
#include <gtest/gtest.h>

#include <QTimer>

#include "analysis/printpreview.h"
#include "platform/files.h"
#include "print_job_fixture.h"

namespace {

using PreviewPrintTest = test_support::PrintJobTest;

TEST_F(PreviewPrintTest, AWaitJobAddedFromThePreviewPrints) {
    const std::string path = (dir_ / "Output" / "job.prn").string();
    test_support::small_job(300).write(path);
    auto& jobs = window_.jobs();
    const int row = jobs.insert_item(0, path);
    const JobRowTexts texts = {path, "Wait",       "KCMY", "0.14*1.06cm", "2026/12/10 16:00",
                               "1",  "720*720dpi", "N/A",  "BiDirection"};
    for (int c = 1; c < JobRow::kColumnCount; ++c) {
        jobs.set_item_text(row, c, texts[static_cast<std::size_t>(c)]);
    }
    jobs.set_item_state(row, platform::ui::kItemSelected, platform::ui::kItemSelected);
    printpreview::SetPreviewInfo(preview_bitmap_path(path), path, texts[2], texts[3], texts[4],
                                 texts[6], texts[8], texts[1]);
    printpreview dialog;
    QTimer::singleShot(0, [&] {
        dialog.command(printpreview::IDC_ADD_TO_QUEUE);
        dialog.command(platform::ui::kIdCancel);
    });
    dialog.do_modal();
    ASSERT_EQ(window_.printing().item_count(), 1);
    EXPECT_EQ(printing_cell(PrintRow::state), "Ready to print");

    print_first_row();
    EXPECT_EQ(boxes_.count(), 0u);
    const usb::sim::Firmware::State state = firmware_->state();
    EXPECT_GT(state.passes_done, 0);
    EXPECT_EQ(state.passes_done, state.passes_started);
    EXPECT_EQ(window_.printing().item_count(), 0);
    EXPECT_FALSE(platform::exists(path));
    EXPECT_TRUE(platform::exists(printed_folder(0) / "job.prn"));
}

}  // namespace
