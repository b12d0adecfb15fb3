#include "jobs/hot_folder_watch.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "config/program_globals.h"
#include "engine/monitoring_thread.h"
#include "jobs/job_intake.h"
#include "message_box_recorder.h"
#include "temp_dir.h"

namespace {

namespace fs = std::filesystem;
using Entries = std::vector<std::pair<std::string, std::string>>;
using test_support::write_file;

void clear_change_queue() {
    while (take_hot_folder_change()) {
    }
}

class HotFolderWatchTest : public ::testing::Test {
  protected:
    void SetUp() override {
        g_settings_root = settings_.path().string();
        g_settings_dir = g_settings_root + "/";
        g_job_folder = jobs_.path().string();
        hot_folder_watch_detail::reset();
        clear_change_queue();
    }
    void TearDown() override {
        stop_watcher();
        hot_folder_watch_detail::reset();
        clear_change_queue();
    }

    void start_watcher() {
        Monitoring_thread::set_role_body(WM_MT_WATCH_HOT_FOLDER, watch_hot_folder);
        worker_ = std::make_unique<Monitoring_thread>();
        worker_->post(WM_MT_WATCH_HOT_FOLDER);
        worker_->start();
    }
    void stop_watcher() {
        if (worker_) {
            worker_->stop_and_join();
            worker_.reset();
        }
        Monitoring_thread::set_role_body(WM_MT_WATCH_HOT_FOLDER, {});
    }

    // Takes entries from the change queue until `count` came (3 s at most), then waits a
    // little longer so that an entry too many shows as well.
    Entries collect(std::size_t count) {
        Entries out;
        const auto take_for = [&](std::chrono::milliseconds span, bool stop_at_count) {
            const auto end = std::chrono::steady_clock::now() + span;
            while (std::chrono::steady_clock::now() < end &&
                   !(stop_at_count && out.size() >= count)) {
                if (auto change = take_hot_folder_change()) {
                    out.emplace_back(change->path, change->code);
                } else {
                    std::this_thread::sleep_for(std::chrono::milliseconds(5));
                }
            }
        };
        take_for(std::chrono::seconds(3), true);
        take_for(std::chrono::milliseconds(80), false);
        return out;
    }

    static std::pair<std::string, std::string> appeared(const std::string& name) {
        return {g_job_folder + "/" + name, std::string(kChangeAppeared)};
    }
    static std::pair<std::string, std::string> gone(const std::string& name) {
        return {g_job_folder + "/" + name, std::string(kChangeGone)};
    }
    fs::path job(const std::string& name) const { return jobs_.path() / name; }

    test_support::MessageBoxRecorder boxes_;
    test_support::TempDir settings_;
    test_support::TempDir jobs_;
    std::unique_ptr<Monitoring_thread> worker_;
};

TEST_F(HotFolderWatchTest, FileNameChangesOfPrintFilesBecomeQueueEntries) {
    write_file(job("a.prn"), "x");
    write_file(job("old.prn"), "x");
    write_file(job("a.bmp"), "x");
    fs::create_directory(job("folder"));
    EXPECT_EQ(start_hot_folder_watch(), 0);
    EXPECT_TRUE(boxes_.texts().empty());
    start_watcher();
    struct Step {
        const char* what;
        std::function<void()> change;
        Entries expected;
    };
    const Step steps[] = {
        // Reported when created, before the writer is done with it.
        {"written under its final name",
         [&] { write_file(job("new.prn"), "x"); },
         {appeared("new.prn")}},
        {"temporary name to .prn",
         [&] {
             write_file(job("b.tmp"), "x");
             fs::rename(job("b.tmp"), job("b.prn"));
         },
         {appeared("b.prn")}},
        {".prn to .txt", [&] { fs::rename(job("b.prn"), job("b.txt")); }, {gone("b.prn")}},
        {".prn to .prn",
         [&] { fs::rename(job("a.prn"), job("c.prn")); },
         {gone("a.prn"), appeared("c.prn")}},
        {"overwritten in place", [&] { write_file(job("c.prn"), "new contents"); }, {}},
        {"letter case",
         [&] {
             write_file(job("D.PRN"), "x");
             write_file(job("e.Prn"), "x");
             write_file(job("f.prn.tmp"), "x");
             write_file(job("g.pr"), "x");
         },
         {appeared("D.PRN"), appeared("e.Prn")}},
        // Names are bytes: one that is not valid text still names its file exactly.
        {"any bytes", [&] { write_file(job("\xe9t\xff.prn"), "x"); }, {appeared("\xe9t\xff.prn")}},
        {"preview and folders",
         [&] {
             fs::remove(job("a.bmp"));
             fs::rename(job("folder"), job("renamed"));
             fs::remove(job("renamed"));
             fs::create_directory(job("made"));
         },
         {}},
        {"deleted", [&] { fs::remove(job("old.prn")); }, {gone("old.prn")}},
    };
    for (const Step& step : steps) {
        step.change();
        EXPECT_EQ(collect(step.expected.size()), step.expected) << step.what;
    }
}

TEST_F(HotFolderWatchTest, APrnCopiedIntoANewDatedSubFolderCarriesTheSubFolderFirstAndLater) {
    start_hot_folder_watch();
    start_watcher();
    write_file(settings_ / "source.prn", "print data");
    for (const char* folder : {"20261210120102", "20261210120103"}) {
        fs::create_directory(job(folder));
        fs::copy_file(settings_ / "source.prn", job(folder) / "job.prn");
        EXPECT_EQ(collect(1), Entries{appeared(std::string(folder) + "/job.prn")});
    }
    fs::copy_file(settings_ / "source.prn", job("20261210120102") / "again.prn");
    EXPECT_EQ(collect(1), Entries{appeared("20261210120102/again.prn")});
    // A deleted folder takes its print files with it.
    fs::remove_all(job("20261210120103"));
    EXPECT_EQ(collect(1), Entries{gone("20261210120103/job.prn")});
}

TEST_F(HotFolderWatchTest, AJobFolderSetWithAClosingSlashGivesThePathsTheStartUpScanBuilds) {
    g_job_folder = jobs_.path().string() + "/";
    start_hot_folder_watch();
    start_watcher();
    fs::create_directory(job("sub"));
    write_file(job("sub") / "a.prn", "x");
    const std::string path = jobs_.path().string() + "/sub/a.prn";
    EXPECT_EQ(collect(1), (Entries{{path, std::string(kChangeAppeared)}}));
    fs::remove(job("sub") / "a.prn");
    EXPECT_EQ(collect(1), (Entries{{path, std::string(kChangeGone)}}));
}

TEST_F(HotFolderWatchTest, EachSetUpFailureShowsItsBoxAndTheWatcherStillStartsAndStops) {
    struct Case {
        const char* what;
        std::function<void()> prepare;
        std::vector<std::string> boxes;
    };
    const Case cases[] = {
        {"job folder missing",
         [&] { g_job_folder = (jobs_ / "missing").string(); },
         {"Failed to open hot folder"}},
        {"job folder is a file",
         [&] {
             write_file(jobs_ / "file", "x");
             g_job_folder = (jobs_ / "file").string();
         },
         {"Failed to open hot folder"}},
        {"no port",
         [] { platform::dir_watch_detail::refuse_ports(1); },
         {"Create IOCP error", "mh_IOCP NULL"}},
        {"no port and job folder missing",
         [&] {
             platform::dir_watch_detail::refuse_ports(1);
             g_job_folder = (jobs_ / "missing").string();
         },
         {"Failed to open hot folder", "mh_IOCP NULL"}},
        {"first read refused",
         [] { platform::dir_watch_detail::refuse_watches(1); },
         {"Failed to watch hot folder: No space left on device"}},
    };
    for (const Case& c : cases) {
        test_support::MessageBoxRecorder boxes;
        g_job_folder = jobs_.path().string();
        c.prepare();
        EXPECT_EQ(start_hot_folder_watch(), 0) << c.what;
        EXPECT_EQ(boxes.texts(), c.boxes) << c.what;
        EXPECT_FALSE(g_hot_folder_watch.load()) << c.what;
        // The virtual hot folders are made whatever becomes of the watch.
        EXPECT_TRUE(fs::is_directory(settings_ / "VirtualHotFolder")) << c.what;
        start_watcher();
        write_file(jobs_ / "late.prn", "x");
        EXPECT_EQ(collect(0), Entries{}) << c.what;
        stop_watcher();
        fs::remove(jobs_ / "late.prn");
        hot_folder_watch_detail::reset();
    }
}

TEST_F(HotFolderWatchTest, ASecondSetUpSaysSoAndTheNewWatchReportsEachChangeOnce) {
    start_hot_folder_watch();
    EXPECT_TRUE(boxes_.texts().empty());
    start_hot_folder_watch();
    EXPECT_EQ(boxes_.texts(), std::vector<std::string>{"mh IOCP error"});
    start_watcher();
    write_file(job("a.prn"), "x");
    EXPECT_EQ(collect(1), Entries{appeared("a.prn")});
}

TEST_F(HotFolderWatchTest, ASetUpWhileTheWatcherWaitsReplacesTheWatchItWaitsOnSafely) {
    start_hot_folder_watch();
    start_watcher();
    for (int i = 0; i < 20; ++i) {
        start_hot_folder_watch();  // frees no watch that the watcher still waits on
    }
    EXPECT_EQ(boxes_.texts(), std::vector<std::string>(20, "mh IOCP error"));
    write_file(job("a.prn"), "x");
    // The earlier watch may still see the file while the watcher finishes its wait on it.
    const Entries entries = collect(1);
    ASSERT_FALSE(entries.empty());
    for (const auto& entry : entries) {
        EXPECT_EQ(entry, appeared("a.prn"));
    }
}

}  // namespace
