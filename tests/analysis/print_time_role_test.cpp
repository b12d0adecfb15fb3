// The printing list's time estimator: it fills the first row's "Expected time" and "Pass time"
// once, only for the job it estimated, and the job printer then counts its progress in bands.
#include "analysis/print_time_role.h"

#include <gtest/gtest.h>

#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "analysis/file_reads.h"
#include "analysis/print_time_estimate.h"
#include "config/all_settings.h"
#include "config/program_globals.h"
#include "engine/prn_header.h"
#include "engine/stepping.h"
#include "fifo.h"
#include "platform/clock.h"
#include "platform/ui/controls.h"
#include "print_job_fixture.h"
#include "settings/setting_dialog.h"

namespace {

using test_support::PrintJobTest;
using test_support::PrnBuilder;
using test_support::small_job;

// Whether this process has `path` open: the estimator holds its print file open while it
// estimates.
bool has_open(const std::string& path) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", error)) {
        std::error_code gone;
        if (std::filesystem::read_symlink(entry.path(), gone) == path) {
            return true;
        }
    }
    return false;
}

class PrintTimeRoleTest : public PrintJobTest {
  protected:
    std::string cell(int column) { return window_.printing().item_text(0, column); }
    PrintTimeEstimator estimator_;
};

TEST_F(PrintTimeRoleTest, FillsNAOnceAndLeavesFilledRowsAlone) {
    EXPECT_EQ(estimate_first_printing_row(estimator_), 1000u);

    // One copy, from an estimate of the same job; a resolution the printer has no mode for
    // is estimated all the same, with 8 passes.
    PrnBuilder odd = small_job(300);
    odd.resolution(720, 1200);
    for (const auto& [prn, name] :
         {std::pair{small_job(300), "job.prn"}, std::pair{odd, "odd.prn"}}) {
        window_.printing().delete_all_items();
        const std::string path = queue_job(prn, name);
        EXPECT_EQ(estimate_first_printing_row(estimator_), 0u);
        PrintTimeEstimator reference;
        const PrintTimeResult expected =
            reference.estimate(path, time_options_from_row(TimeEstimator::List, "N/A", "Bi", "1"));
        ASSERT_TRUE(expected.ok);
        EXPECT_EQ(cell(PrintRow::expected_time), expected.text) << name;
        EXPECT_EQ(cell(PrintRow::pass_time), std::to_string(expected.bands)) << name;
    }

    // Filled: left alone, also while it prints.
    window_.printing().set_item_text(0, PrintRow::state, "Printing");
    window_.printing().set_item_text(0, PrintRow::expected_time, "00:00:09");
    EXPECT_EQ(estimate_first_printing_row(estimator_), 2000u);
    EXPECT_EQ(cell(PrintRow::expected_time), "00:00:09");

    // A file that cannot be opened is tried again after a second; the row stays "N/A".
    window_.printing().delete_all_items();
    window_.jobs().delete_all_items();
    queue_job(small_job(300), "gone.prn");
    std::filesystem::remove(dir_ / "Output" / "gone.prn");
    EXPECT_EQ(estimate_first_printing_row(estimator_), 1000u);
    EXPECT_EQ(cell(PrintRow::expected_time), "N/A");

    // A job it cannot estimate shows "Unknow" and keeps line progress.
    window_.printing().delete_all_items();
    queue_job(PrnBuilder(4253, 2), "wide.prn");
    EXPECT_EQ(estimate_first_printing_row(estimator_), 0u);
    EXPECT_EQ(cell(PrintRow::expected_time), "Unknow");
    EXPECT_EQ(cell(PrintRow::pass_time), "N/A");
    EXPECT_EQ(estimate_first_printing_row(estimator_), 2000u);

    // So does one whose file fails to read part-way: what was read before is no estimate.
    window_.printing().delete_all_items();
    queue_job(small_job(300), "damaged.prn");
    analysis::file_reads_detail::fail_reads_from(kPrnHeaderSize + 1000);
    EXPECT_EQ(estimate_first_printing_row(estimator_), 0u);
    analysis::file_reads_detail::fail_reads_from(-1);
    EXPECT_EQ(cell(PrintRow::expected_time), "Unknow");
    EXPECT_EQ(cell(PrintRow::pass_time), "N/A");
}

// The row of another job that took the first place while the estimate ran keeps its cells.
TEST_F(PrintTimeRoleTest, WritesOnlyTheEstimatedJobsRow) {
    queue_job(small_job(300), "next.prn");
    PrintTimeResult result;
    result.ok = true;
    result.text = "00:01:00";
    result.bands = 12;
    EXPECT_FALSE(write_first_row_estimate(window_.printing(), "/elsewhere/first.prn",
                                          g_settings_generation, result));
    EXPECT_EQ(cell(PrintRow::expected_time), "N/A");
    EXPECT_EQ(cell(PrintRow::pass_time), "N/A");
    const std::string path = cell(PrintRow::job_path);
    EXPECT_TRUE(write_first_row_estimate(window_.printing(), path, g_settings_generation, result));
    EXPECT_EQ(cell(PrintRow::expected_time), "00:01:00");
    EXPECT_EQ(cell(PrintRow::pass_time), "12");
}

// The role on its worker: a row appended while it runs gets its time.
TEST_F(PrintTimeRoleTest, RoleFillsRowsAsTheyCome) {
    install_analysis_roles();
    worker_->post(WM_MT_ESTIMATE_PRINT_TIME, 0, 0);
    worker_->start();
    queue_job(small_job(300));
    EXPECT_TRUE(
        test_support::pump_events_until([&] { return cell(PrintRow::expected_time) != "N/A"; }));
    EXPECT_NE(cell(PrintRow::pass_time), "N/A");
    // The worker's list calls are served while it is told to stop and joined.
    EXPECT_TRUE(test_support::run_off_ui_thread([&] { worker_.reset(); }));
    Monitoring_thread::set_role_body(WM_MT_ESTIMATE_PRINT_TIME, {});
}

// The operator saves rotary printing in the Setting dialog while the estimator works on the
// first row with the flatbed settings: the flatbed estimate is not written over the save's
// "N/A", and the row gets the rotary estimate.
TEST_F(PrintTimeRoleTest, ASettingSaveDuringAnEstimateHasTheRowEstimatedAgain) {
    // Long enough to estimate that the save can begin while the estimate runs: 300 lines with
    // ink, then blank lines to 300 MB, which cost no disk.
    constexpr std::uint32_t kRowBytes = 1000;
    constexpr std::uint32_t kLines = 50000;
    test_support::PrnBuilder prn(kRowBytes, 300);
    prn.solid(PRN_PLANE_BLACK, 0, 300, 0, 8);
    const std::string path = (dir_ / "Output" / "long.prn").string();
    prn.write(path);
    {
        std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
        std::uint8_t count[4];
        prn_put_u32(count, 0, kLines);
        file.seekp(kPrnOffsetLineCount);
        file.write(reinterpret_cast<const char*>(count), sizeof count);
    }
    std::filesystem::resize_file(path, kPrnHeaderSize + std::uint64_t{kRowBytes} * 6 * kLines);
    install_analysis_roles();
    worker_->post(WM_MT_ESTIMATE_PRINT_TIME, 0, 0);
    worker_->start();
    // The job comes while the dialog is open, and Save is clicked once its estimate has begun:
    // the estimate's write waits for this thread, which is busy with the save until the save
    // has been applied.
    bool saved_while_estimating = false;
    QTimer saver;
    QTimer::singleShot(0, [&] {
        auto* dialog = dynamic_cast<allsetting*>(platform::ui::Dialog::innermost_modal());
        if (dialog == nullptr) {
            return;
        }
        dialog->combo_for(AllSettings::print_media)->set_current(1);
        window_.add_job(path);
        const std::uint32_t queued = platform::tick_count();
        QObject::connect(&saver, &QTimer::timeout, [&, dialog, queued] {
            saved_while_estimating = has_open(path);
            if (saved_while_estimating || platform::tick_count() - queued > 60000) {
                saver.stop();
                dialog->control<platform::ui::Button>(IDC_SETTING_SAVE)->click();
            }
        });
        saver.start(0);
    });
    open_setting_dialog(nullptr);
    const bool estimated = test_support::pump_events_until(
        [&] { return cell(PrintRow::expected_time) != "N/A" && !has_open(path); }, 60000);
    // The estimator may be at its next look at the row: it is stopped before the row is read.
    EXPECT_TRUE(test_support::run_off_ui_thread([&] { worker_.reset(); }));
    Monitoring_thread::set_role_body(WM_MT_ESTIMATE_PRINT_TIME, {});
    ASSERT_TRUE(saved_while_estimating);
    ASSERT_TRUE(estimated);
    ASSERT_EQ(g_rotary_mode, 1);
    PrintTimeEstimator rotary;
    const PrintTimeResult expected =
        rotary.estimate(path, time_options_from_row(TimeEstimator::List, "N/A", "Bi", "1"));
    ASSERT_TRUE(expected.ok);
    EXPECT_EQ(cell(PrintRow::pass_time), std::to_string(expected.bands));
    EXPECT_EQ(cell(PrintRow::expected_time), expected.text);
    EXPECT_EQ(boxes_.texts(), std::vector<std::string>{"Save succeed!"});
}

// Once "Pass time" is filled the job printer's progress counts bands against it: while the
// printer hangs in pass 2, two bands of the estimated count are done.
TEST_F(PrintTimeRoleTest, JobPrinterProgressFollowsTheBands) {
    const std::string path = queue_job(small_job(600));
    ASSERT_EQ(estimate_first_printing_row(estimator_), 0u);
    const int bands = std::atoi(cell(PrintRow::pass_time).c_str());
    ASSERT_GT(bands, 2);
    const std::string progress = progress_while_second_pass_hangs(path);
    char expected[8];
    std::snprintf(expected, sizeof expected, "%2d", 200 / bands);
    EXPECT_EQ(progress, expected);
}

// A first row whose file is a pipe or a device holds a file that cannot be opened: tried again
// after a second and never waited on, so the role never keeps Exit waiting at its join.
TEST_F(PrintTimeRoleTest, APipeOrADeviceIsAFileThatCannotBeOpened) {
    const test_support::UnreadableNames unreadable =
        test_support::make_unreadable_names(dir_ / "Output", ".prn");
    const test_support::FifoGuard guard(unreadable.fifos);
    for (const auto& name : unreadable.names) {
        window_.printing().delete_all_items();
        window_.add_job(name.string());
        EXPECT_EQ(estimate_first_printing_row(estimator_), 1000u) << name;
        EXPECT_EQ(cell(PrintRow::expected_time), "N/A") << name;
    }
    EXPECT_FALSE(guard.released());
}

}  // namespace
