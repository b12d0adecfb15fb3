#include "maintenance/restart_service.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "designer_fixture.h"
#include "fifo.h"
#include "message_box_recorder.h"
#include "platform/clock.h"
#include "qt_application.h"

namespace {

namespace fs = std::filesystem;
using test_support::ScopedEnv;
using test_support::wait_until;
using Texts = std::vector<std::string>;

class RestartService : public test_support::DesignerFixture {
  protected:
    void SetUp() override { platform::set_time_scale(50); }
    void TearDown() override {
        DesignerFixture::TearDown();
        platform::set_time_scale(1);
    }

    // Runs the restart; the program time it took.
    std::uint32_t restart() {
        const std::uint32_t start = platform::tick_count();
        maintenance::restart_layout_program();
        return platform::tick_count() - start;
    }
    bool still_running(const platform::RunningProcess& old) const {
        const auto now = designers();
        return std::find(now.begin(), now.end(), old) != now.end();
    }

    test_support::QtApplication app_;
    test_support::MessageBoxRecorder boxes_;
};

TEST_F(RestartService, AMissingDesignerIsSaidAndNothingStarts) {
    const std::uint32_t spent = restart();
    EXPECT_EQ(boxes_.texts(), Texts{std::string(maintenance::kDesignerMissingText)});
    EXPECT_LT(spent, 1000u);  // no progress dialog
    EXPECT_TRUE(designers().empty());
}

TEST_F(RestartService, WithNoDesignerRunningANewOneStarts) {
    START_DESKTOP_OR_SKIP();
    install_stand_in();
    const std::uint32_t spent = restart();
    EXPECT_EQ(boxes_.texts(), Texts{"Service started"});
    EXPECT_GE(spent, 9000u);  // the bar's ten seconds (window timers may fire a little early)
    EXPECT_TRUE(one_designer_with_window());
}

TEST_F(RestartService, ARunningDesignerIsAskedToCloseAndReplaced) {
    START_DESKTOP_OR_SKIP();
    // Slow enough for the close request to travel to the designer within its wait.
    platform::set_time_scale(5);
    install_stand_in();
    ASSERT_TRUE(maintenance::start_designer().started());
    const auto old = one_designer_with_window();
    ASSERT_TRUE(old);

    restart();
    EXPECT_EQ(boxes_.texts(), Texts{"Service started"});
    EXPECT_NE(record().find("close-request\n"), std::string::npos);
    EXPECT_FALSE(still_running(*old));
    const auto replacement = one_designer_with_window();
    ASSERT_TRUE(replacement);
    EXPECT_NE(*replacement, *old);
}

TEST_F(RestartService, OneThatHangsIsStillReplacedWithinTheBounds) {
    START_DESKTOP_OR_SKIP();
    platform::set_time_scale(10);
    install_stand_in();
    // Ignores the close request and SIGTERM alike.
    ScopedEnv stubborn("VELQUORIN_STAND_IN_STUBBORN", "1");
    ASSERT_TRUE(maintenance::start_designer().started());
    const auto old = one_designer_with_window();
    ASSERT_TRUE(old);

    const std::uint32_t spent = restart();
    EXPECT_EQ(boxes_.texts(), Texts{"Service started"});
    EXPECT_NE(record().find("close-request"), std::string::npos);
    EXPECT_FALSE(still_running(*old));
    // The waits for the old copy run beside the bar's ten seconds and end within the longer of
    // the two; the slack (a second of real time) covers the desktop's and the kernel's own
    // pace, such as a killed process giving back its memory.
    EXPECT_LE(spent, std::max<std::uint32_t>(10000, maintenance::kCloseRequestWaitMs +
                                                        maintenance::kTerminateWaitMs +
                                                        maintenance::kKillWaitMs) +
                         10000);
    const auto now = designers();
    ASSERT_EQ(now.size(), 1u);
    EXPECT_NE(now[0], *old);
}

// Only the copy that owns the first window with the title is closed; a copy whose window lacks
// it, and a second copy, run on beside the new one, never asked to close.
TEST_F(RestartService, OnlyTheFirstDesignerWithTheTitleIsClosed) {
    START_DESKTOP_OR_SKIP();
    platform::set_time_scale(5);
    install_stand_in();
    struct Copy {
        const char* title;
        bool closed;
    };
    const struct {
        const char* name;
        std::vector<Copy> copies;
    } cases[] = {
        {"a copy without the title", {{"Some other title", false}}},
        {"a second copy", {{"NorvaxelRIP v9.0", true}, {"Untitled - NorvaxelRIP v9.0", false}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        struct Started {
            platform::RunningProcess process;
            fs::path record;
        };
        std::vector<Started> started;
        for (std::size_t i = 0; i < c.copies.size(); ++i) {
            const fs::path own_record = drive_ / ("record-" + std::to_string(i));
            ScopedEnv record("VELQUORIN_STAND_IN_RECORD", own_record.c_str());
            ScopedEnv title("VELQUORIN_STAND_IN_TITLE", c.copies[i].title);
            const auto start = maintenance::start_designer();
            ASSERT_TRUE(start.started());
            // Each window up before the next copy starts, so the window manager lists them in
            // this order.
            ASSERT_TRUE(window_comes_up(start.pid));
            const auto running = designers();
            const auto process = std::find_if(running.begin(), running.end(),
                                              [&](const auto& p) { return p.pid == start.pid; });
            ASSERT_NE(process, running.end());
            started.push_back({*process, own_record});
        }

        test_support::MessageBoxRecorder said;
        restart();
        EXPECT_EQ(said.texts(), Texts{"Service started"});
        std::size_t left = 0;
        for (std::size_t i = 0; i < started.size(); ++i) {
            SCOPED_TRACE(c.copies[i].title);
            EXPECT_EQ(still_running(started[i].process), !c.copies[i].closed);
            EXPECT_EQ(test_support::read_file(started[i].record).find("close-request") !=
                          std::string::npos,
                      c.copies[i].closed);
            left += c.copies[i].closed ? 0 : 1;
        }
        // The new copy beside those left alone.
        EXPECT_TRUE(wait_until([&] { return designers().size() == left + 1; }));
        DesignerFixture::TearDown();
        ASSERT_TRUE(wait_until([] { return platform::top_level_windows().empty(); }));
    }
}

// Only the operator's own designer, the program at the designer's path, is restarted: another
// account's "lytw.exe" and one of the operator's own from another folder, each with a window of
// the designer's title up first, run on, never asked to close.
TEST_F(RestartService, OnlyTheOperatorsOwnDesignerIsRestarted) {
    START_DESKTOP_OR_SKIP();
    platform::set_time_scale(5);
    install_stand_in();
    // The operator's own copy of the program, elsewhere.
    test_support::TempDir elsewhere;
    const fs::path elsewhere_program = elsewhere / "lytw.exe";
    fs::copy_file(test_support::stand_in_designer_program(), elsewhere_program);
    const fs::path elsewhere_record = elsewhere / "record";
    const std::unique_ptr<const fs::path, void (*)(const fs::path*)> end_elsewhere(
        &elsewhere.path(),
        [](const fs::path* folder) { test_support::end_processes_under(*folder); });
    platform::StartResult own_elsewhere;
    {
        ScopedEnv record("VELQUORIN_STAND_IN_RECORD", elsewhere_record.c_str());
        own_elsewhere = platform::start_process(elsewhere_program);
    }
    ASSERT_TRUE(own_elsewhere.started());
    ASSERT_TRUE(window_comes_up(own_elsewhere.pid)) << "the copy elsewhere opened no window";
    // Another account's, where this test may start one.
    const auto other = test_support::other_user();
    std::optional<test_support::OtherUsersDesigner> theirs;
    if (other) {
        theirs.emplace(*other, "NorvaxelRIP v9.0");
        ASSERT_TRUE(theirs->started().started());
        ASSERT_TRUE(window_comes_up(theirs->started().pid))
            << "the other user's copy opened no window";
    }
    const auto others_before = [&] {
        auto all = test_support::processes_under(elsewhere.path());
        if (theirs) {
            const auto their_copies = test_support::processes_under(theirs->folder());
            all.insert(all.end(), their_copies.begin(), their_copies.end());
        }
        return all;
    }();
    ASSERT_EQ(others_before.size(), theirs ? 2u : 1u);

    const auto started = maintenance::start_designer();
    ASSERT_TRUE(started.started());
    ASSERT_TRUE(window_comes_up(started.pid));
    const auto ours = one_designer_with_window();
    ASSERT_TRUE(ours);

    restart();
    EXPECT_EQ(boxes_.texts(), Texts{"Service started"});
    EXPECT_FALSE(still_running(*ours));
    EXPECT_NE(record().find("close-request"), std::string::npos);
    EXPECT_TRUE(one_designer_with_window());
    EXPECT_EQ(test_support::processes_under(elsewhere.path()).size(), 1u);
    EXPECT_EQ(test_support::read_file(elsewhere_record).find("close-request"), std::string::npos);
    if (theirs) {
        EXPECT_EQ(test_support::processes_under(theirs->folder()).size(), 1u);
        EXPECT_EQ(theirs->record().find("close-request"), std::string::npos);
    } else {
        GTEST_SKIP() << "only root can start a designer under another account; the copy "
                        "elsewhere was left alone";
    }
}

// Without a window to tell the designers apart none is ended; the operator is told, and the new
// copy is started as ever.
TEST_F(RestartService, WithoutADisplayNothingIsEndedAndThatIsSaid) {
    // A designer that needs no window: a copy of sleep under the designer's name.
    fs::create_directories(maintenance::designer_path().parent_path());
    fs::copy_file("/bin/sleep", maintenance::designer_path());
    ScopedEnv no_display("DISPLAY", nullptr);
    ASSERT_TRUE(
        platform::start_process(maintenance::designer_path(), {"lytw.exe", "30"}).started());
    ASSERT_TRUE(wait_until([&] { return designers().size() == 1; }));
    const auto old = designers()[0];

    restart();
    EXPECT_EQ(boxes_.texts(),
              (Texts{std::string(maintenance::kNoDisplayLeftRunningText), "Service started"}));
    EXPECT_TRUE(still_running(old));
}

// A pipe or a device at the designer's path is no program: the restart says it failed to start,
// and the window is never held up waiting on it.
TEST_F(RestartService, APipeOrADeviceAtTheDesignersPathNeverHoldsItUp) {
    fs::create_directories(maintenance::designer_path().parent_path());
    const struct {
        const char* name;
        std::function<void(const fs::path&)> make;
    } cases[] = {
        {"pipe", [](const fs::path& at) { test_support::make_fifo(at); }},
        {"device", [](const fs::path& at) { fs::create_symlink("/dev/zero", at); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(maintenance::designer_path());
        c.make(maintenance::designer_path());
        test_support::MessageBoxRecorder said;
        test_support::FifoGuard guard({maintenance::designer_path()});
        restart();
        EXPECT_FALSE(guard.released()) << "the restart waited on the pipe";
        EXPECT_EQ(said.texts(), Texts{"Failed to start"});
    }
}

TEST_F(RestartService, EscAndEnterWaitUntilTheNewCopysStartIsKnown) {
    START_DESKTOP_OR_SKIP();
    platform::set_time_scale(10);
    install_stand_in();
    ScopedEnv stubborn("VELQUORIN_STAND_IN_STUBBORN", "1");
    ASSERT_TRUE(maintenance::start_designer().started());
    const auto old = one_designer_with_window();
    ASSERT_TRUE(old);

    restart_service dialog;
    std::atomic<bool> stop = false;
    std::atomic<bool> stopped = false;
    std::thread keys([&] {
        for (int key = 0; !stop; ++key) {
            dialog.command(key % 2 == 0 ? platform::ui::kIdCancel : platform::ui::kIdOk);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        stopped = true;
    });
    const int code = dialog.do_modal();
    const bool old_still_running = still_running(*old);
    stop = true;
    test_support::pump_events_until([&] { return stopped.load(); });
    keys.join();

    // Dismissed early, as the operator may, but only once the old copy was gone and the new
    // one started: no work of the dialog outlives it.
    EXPECT_TRUE(code == platform::ui::kIdCancel || code == platform::ui::kIdOk);
    EXPECT_FALSE(old_still_running);
    EXPECT_TRUE(dialog.started());
}

TEST_F(RestartService, AFailedStartIsSaid) {
    // A Windows program with no wine to run it.
    fs::create_directories(maintenance::designer_path().parent_path());
    test_support::write_file(maintenance::designer_path(), "MZ");
    fs::permissions(maintenance::designer_path(), fs::perms::owner_all);
    ScopedEnv path("PATH", drive_.path().c_str());
    restart();
    EXPECT_EQ(boxes_.texts(), Texts{"Failed to start"});
}

}  // namespace
