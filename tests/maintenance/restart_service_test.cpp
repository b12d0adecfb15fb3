#include "maintenance/restart_service.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "designer_fixture.h"
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
    const struct {
        const char* title;
        bool asked_to_close;
    } cases[] = {
        // Ignores the close request and SIGTERM alike.
        {"NorvaxelRIP v9.0", true},
        // A window without the title text gets no request; the process is ended by its name.
        {"Some other title", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        ScopedEnv stubborn("VELQUORIN_STAND_IN_STUBBORN", "1");
        ScopedEnv title("VELQUORIN_STAND_IN_TITLE", c.title);
        fs::remove(record_);
        ASSERT_TRUE(maintenance::start_designer().started());
        std::optional<platform::RunningProcess> old;
        ASSERT_TRUE(wait_until([&] {
            const auto running = designers();
            if (running.size() == 1 && platform::top_level_windows().size() == 1) {
                old = running[0];
            }
            return old.has_value();
        }));

        test_support::MessageBoxRecorder boxes;
        const std::uint32_t spent = restart();
        EXPECT_EQ(boxes.texts(), Texts{"Service started"});
        EXPECT_EQ(record().find("close-request") != std::string::npos, c.asked_to_close);
        EXPECT_FALSE(still_running(*old));
        // The waits for the old copy run beside the bar's ten seconds and end within the
        // longer of the two; the slack (a second of real time) covers the desktop's and the
        // kernel's own pace, such as a killed process giving back its memory.
        EXPECT_LE(spent, std::max<std::uint32_t>(10000, maintenance::kCloseRequestWaitMs +
                                                            maintenance::kTerminateWaitMs +
                                                            maintenance::kKillWaitMs) +
                             10000);
        const auto now = designers();
        ASSERT_EQ(now.size(), 1u);
        EXPECT_NE(now[0], *old);
        DesignerFixture::TearDown();
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
