// The whole intake under a burst: thousands of print files arrive in the job folder at once and
// later leave it, with the watcher, the synchroniser and the analyser running on their workers
// against the test main window. Every file must get exactly one row, analysed, and every row
// must go again; nothing may be lost or doubled.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <initializer_list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "config/program_globals.h"
#include "engine/monitoring_thread.h"
#include "jobs/hot_folder_watch.h"
#include "jobs/job_intake.h"
#include "jobs/job_intake_roles.h"
#include "message_box_recorder.h"
#include "platform/clock.h"
#include "prn_builder.h"
#include "temp_dir.h"
#include "test_main_window.h"

namespace {

namespace fs = std::filesystem;

constexpr int kJobCount = 5000;

class IntakeLoad : public ::testing::Test {
  protected:
    void SetUp() override {
        previous_scale_ = platform::time_scale();
        platform::set_time_scale(50);
        jobs_ = dir_ / "Output";
        staging_ = dir_ / "staging";
        fs::create_directories(jobs_);
        fs::create_directories(staging_);
        fs::create_directories(dir_ / "settings");
        g_job_folder = jobs_.string();
        g_settings_root = (dir_ / "settings").string();
        g_print_job_set = 1;
        start_hot_folder_watch();
        install_job_intake_roles();
    }

    // Each role on a worker of its own, in this order.
    void start_roles(std::initializer_list<std::uint32_t> roles) {
        for (const std::uint32_t role : roles) {
            workers_.push_back(std::make_unique<Monitoring_thread>());
            workers_.back()->post(role);
            workers_.back()->start();
        }
    }
    void start_all_roles() {
        start_roles({WM_MT_WATCH_HOT_FOLDER, WM_MT_SYNC_JOB_QUEUE, WM_MT_UPDATE_JOB_INFO});
    }

    void TearDown() override {
        // The roles may be inside a call onto this thread: keep serving while they end.
        for (auto& worker : workers_) {
            worker->request_stop();
        }
        ASSERT_TRUE(test_support::run_off_ui_thread([&] { workers_.clear(); }));
        platform::set_time_scale(previous_scale_);
        g_job_folder.clear();
        g_settings_root.clear();
    }

    // Rows by title; every value should be 1.
    std::map<std::string, int> rows_by_title() {
        std::map<std::string, int> rows;
        for (const std::string& title : window_.column(window_.jobs(), JobRow::job_path)) {
            ++rows[title];
        }
        return rows;
    }

    bool all_rows_read(const char* state, int count) {
        if (window_.jobs().item_count() != count) {
            return false;
        }
        for (const std::string& s : window_.column(window_.jobs(), JobRow::state)) {
            if (s != state) {
                return false;
            }
        }
        return true;
    }

    test_support::MessageBoxRecorder boxes_;
    test_support::TestMainWindow window_;
    test_support::TempDir dir_;
    fs::path jobs_;
    fs::path staging_;
    std::vector<std::unique_ptr<Monitoring_thread>> workers_;

  private:
    double previous_scale_ = 1;
};

TEST_F(IntakeLoad, ABurstOfJobsGetsOneRowEachAndLeavesNoneBehind) {
    start_all_roles();
    // Written beside the job folder, then moved in at once: the burst is the moves.
    const std::string job = test_support::PrnBuilder(284, 1).width_dots(1134).bytes();
    std::vector<std::string> names;
    for (int i = 0; i < kJobCount; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "job-%05d.prn", i);
        names.emplace_back(name);
        test_support::write_file(staging_ / name, job);
    }
    // The start-up scan of the empty job folder is long over (it would remove an empty
    // sub-folder); half of the jobs go into a dated sub-folder that appears with the burst.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const std::uint32_t start = platform::tick_count();
    const auto real_start = std::chrono::steady_clock::now();
    fs::create_directories(jobs_ / "20261210");
    for (int i = 0; i < kJobCount; ++i) {
        const fs::path to = (i % 2 == 0 ? jobs_ : jobs_ / "20261210") / names[i];
        fs::rename(staging_ / names[i], to);
    }

    ASSERT_TRUE(
        test_support::pump_events_until([&] { return all_rows_read("Wait", kJobCount); }, 600000))
        << window_.jobs().item_count() << " rows";
    const double program_s = (platform::tick_count() - start) / 1000.0;
    const double real_s =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - real_start).count();
    std::printf(
        "[ record ] %d jobs to the last \"Wait\": %.1f s program time (%.1f jobs/s; the "
        "analyser's own pace is 25 jobs/s), %.1f s real time at scale 50\n",
        kJobCount, program_s, kJobCount / program_s, real_s);

    const auto rows = rows_by_title();
    EXPECT_EQ(rows.size(), static_cast<std::size_t>(kJobCount));
    for (const auto& [title, count] : rows) {
        EXPECT_EQ(count, 1) << title;
    }
    EXPECT_EQ(window_.control_text(engine::IDC_JOB_QUEUE_LABEL), "Job queue (5000 )");

    for (int i = 0; i < kJobCount; ++i) {
        fs::remove((i % 2 == 0 ? jobs_ : jobs_ / "20261210") / names[i]);
    }
    // The label follows each deletion in a call of its own.
    ASSERT_TRUE(test_support::pump_events_until(
        [&] {
            return window_.jobs().item_count() == 0 &&
                   window_.control_text(engine::IDC_JOB_QUEUE_LABEL) == "Job queue ( 0 )";
        },
        600000))
        << window_.jobs().item_count() << " rows left";
    EXPECT_EQ(g_pending_job_count, 0);
    EXPECT_TRUE(boxes_.texts().empty());
}

// Files dropped in while the program starts: the watch, armed first, reports them, and the
// start-up scan that follows finds them again. Each still gets one row, and every row ends
// analysed.
TEST_F(IntakeLoad, FilesArrivingBeforeTheStartUpScanGetOneRowEachAndAllAreAnalysed) {
    constexpr std::size_t kArriving = 201;
    start_roles({WM_MT_WATCH_HOT_FOLDER});
    const std::string job = test_support::PrnBuilder(284, 1).width_dots(1134).bytes();
    for (std::size_t i = 0; i < kArriving; ++i) {
        test_support::write_file(jobs_ / ("early-" + std::to_string(i) + ".prn"), job);
    }
    const auto reported = [] {
        std::lock_guard lock(g_job_list_lock);
        return g_hot_folder_changes.size();
    };
    ASSERT_TRUE(test_support::pump_events_until([&] { return reported() >= kArriving; }, 60000))
        << reported();
    start_roles({WM_MT_SYNC_JOB_QUEUE, WM_MT_UPDATE_JOB_INFO});

    // Every report applied (the scan's come after the watch's) and every waiting job analysed.
    ASSERT_TRUE(test_support::pump_events_until(
        [] { return !hot_folder_changes_waiting() && g_pending_job_count == 0; }, 120000));
    EXPECT_TRUE(test_support::pump_events_until([&] {
        return all_rows_read("Wait", static_cast<int>(kArriving));
    })) << window_.jobs().item_count()
        << " rows";
    for (const auto& [title, rows] : rows_by_title()) {
        EXPECT_EQ(rows, 1) << title;
    }
    EXPECT_EQ(window_.control_text(engine::IDC_JOB_QUEUE_LABEL), "Job queue (201 )");
}

}  // namespace
