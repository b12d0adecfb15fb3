// The preview's progress dialog, run modally offscreen: it builds the bitmap as soon as it is
// open, shows a box when the build fails, and always ends with 8.
#include "analysis/createbmpdlg.h"

#include <gtest/gtest.h>

#include "fifo.h"
#include "message_box_recorder.h"
#include "platform/files.h"
#include "platform/ui/controls.h"
#include "prn_builder.h"
#include "qt_application.h"
#include "temp_dir.h"

namespace {

using test_support::TempDir;

class CreateBmpDlgTest : public ::testing::Test {
  protected:
    test_support::QtApplication app_;
    test_support::MessageBoxRecorder boxes_;
    TempDir dir_;
};

TEST_F(CreateBmpDlgTest, BuildsTheBitmapWhenOpenedAndEndsWith8) {
    test_support::PrnBuilder(300, 1000).random_dots(11).write(dir_ / "job.prn");
    const std::string bmp = (dir_ / "job.bmp").string();
    createbmpdlg::SetPaths(bmp, (dir_ / "job.prn").string());
    createbmpdlg dialog;
    dialog.set_background(platform::ui::Rgb::from_bgr(0xF2F2F2));
    // Esc before the build has started does not cut it short.
    dialog.command(platform::ui::kIdCancel);
    EXPECT_EQ(dialog.do_modal(), 8);
    EXPECT_EQ(boxes_.count(), 0u);
    EXPECT_EQ(platform::file_size(bmp), 54u + 354 * 295 * 4);
    auto* progress = dialog.control<platform::ui::ProgressBar>(createbmpdlg::IDC_PREVIEW_PROGRESS);
    ASSERT_NE(progress, nullptr);
    EXPECT_EQ(progress->upper(), 250);
    EXPECT_EQ(progress->pos(), 249);
}

TEST_F(CreateBmpDlgTest, FailedBuildShowsItsBoxEndsWith8AndWritesNothing) {
    test_support::PrnBuilder(300, 1000).resolution(720, 1200).write(dir_ / "mode.prn");
    test_support::PrnBuilder(300, 3).write(dir_ / "few_lines.prn");
    test_support::PrnBuilder(300, 1000).write(dir_ / "good.prn");
    test_support::write_file(dir_ / "file", "x");
    struct Case {
        std::string prn;
        std::string bmp;
        std::string box;
    };
    // The window waits for this dialog: a pipe or a device at the name is refused at once.
    const test_support::UnreadableNames unreadable =
        test_support::make_unreadable_names(dir_.path(), ".prn");
    const test_support::FifoGuard guard(unreadable.fifos);
    std::vector<Case> cases = {
        {"missing.prn", "a.bmp", "Print file can't read."},
        {"mode.prn", "a.bmp", "请选择正确图象模式!\n"},
        {"few_lines.prn", "a.bmp",
         "The print file has 3 raster lines, fewer than the 4 of one cell at its resolution; no "
         "preview can be made."},
        {"good.prn", "file/a.bmp", "Create preview failed，Please run in administrator!"},
    };
    for (const auto& name : unreadable.names) {
        cases.push_back({name.filename().string(), "a.bmp", "Print file can't read."});
    }
    std::size_t shown = 0;
    for (const Case& c : cases) {
        createbmpdlg::SetPaths((dir_ / c.bmp).string(), (dir_ / c.prn).string());
        createbmpdlg dialog;
        EXPECT_EQ(dialog.do_modal(), 8) << c.prn;
        ASSERT_EQ(boxes_.count(), ++shown) << c.prn;
        EXPECT_EQ(boxes_.texts().back(), c.box);
        EXPECT_FALSE(platform::exists(dir_ / c.bmp)) << c.prn;
    }
    EXPECT_FALSE(guard.released());
}

}  // namespace
