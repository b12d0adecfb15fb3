#include "jobs/job_queue_sync.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "config/program_globals.h"
#include "engine/job_list_rows.h"
#include "engine/main_window_access.h"
#include "engine/monitoring_thread.h"
#include "jobs/job_intake.h"
#include "fifo.h"
#include "message_box_recorder.h"
#include "platform/clock.h"
#include "temp_dir.h"
#include "test_main_window.h"
#include "usb/driver/sim/bus.h"

namespace {

namespace fs = std::filesystem;
namespace ui = platform::ui;
using job_queue_sync_detail::apply_next_change;
using Strings = std::vector<std::string>;

class JobQueueSyncTest : public ::testing::Test {
  protected:
    void SetUp() override {
        previous_scale_ = platform::time_scale();
        platform::set_time_scale(50);
        reset_intake();
        g_job_folder = folder_.path().string();
    }
    void TearDown() override {
        reset_intake();
        g_job_folder.clear();
        platform::set_time_scale(previous_scale_);
    }

    static void reset_intake() {
        // Taken one by one, so the count that the emptiness test reads follows the queue.
        while (take_hot_folder_change()) {
        }
        g_pending_job_paths.clear();
        g_pending_job_count = 0;
        g_deleted_job_path.clear();
    }

    std::string job(const std::string& name) const { return (folder_ / name).string(); }

    // Applies every waiting change on a worker thread while the UI thread serves its calls.
    void apply_all() {
        ASSERT_TRUE(test_support::run_off_ui_thread([] {
            while (hot_folder_changes_waiting()) {
                apply_next_change();
            }
        }));
    }
    void appear(const std::string& path) { append_hot_folder_change(path, kChangeAppeared); }
    void go(const std::string& path) { append_hot_folder_change(path, kChangeGone); }

    Strings titles() { return window_.column(window_.jobs(), JobRow::job_path); }
    Strings printing_titles() { return window_.column(window_.printing(), PrintRow::job_path); }
    std::string label() const { return window_.control_text(engine::IDC_JOB_QUEUE_LABEL); }

    test_support::MessageBoxRecorder boxes_;
    test_support::TestMainWindow window_;
    test_support::TempDir folder_;
    usb::sim::Bus bus_;
    Monitoring_thread worker_{&bus_};

  private:
    double previous_scale_ = 1;
};

TEST_F(JobQueueSyncTest, ScanCleansTheFolderAndQueuesEachPrintFileForANewRow) {
    for (const char* name : {"a.prn", "a.bmp", "b.bmp", "notes.txt"}) {
        test_support::write_file(folder_ / name, "x");
    }
    fs::create_directory(folder_ / "empty");
    fs::create_directory(folder_ / "texts");
    test_support::write_file(folder_ / "texts" / "readme.txt", "x");

    worker_.scan_prn_folder(g_job_folder);

    ASSERT_EQ(g_hot_folder_changes.size(), 1u);
    EXPECT_EQ(g_hot_folder_changes[0].path, job("a.prn"));
    EXPECT_EQ(g_hot_folder_changes[0].code, kChangeAppeared);
    EXPECT_TRUE(fs::exists(folder_ / "a.prn"));
    EXPECT_TRUE(fs::exists(folder_ / "a.bmp"));
    EXPECT_FALSE(fs::exists(folder_ / "b.bmp"));
    EXPECT_FALSE(fs::exists(folder_ / "notes.txt"));
    EXPECT_FALSE(fs::exists(folder_ / "empty"));
    // Tried for removal before the scan emptied it: it stays until the next start.
    EXPECT_TRUE(fs::is_directory(folder_ / "texts"));
    EXPECT_TRUE(fs::is_empty(folder_ / "texts"));

    apply_all();
    ASSERT_EQ(window_.jobs().item_count(), 1);
    Strings row;
    for (int c = 0; c < JobRow::kColumnCount; ++c) {
        row.push_back(window_.jobs().item_text(0, c));
    }
    EXPECT_EQ(row, (Strings{job("a.prn"), "Generating data......", "Unknow", "Unknow", "Unknow",
                            "1", "Unknow", "N/A", "Unknow"}));
    EXPECT_EQ(g_pending_job_paths, std::deque<std::string>{job("a.prn")});
    EXPECT_EQ(g_pending_job_count, 1);
    EXPECT_EQ(label(), "Job queue ( 1 )");
}

// A file that is no job may be one being written: a RIP that writes "job.tmp" and renames it
// to "job.prn" once whole, or a preview written before its print file. The scan deletes such a
// file only once no writer can remain, and tries again with the cycles after it; what went
// meanwhile (renamed into a job), or a preview whose print file came meanwhile, is kept.
TEST_F(JobQueueSyncTest, TheScanDeletesAFileThatIsNoJobOnlyOnceNothingWritesIt) {
    for (const char* name : {"job.tmp", "late.bmp", "renamed.tmp", ".velquorin-copy-7-0"}) {
        test_support::write_file(folder_ / name, "x");
    }
    std::vector<std::ofstream> writers;
    for (const char* name : {"job.tmp", "late.bmp", "renamed.tmp"}) {
        writers.emplace_back(folder_ / name, std::ios::binary | std::ios::app);
        ASSERT_TRUE(writers.back());
    }
    // A pipe is written by nobody through its name: it goes at once, never opened.
    test_support::make_fifo(folder_ / "pipe.tmp");
    EXPECT_TRUE(test_support::ends_without_waiting_on(
        {folder_ / "pipe.tmp"}, [&] { worker_.scan_prn_folder(g_job_folder); }));
    EXPECT_FALSE(fs::exists(folder_ / "pipe.tmp"));
    EXPECT_TRUE(fs::exists(folder_ / "job.tmp"));
    EXPECT_TRUE(fs::exists(folder_ / "late.bmp"));
    EXPECT_TRUE(fs::exists(folder_ / "renamed.tmp"));
    // A copy cut off left its temporary file: nothing writes it.
    EXPECT_FALSE(fs::exists(folder_ / ".velquorin-copy-7-0"));

    fs::rename(folder_ / "renamed.tmp", folder_ / "renamed.prn");
    test_support::write_file(folder_ / "late.prn", "x");
    writers.clear();
    platform::sleep_ms(1000);
    job_queue_sync_detail::retry_scan_leftovers();
    EXPECT_FALSE(fs::exists(folder_ / "job.tmp"));
    EXPECT_TRUE(fs::exists(folder_ / "late.bmp"));
    EXPECT_TRUE(fs::exists(folder_ / "renamed.prn"));
}

TEST_F(JobQueueSyncTest, APrintFileInASubFolderKeepsTheSubFolderInItsTitleAndItsPreview) {
    fs::create_directory(folder_ / "20261210");
    // Two jobs whose names differ only in letter case, each with its own preview (the print
    // file's name less its last four characters, ".bmp" in the case of its extension).
    for (const char* name : {"c.PRN", "c.BMP", "c.prn", "c.bmp", "d.BMP"}) {
        test_support::write_file(folder_ / "20261210" / name, "x");
    }
    // A folder given with its separator gets no second one.
    worker_.scan_prn_folder(g_job_folder + "/");
    apply_all();
    Strings found = titles();
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, (Strings{job("20261210/c.PRN"), job("20261210/c.prn")}));
    EXPECT_TRUE(fs::exists(folder_ / "20261210" / "c.BMP"));
    EXPECT_TRUE(fs::exists(folder_ / "20261210" / "c.bmp"));
    EXPECT_FALSE(fs::exists(folder_ / "20261210" / "d.BMP"));
}

// A file reported twice (by the watch and by the start-up scan) keeps its one row, whatever
// the analyser has made of it meanwhile, and waits for the analyser once; its removal takes
// that row.
TEST_F(JobQueueSyncTest, APathReportedTwiceKeepsItsOneRowAndItsRemovalTakesIt) {
    appear(job("a.prn"));
    appear(job("b.prn"));
    apply_all();
    window_.jobs().set_item_text(0, JobRow::state, JobState::printing);
    appear(job("a.prn"));
    apply_all();
    EXPECT_EQ(titles(), (Strings{job("a.prn"), job("b.prn")}));
    EXPECT_EQ(window_.jobs().item_text(0, JobRow::state), JobState::printing);
    EXPECT_EQ(g_pending_job_paths, (std::deque<std::string>{job("a.prn"), job("b.prn")}));
    EXPECT_EQ(g_pending_job_count, 2);
    EXPECT_EQ(label(), "Job queue ( 2 )");

    go(job("a.prn"));
    apply_all();
    EXPECT_EQ(titles(), (Strings{job("b.prn")}));
    EXPECT_EQ(g_pending_job_paths, (std::deque<std::string>{job("b.prn")}));
    EXPECT_EQ(label(), "Job queue ( 1 )");
}

TEST_F(JobQueueSyncTest, FilesThatDifferOnlyInLetterCaseEachLoseTheirOwnRow) {
    appear(job("a.prn"));
    appear(job("A.prn"));
    apply_all();
    go(job("A.prn"));
    apply_all();
    EXPECT_EQ(titles(), Strings{job("a.prn")});
    EXPECT_EQ(g_pending_job_paths, std::deque<std::string>{job("a.prn")});
}

// a.prn was printed and the job printer deleted its rows before the file went; A.prn, another
// file, keeps its rows, its place in the wait and its count in the label.
TEST_F(JobQueueSyncTest, ARemovalLeavesTheRowsOfAFileThatDiffersOnlyInLetterCase) {
    appear(job("A.prn"));
    apply_all();
    JobRowTexts texts;
    texts[JobRow::job_path] = job("A.prn");
    append_print_row(window_.printing(), texts);
    go(job("a.prn"));
    apply_all();
    EXPECT_EQ(titles(), Strings{job("A.prn")});
    EXPECT_EQ(printing_titles(), Strings{job("A.prn")});
    EXPECT_EQ(g_pending_job_paths, std::deque<std::string>{job("A.prn")});
    EXPECT_EQ(label(), "Job queue ( 1 )");
}

TEST_F(JobQueueSyncTest, AFileGoneBeforeItsAnalysisLosesItsRowAndItsPlaceInTheWait) {
    appear(job("a.prn"));
    appear(job("b.prn"));
    apply_all();
    ASSERT_EQ(window_.jobs().item_text(0, JobRow::state), JobState::generating_data);
    go(job("a.prn"));
    apply_all();
    EXPECT_EQ(titles(), Strings{job("b.prn")});
    EXPECT_EQ(g_pending_job_paths, std::deque<std::string>{job("b.prn")});
    EXPECT_EQ(g_pending_job_count, 1);
    EXPECT_EQ(label(), "Job queue ( 1 )");
}

TEST_F(JobQueueSyncTest, TheDeletedJobsRemovalSelectsTheRowThatTakesItsPlace) {
    for (const char* name : {"a.prn", "b.prn", "c.prn"}) {
        appear(job(name));
    }
    apply_all();
    ui::ListCtrl& jobs = window_.jobs();
    const unsigned both = ui::kItemSelected | ui::kItemFocused;

    // Another file's removal leaves the operator's deleted path waiting.
    g_deleted_job_path = job("b.prn");
    go(job("a.prn"));
    apply_all();
    EXPECT_EQ(g_deleted_job_path, job("b.prn"));
    EXPECT_EQ(jobs.selected_count(), 0);

    jobs.set_item_state(0, both, both);  // the operator selects b and deletes it
    go(job("b.prn"));
    apply_all();
    EXPECT_EQ(titles(), Strings{job("c.prn")});
    EXPECT_EQ(jobs.item_state(0, both), both);
    EXPECT_TRUE(g_deleted_job_path.empty());

    // The last row deleted: nothing to select.
    g_deleted_job_path = job("c.prn");
    go(job("c.prn"));
    apply_all();
    EXPECT_EQ(jobs.item_count(), 0);
    EXPECT_EQ(jobs.selected_count(), 0);
    EXPECT_TRUE(g_deleted_job_path.empty());
}

TEST_F(JobQueueSyncTest, ARemovalTakesTheFirstExactPrintingRowAndNothingWithoutAJobRow) {
    const std::string a = job("a.prn");
    const std::string upper_a = job("A.PRN");
    const std::string q = job("q.prn");
    appear(a);
    apply_all();
    JobRowTexts texts;
    for (const std::string& path : {upper_a, a, q, a}) {
        texts[JobRow::job_path] = path;
        append_print_row(window_.printing(), texts);
    }

    go(a);
    apply_all();
    EXPECT_EQ(printing_titles(), (Strings{upper_a, q, a}));
    EXPECT_EQ(label(), "Job queue ( 0 )");

    // No job row for q (the job printer deleted the row of the job it printed): the printing
    // list is left alone, and the label shows the rows there are.
    window_.set_control_text(engine::IDC_JOB_QUEUE_LABEL, "Job queue ( 1 )");
    go(q);
    apply_all();
    EXPECT_EQ(printing_titles(), (Strings{upper_a, q, a}));
    EXPECT_EQ(label(), "Job queue ( 0 )");
}

TEST_F(JobQueueSyncTest, TheLabelCountsTheRowsWithABlankBeforeASingleDigit) {
    appear(job("0.prn"));
    apply_all();
    EXPECT_EQ(label(), "Job queue ( 1 )");
    for (int i = 1; i < 12; ++i) {
        appear(job(std::to_string(i) + ".prn"));
    }
    apply_all();
    EXPECT_EQ(label(), "Job queue (12 )");
}

TEST_F(JobQueueSyncTest, MoreThanTwoHundredJobsAwaitingAnalysisPauseEachCycle) {
    for (int i = 0; i < 250; ++i) {
        append_pending_job(job(std::to_string(i) + ".prn"));
    }
    for (int i = 0; i < 51; ++i) {
        go(job(std::to_string(i) + ".prn"));
    }
    std::vector<job_queue_sync_detail::CyclePauses> pauses;
    std::vector<std::uint32_t> took;
    ASSERT_TRUE(test_support::run_off_ui_thread([&] {
        for (int i = 0; i < 51; ++i) {
            const std::uint32_t start = platform::tick_count();
            pauses.push_back(job_queue_sync_detail::run_sync_cycle(worker_));
            took.push_back(platform::tick_count() - start);
        }
    }));
    // After change k, 250 - k jobs wait: a pause while that is above 200.
    for (std::size_t k = 1; k <= pauses.size(); ++k) {
        EXPECT_EQ(pauses[k - 1].busy_ms, k < 50 ? 100u : 0u) << k;
        EXPECT_EQ(pauses[k - 1].idle_ms, k == 51 ? 1000u : 0u) << k;
        EXPECT_GE(took[k - 1], pauses[k - 1].busy_ms + pauses[k - 1].idle_ms) << k;
    }
    EXPECT_EQ(g_pending_job_count, 199);
}

TEST_F(JobQueueSyncTest, TheRoleScansThenFollowsTheChangesAndEndsSoonAfterAStop) {
    test_support::write_file(folder_ / "a.prn", "x");
    std::atomic<bool> ended{false};
    Monitoring_thread::set_role_body(WM_MT_SYNC_JOB_QUEUE, [&](Monitoring_thread& t) {
        sync_job_queue(t);
        ended = true;
    });
    Monitoring_thread role(&bus_);
    role.post(WM_MT_SYNC_JOB_QUEUE);
    role.start();
    EXPECT_TRUE(test_support::pump_events_until([&] { return titles().size() == 1; }));
    appear(job("b.prn"));
    EXPECT_TRUE(test_support::pump_events_until([&] { return titles().size() == 2; }));

    // In real time from here, so a busy machine's delay in waking the role stays far inside the
    // bound that tells a sliced idle pause from a whole one.
    platform::set_time_scale(1);
    const std::uint32_t stopped_at = platform::tick_count();
    role.request_stop();
    EXPECT_TRUE(test_support::pump_events_until([&] { return ended.load(); }));
    EXPECT_LT(platform::tick_count() - stopped_at, 1000u);
    Monitoring_thread::set_role_body(WM_MT_SYNC_JOB_QUEUE, {});
    EXPECT_EQ(titles(), (Strings{job("a.prn"), job("b.prn")}));
}

}  // namespace
