#include "jobs/job_analyser.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>

#include <atomic>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <mutex>

#include "config/all_settings.h"
#include "config/program_globals.h"
#include "engine/job_list_rows.h"
#include "engine/monitoring_thread.h"
#include "fifo.h"
#include "jobs/hot_folder_watch.h"
#include "jobs/job_intake.h"
#include "platform/clock.h"
#include "temp_dir.h"
#include "test_main_window.h"
#include "usb/driver/sim/bus.h"

namespace {

namespace ui = platform::ui;

// 300 x 499 whole millimetres at 720 dpi.
PrnHeader a3_header(std::uint32_t width_dots = 8504, std::uint8_t direction = 1) {
    PrnHeader h;
    h.width_dots = width_dots;
    h.line_count = 14173;
    h.direction = direction;
    h.ink_mode = 1;
    return h;
}

class JobAnalyserTest : public ::testing::Test {
  protected:
    void SetUp() override {
        previous_scale_ = platform::time_scale();
        platform::set_time_scale(50);
        previous_root_ = g_settings_root;
        g_settings_root = dir_.path().string();
        reset_intake();
    }
    void TearDown() override {
        platform::set_time_scale(previous_scale_);
        g_settings_root = previous_root_;
        reset_intake();
    }

    static void reset_intake() {
        std::lock_guard lock(g_job_list_lock);
        g_pending_job_paths.clear();
        g_pending_job_count = 0;
        g_print_job_set = 1;
    }

    // A print file of `size` bytes with the header's fields.
    std::string write_job(const std::string& name, const PrnHeader& header,
                          std::size_t size = 4096) {
        std::string bytes(std::max(size, kPrnHeaderSize), '\0');
        encode_prn_header(header, reinterpret_cast<std::uint8_t*>(bytes.data()));
        bytes.resize(size);
        const std::string path = (dir_ / name).string();
        test_support::write_file(path, bytes);
        return path;
    }

    // A new job-queue row as the synchroniser makes it, and its path awaiting analysis.
    void queue(const std::string& path) {
        const char* const texts[] = {
            "Generating data......", "Unknow", "Unknow", "Unknow", "1", "Unknow", "N/A", "Unknow"};
        const int row = jobs().insert_item(jobs().item_count(), path);
        for (int c = 1; c < JobRow::kColumnCount; ++c) {
            jobs().set_item_text(row, c, texts[c - 1]);
        }
        append_pending_job(path);
    }

    void cycles(int n) {
        ASSERT_TRUE(test_support::run_off_ui_thread([&] {
            for (int i = 0; i < n; ++i) {
                analyser_.run_cycle();
            }
        }));
    }

    // The auto-send clock as it stands after 20 s with "Print_job_set" at 0.
    void auto_send_from_next_cycle() {
        g_print_job_set = 0;
        analyser_.clock().elapsed_ms = kAutoSendDelayMs + 1;
    }

    ui::ListCtrl& jobs() { return window_.jobs(); }
    ui::ListCtrl& printing() { return window_.printing(); }
    std::vector<std::string> states() { return window_.column(jobs(), JobRow::state); }
    std::vector<std::string> printed() { return window_.column(printing(), PrintRow::job_path); }
    static std::deque<std::string> pending() {
        std::lock_guard lock(g_job_list_lock);
        return g_pending_job_paths;
    }

    test_support::TempDir dir_;
    test_support::TestMainWindow window_;
    JobAnalyser analyser_;

  private:
    double previous_scale_ = 1;
    std::string previous_root_;
};

TEST_F(JobAnalyserTest, AnalysedJobFillsItsRowKeepsThe3dLevelAndSetsTheButtons) {
    const std::string path = write_job("a.prn", a3_header());
    std::tm local{};
    local.tm_year = 2026 - 1900;
    local.tm_mon = 2;
    local.tm_mday = 4;
    local.tm_hour = 5;
    local.tm_min = 6;
    local.tm_sec = 7;
    local.tm_isdst = -1;
    const utimbuf times{std::mktime(&local), std::mktime(&local)};
    ASSERT_EQ(::utime(path.c_str(), &times), 0);
    queue(path);
    jobs().set_item_text(0, JobRow::embossed_3d, "Small");
    jobs().set_item_state(0, ui::kItemSelected, ui::kItemSelected);

    cycles(1);
    std::vector<std::string> row;
    for (int c = 0; c < JobRow::kColumnCount; ++c) {
        row.push_back(jobs().item_text(0, c));
    }
    EXPECT_EQ(row, (std::vector<std::string>{path, "Wait", "Color-KCMY", "11.8111\" x 19.6847\"",
                                             "2026-03-04 05:06:07", "1", "720 x 720 dpi", "Small",
                                             "BiDirection"}));
    EXPECT_TRUE(pending().empty());
    EXPECT_EQ(g_pending_job_count, 0);
    EXPECT_EQ(printing().item_count(), 0);  // automatic sending is off
    for (int id : {engine::IDC_SAVE_BUTTON, engine::IDC_PRINT_BUTTON, engine::IDC_DELETE_BUTTON,
                   engine::IDC_PREVIEW_BUTTON}) {
        EXPECT_EQ(window_.button_enabled(id), true) << id;
    }
    EXPECT_EQ(window_.button_enabled(engine::IDC_REMOVE_BUTTON), false);
}

TEST_F(JobAnalyserTest, ButtonsAreLeftAloneUnlessTheSelectedRowReadsWait) {
    queue(write_job("short.prn", a3_header(), 999));
    jobs().set_item_state(0, ui::kItemSelected, ui::kItemSelected);
    queue(write_job("b.prn", a3_header()));  // "Wait", but not the selected row
    cycles(2);
    EXPECT_EQ(states(), (std::vector<std::string>{"Error", "Wait"}));
    EXPECT_FALSE(window_.button_enabled(engine::IDC_PRINT_BUTTON));
    EXPECT_FALSE(window_.button_enabled(engine::IDC_REMOVE_BUTTON));
}

TEST_F(JobAnalyserTest, ShortFileGetsTheErrorCellsAndIsNeverSent) {
    auto_send_from_next_cycle();
    const std::string path = write_job("short.prn", a3_header(8504, 0), 999);
    queue(path);
    jobs().set_item_text(0, JobRow::embossed_3d, "Big");
    cycles(1);
    std::vector<std::string> row;
    for (int c = 0; c < JobRow::kColumnCount; ++c) {
        row.push_back(jobs().item_text(0, c));
    }
    EXPECT_EQ(row, (std::vector<std::string>{path, "Error", "File format Error", "Unknow", "Unknow",
                                             "1", "Unknow", "N/A", "UniDirection"}));
    EXPECT_EQ(printing().item_count(), 0);
}

// A pipe, a device, or a link that leads nowhere or round in a loop never becomes a print file:
// it is not waited for, and its row reads as a file that cannot be read, at once.
TEST_F(JobAnalyserTest, WhatCanNeverBeAPrintFileIsAnErrorAtOnce) {
    auto_send_from_next_cycle();
    const std::filesystem::path pipe = dir_ / "pipe.prn";
    test_support::make_fifo(pipe);
    std::filesystem::create_symlink("/dev/null", dir_ / "device.prn");
    std::filesystem::create_symlink(dir_ / "nowhere", dir_ / "dangling.prn");
    std::filesystem::create_symlink(dir_ / "loop.prn", dir_ / "loop.prn");
    for (const char* name : {"pipe.prn", "device.prn", "dangling.prn", "loop.prn"}) {
        queue((dir_ / name).string());
    }
    const std::string good = write_job("good.prn", a3_header());
    queue(good);
    cycles(5);
    EXPECT_EQ(states(),
              (std::vector<std::string>{"Error", "Error", "Error", "Error", "Ready to print"}));
    EXPECT_TRUE(pending().empty());
    EXPECT_EQ(g_pending_job_count, 0);
    std::vector<std::string> row;
    for (int c = 0; c < JobRow::kColumnCount; ++c) {
        row.push_back(jobs().item_text(0, c));
    }
    EXPECT_EQ(row, (std::vector<std::string>{pipe.string(), "Error", "File format Error", "Unknow",
                                             "Unknow", "1", "Unknow", "N/A", "UniDirection"}));
    EXPECT_EQ(printed(), std::vector<std::string>{good});
}

// A print file the operator may not read, or one in a folder the operator may list but not
// enter, is no file anybody is still writing: it is an error at once, and later jobs are not
// held up. Root reads everything, so root plays the operator ("nobody") in a child that runs
// the cycles; any other user is refused by the rights as they stand.
TEST_F(JobAnalyserTest, AFileTheOperatorCannotReadIsAnErrorAtOnce) {
    // Written while the job folder's writes are watched, as the program watches them from its
    // start: the one the operator may read is closed by its writer, another account here, so it
    // is taken at once, although the operator cannot look into that account's processes.
    const std::shared_ptr<platform::WriteWatch> writes = platform::WriteWatch::create();
    ASSERT_TRUE(writes && writes->watch_tree(dir_.path()));
    g_job_folder_writes.store(writes);
    JobAnalyser analyser;
    const std::string unreadable = write_job("unreadable.prn", a3_header());
    std::filesystem::create_directory(dir_ / "closed");
    const std::string inside = write_job("closed/inside.prn", a3_header());
    const std::string good = write_job("good.prn", a3_header());
    for (const std::string& path : {unreadable, inside, good}) {
        queue(path);
    }
    ::chmod(dir_.path().c_str(), 0755);
    ::chmod(good.c_str(), 0644);
    ::chmod(unreadable.c_str(), 0);
    ::chmod((dir_ / "closed").c_str(), 0644);
    const auto analysed = [&] {
        for (int i = 0; i < 3; ++i) {
            analyser.run_cycle();
        }
        return states() == std::vector<std::string>{"Error", "Error", "Wait"} && pending().empty();
    };
    if (::geteuid() == 0) {
        // The cycles run on this thread in the child, which is the user-interface thread there.
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) {
                ::_exit(100);
            }
            ::_exit(analysed() ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    } else {
        ASSERT_TRUE(test_support::run_off_ui_thread([&] { analysed(); }));
        EXPECT_EQ(states(), (std::vector<std::string>{"Error", "Error", "Wait"}));
        EXPECT_TRUE(pending().empty());
    }
    ::chmod((dir_ / "closed").c_str(), 0755);
    ::chmod(unreadable.c_str(), 0644);
    g_job_folder_writes.store(nullptr);
}

TEST_F(JobAnalyserTest, AutomaticSendingTakesWidthsOf30To500AndAppendsThePrintingRow) {
    auto_send_from_next_cycle();
    struct Job {
        const char* name;
        std::uint32_t width_dots;
        std::size_t size;
        const char* state;
    };
    const Job jobs_in[] = {
        {"w29.prn", 823, 4096, "Wait"},
        {"w30.prn", 851, 4096, "Ready to print"},
        {"w500.prn", 14174, 4096, "Ready to print"},
        {"w501.prn", 14202, 4096, "Wait"},
        {"w502.prn", 14230, 4096, "Error"},
        {"short.prn", 8504, 999, "Error"},
    };
    std::vector<std::string> paths;
    for (const Job& j : jobs_in) {
        paths.push_back(write_job(j.name, a3_header(j.width_dots), j.size));
        queue(paths.back());
    }
    jobs().set_item_text(1, JobRow::copies, "3");  // the analyser writes "1" again
    jobs().set_item_text(2, JobRow::embossed_3d, "Middle");
    cycles(static_cast<int>(paths.size()));

    std::vector<std::string> expected_states;
    for (const Job& j : jobs_in) {
        expected_states.push_back(j.state);
    }
    EXPECT_EQ(states(), expected_states);
    ASSERT_EQ(printed(), (std::vector<std::string>{paths[1], paths[2]}));
    std::vector<std::string> second;
    for (int c = 0; c < PrintRow::kColumnCount; ++c) {
        second.push_back(printing().item_text(1, c));
    }
    EXPECT_EQ(second, (std::vector<std::string>{" 2", "Ready to print", paths[2],
                                                jobs().item_text(2, JobRow::output_size), "1", "0%",
                                                "Middle", "N/A", "Bi", "N/A", "N/A"}));
    // The sent rows were selected and focused, then unselected: the last keeps the focus.
    EXPECT_EQ(jobs().next_selected(), -1);
    EXPECT_EQ(jobs().item_state(2, ui::kItemFocused), ui::kItemFocused);
}

TEST_F(JobAnalyserTest, JobAlreadyInThePrintingListIsNotAppendedAgain) {
    auto_send_from_next_cycle();
    const std::string path = write_job("a.prn", a3_header());
    const std::string other = write_job("b.prn", a3_header());
    JobRowTexts by_hand;
    by_hand[JobRow::job_path] = path;
    append_print_row(printing(), by_hand);
    // The printing list compares letter case: this one is no match for b.prn.
    by_hand[JobRow::job_path] = (dir_ / "B.prn").string();
    append_print_row(printing(), by_hand);
    queue(path);
    queue(other);
    cycles(2);
    EXPECT_EQ(states(), (std::vector<std::string>{"Ready to print", "Ready to print"}));
    EXPECT_EQ(printed(), (std::vector<std::string>{path, (dir_ / "B.prn").string(), other}));
    EXPECT_EQ(printing().item_text(2, PrintRow::number), " 3");
}

TEST_F(JobAnalyserTest, AutoSendClockStartsSendingAfter20SecondsWithTheSettingAt0) {
    // In real time, so no stall of a busy machine between two cycles passes for the 20 s.
    platform::set_time_scale(1);
    g_print_job_set = 0;
    analyser_.clock().start_tick = platform::tick_count();
    queue(write_job("early.prn", a3_header()));
    cycles(1);
    EXPECT_EQ(states(), std::vector<std::string>{"Wait"});
    EXPECT_FALSE(analyser_.clock().auto_send);

    // The cycle that finds 20 s passed only measures them; its job still waits.
    analyser_.clock().start_tick = platform::tick_count() - kAutoSendDelayMs - 1;
    queue(write_job("measured.prn", a3_header()));
    cycles(1);
    EXPECT_GT(analyser_.clock().elapsed_ms, kAutoSendDelayMs);
    EXPECT_FALSE(analyser_.clock().auto_send);
    const std::uint32_t frozen = analyser_.clock().elapsed_ms;

    queue(write_job("sent.prn", a3_header()));
    cycles(1);
    EXPECT_TRUE(analyser_.clock().auto_send);
    EXPECT_EQ(analyser_.clock().elapsed_ms, frozen);
    EXPECT_EQ(states(), (std::vector<std::string>{"Wait", "Wait", "Ready to print"}));
    EXPECT_EQ(printing().item_count(), 1);

    // From then on the flag follows the setting.
    g_print_job_set = 1;
    queue(write_job("kept.prn", a3_header()));
    cycles(1);
    EXPECT_FALSE(analyser_.clock().auto_send);
    EXPECT_EQ(states().back(), "Wait");
    EXPECT_EQ(printing().item_count(), 1);
}

TEST_F(JobAnalyserTest, WithPrintJobSet1TheClockNeverRunsAndNothingIsSent) {
    analyser_.clock().start_tick = platform::tick_count() - 3 * kAutoSendDelayMs;
    queue(write_job("a.prn", a3_header()));
    queue(write_job("b.prn", a3_header()));
    cycles(3);
    EXPECT_EQ(analyser_.clock().elapsed_ms, 0u);
    EXPECT_EQ(states(), (std::vector<std::string>{"Wait", "Wait"}));
    EXPECT_EQ(printing().item_count(), 0);
}

TEST_F(JobAnalyserTest, FileHeldOpenForWritingStaysGeneratingUntilClosed) {
    const std::string path = write_job("held.prn", a3_header());
    queue(path);
    {
        std::ofstream writer(path, std::ios::binary | std::ios::app);
        ASSERT_TRUE(writer);
        cycles(3);
        EXPECT_EQ(states(), std::vector<std::string>{"Generating data......"});
        EXPECT_EQ(pending(), std::deque<std::string>{path});
        EXPECT_EQ(g_pending_job_count, 1);
    }
    cycles(1);
    EXPECT_EQ(states(), std::vector<std::string>{"Wait"});
    EXPECT_TRUE(pending().empty());
}

TEST_F(JobAnalyserTest, HeldFileGoesBehindLaterJobsAfterTheBoundAndALoneOneStaysFirst) {
    const std::string held = write_job("held.prn", a3_header());
    const std::string later = write_job("later.prn", a3_header());
    queue(held);
    queue(later);
    std::ofstream writer(held, std::ios::binary | std::ios::app);
    cycles(kStalledOpenTries - 1);
    EXPECT_EQ(pending(), (std::deque<std::string>{held, later}));
    cycles(1);
    EXPECT_EQ(pending(), (std::deque<std::string>{later, held}));
    EXPECT_EQ(g_pending_job_count, 2);
    cycles(1);
    EXPECT_EQ(states(), (std::vector<std::string>{"Generating data......", "Wait"}));

    // Alone, it keeps its place and is tried again.
    cycles(kStalledOpenTries + 5);
    EXPECT_EQ(pending(), std::deque<std::string>{held});
    EXPECT_EQ(g_pending_job_count, 1);
    writer.close();
    cycles(1);
    EXPECT_EQ(states(), (std::vector<std::string>{"Wait", "Wait"}));
}

TEST_F(JobAnalyserTest, PathOfAMissingFileIsDroppedAfterTheBound) {
    const std::string gone = (dir_ / "gone.prn").string();
    const std::string later = write_job("later.prn", a3_header());
    for (const bool alone : {false, true}) {
        SCOPED_TRACE(alone ? "alone" : "with a later job");
        reset_intake();
        jobs().delete_all_items();
        queue(gone);
        if (!alone) {
            queue(later);
        }
        cycles(kStalledOpenTries - 1);
        EXPECT_EQ(pending().front(), gone);
        cycles(1);
        EXPECT_EQ(pending(), alone ? std::deque<std::string>{} : std::deque<std::string>{later});
        EXPECT_EQ(g_pending_job_count, alone ? 0 : 1);
        // Its row waits for the file's removal to take it away.
        EXPECT_EQ(states().front(), "Generating data......");
    }
}

TEST_F(JobAnalyserTest, JobWhoseRowHasGoneIsDroppedAfterItsHeaderIsRead) {
    auto_send_from_next_cycle();
    append_pending_job(write_job("a.prn", a3_header()));
    cycles(1);
    EXPECT_TRUE(pending().empty());
    EXPECT_EQ(jobs().item_count(), 0);
    EXPECT_EQ(printing().item_count(), 0);
}

// A.PRN's row belongs to another file: a.prn, whose row went, fills and sends nothing.
TEST_F(JobAnalyserTest, ARowWhoseTitleDiffersOnlyInLetterCaseIsLeftAlone) {
    auto_send_from_next_cycle();
    const std::string path = write_job("a.prn", a3_header());
    jobs().insert_item(0, (dir_ / "A.PRN").string());
    jobs().set_item_text(0, JobRow::state, JobState::generating_data);
    append_pending_job(path);
    cycles(1);
    EXPECT_EQ(states(), std::vector<std::string>{"Generating data......"});
    EXPECT_EQ(jobs().item_text(0, JobRow::print_mode), "");
    EXPECT_TRUE(printed().empty());
    EXPECT_TRUE(pending().empty());
}

TEST_F(JobAnalyserTest, FilesThatDifferOnlyInLetterCaseFillTheirOwnRows) {
    queue(write_job("a.prn", a3_header()));
    queue(write_job("A.prn", a3_header(), 999));
    cycles(2);
    EXPECT_EQ(states(), (std::vector<std::string>{"Wait", "Error"}));
}

TEST_F(JobAnalyserTest, PrintDirectionSettingIsReadByPosition) {
    const std::string uni_header = write_job("uni.prn", a3_header(8504, 0));
    const std::string bi_header = write_job("bi.prn", a3_header(8504, 1));
    queue(uni_header);
    queue(bi_header);
    cycles(1);  // no settings file: the header decides
    for (const auto& entry : AllSettings::entries()) {
        const bool direction = entry.position == AllSettings::print_direction_set;
        ASSERT_TRUE(AllSettings::write(entry.key, direction ? "0" : "1"));
    }
    cycles(1);
    EXPECT_EQ(window_.column(jobs(), JobRow::print_direction),
              (std::vector<std::string>{"UniDirection", "UniDirection"}));
    ASSERT_TRUE(AllSettings::write(AllSettings::entry(AllSettings::print_direction_set).key, "1"));
    queue(uni_header);
    cycles(1);
    EXPECT_EQ(jobs().item_text(0, JobRow::print_direction), "BiDirection");
}

TEST_F(JobAnalyserTest, TheRoleAnalysesJobsAndEndsSoonAfterAStopWhileAJobIsHeld) {
    std::atomic<bool> ended{false};
    Monitoring_thread::set_role_body(WM_MT_UPDATE_JOB_INFO, [&](Monitoring_thread& t) {
        update_job_info(t);
        ended = true;
    });
    usb::sim::Bus bus;
    Monitoring_thread role(&bus);
    queue(write_job("a.prn", a3_header()));
    role.post(WM_MT_UPDATE_JOB_INFO);
    role.start();
    EXPECT_TRUE(test_support::pump_events_until([&] { return states().front() == "Wait"; }));

    // Queued while nothing else waits, so the role holds the lock without calling this thread.
    const std::string held = write_job("held.prn", a3_header());
    std::ofstream writer(held, std::ios::binary | std::ios::app);
    queue(held);
    platform::set_time_scale(1);  // real time: a busy machine's wake-up delay stays far inside
    const std::uint32_t stopped_at = platform::tick_count();
    role.request_stop();
    EXPECT_TRUE(test_support::pump_events_until([&] { return ended.load(); }));
    EXPECT_LT(platform::tick_count() - stopped_at, 1000u);
    Monitoring_thread::set_role_body(WM_MT_UPDATE_JOB_INFO, {});
    EXPECT_EQ(states().back(), "Generating data......");
}

TEST(JobAnalyserRepaint, TiersByWaitingJobs) {
    struct Case {
        std::int32_t waiting;
        std::uint32_t bound_ms;  // repainted once more than this passed; 0: at once
    };
    const Case cases[] = {{0, 0},     {1, 0},     {2, 1500},  {7, 1500},   {8, 3000},
                          {30, 3000}, {31, 3000}, {32, 5000}, {5000, 5000}};
    for (const Case& c : cases) {
        EXPECT_TRUE(repaint_due(c.waiting, c.bound_ms + 1)) << c.waiting;
        if (c.bound_ms == 0) {
            EXPECT_TRUE(repaint_due(c.waiting, 0)) << c.waiting;
        } else {
            EXPECT_FALSE(repaint_due(c.waiting, c.bound_ms)) << c.waiting;
        }
    }
}

TEST_F(JobAnalyserTest, RepaintIsHeldBackWhileManyJobsWait) {
    platform::set_time_scale(1);  // a cycle must stay well inside the 5 s of the top tier
    const std::string path = write_job("a.prn", a3_header());
    queue(path);
    for (int i = 0; i < 32; ++i) {
        append_pending_job(path);  // 32 left after the first is taken
    }
    const std::uint32_t before = platform::tick_count();
    analyser_.clock().last_repaint_tick = before;
    cycles(1);
    EXPECT_EQ(analyser_.clock().last_repaint_tick, before);

    reset_intake();
    append_pending_job(path);
    cycles(1);
    EXPECT_NE(analyser_.clock().last_repaint_tick, before);
}

}  // namespace
