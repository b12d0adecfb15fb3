// The main window's own frame on a real desktop: the window manager moves the frameless window
// when the caption band is dragged (not when it is maximised), and the caption's own buttons
// minimise and close it.

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <optional>
#include <string>
#include <vector>

#include "app/main_window_frame.h"
#include "platform/clock.h"
#include "platform/process.h"
#include "scoped_env.h"
#include "x_desktop.h"

namespace {

using test_support::wait_until;
using test_support::XDesktop;

class MainWindowFrameDesktop : public ::testing::Test {
  protected:
    void SetUp() override {
        if (auto missing = XDesktop::missing(); !missing.empty()) {
            GTEST_SKIP() << missing;
        }
        desktop_.emplace();
        ASSERT_TRUE(desktop_->start()) << desktop_->why();
    }
    void TearDown() override {
        if (helper_ > 0) {
            kill(helper_, SIGKILL);
        }
    }

    // Starts the window (maximised or not) and returns it once it is on the desktop.
    std::optional<std::uint32_t> open(bool maximised) {
        std::vector<std::string> argv{VELQUORIN_FRAME_WINDOW_HELPER};
        if (maximised) {
            argv.push_back("maximised");
        }
        test_support::ScopedEnv xcb("QT_QPA_PLATFORM", "xcb");
        // The desktop's message-bus library that Qt loads on X keeps memory to the end.
        test_support::ScopedEnv no_leak_report("ASAN_OPTIONS", "detect_leaks=0");
        const auto started = platform::start_process(VELQUORIN_FRAME_WINDOW_HELPER, argv);
        EXPECT_TRUE(started.started()) << started.error;
        helper_ = started.pid;
        std::optional<std::uint32_t> found;
        wait_until([&] {
            for (const platform::TopWindow& window : platform::top_level_windows()) {
                if (window.title == "Frame test window") {
                    found = static_cast<std::uint32_t>(window.id);
                }
            }
            return found.has_value() && desktop_->geometry(*found).has_value();
        });
        return found;
    }
    XDesktop::Geometry geometry(std::uint32_t window) {
        return desktop_->geometry(window).value_or(XDesktop::Geometry{});
    }
    // The window's program is reaped as soon as it ends, so its pid is gone then.
    bool helper_running() const { return helper_ > 0 && kill(helper_, 0) == 0; }

    std::optional<XDesktop> desktop_;
    pid_t helper_ = -1;
};

TEST_F(MainWindowFrameDesktop, TheCaptionBandDragsTheWindowUnlessItIsMaximised) {
    const auto window = open(false);
    ASSERT_TRUE(window);
    const XDesktop::Geometry before = geometry(*window);
    // Frameless: the window's own size is all of it.
    EXPECT_EQ(before.width, 508);
    EXPECT_EQ(before.height, 369);
    desktop_->drag(before.x + 150, before.y + 20, before.x + 250, before.y + 100);
    EXPECT_TRUE(wait_until([&] {
        const XDesktop::Geometry now = geometry(*window);
        return now.x == before.x + 100 && now.y == before.y + 80;
    })) << geometry(*window).x
        << "," << geometry(*window).y;
}

TEST_F(MainWindowFrameDesktop, AMaximisedWindowStaysWhereItIs) {
    const auto window = open(true);
    ASSERT_TRUE(window);
    ASSERT_TRUE(wait_until([&] { return geometry(*window).width > 508; }));
    const XDesktop::Geometry before = geometry(*window);
    desktop_->drag(before.x + 150, before.y + 20, before.x + 250, before.y + 100);
    usleep(500'000);
    const XDesktop::Geometry after = geometry(*window);
    EXPECT_EQ(after.x, before.x);
    EXPECT_EQ(after.y, before.y);
}

TEST_F(MainWindowFrameDesktop, TheCaptionButtonsMinimiseAndClose) {
    const auto window = open(false);
    ASSERT_TRUE(window);
    const XDesktop::Geometry at = geometry(*window);
    const auto centre = [&](const platform::ui::Rect& rect) {
        return std::pair{at.x + rect.left + rect.width() / 2, at.y + rect.top + rect.height() / 2};
    };
    const auto [minimise_x, minimise_y] = centre(app::MainWindowFrame::minimise_rect_for(at.width));
    desktop_->click(minimise_x, minimise_y);
    EXPECT_TRUE(wait_until([&] { return desktop_->is_minimised(*window); }));
    EXPECT_TRUE(helper_running());

    ASSERT_TRUE(platform::show_window_normal(*window));
    ASSERT_TRUE(wait_until([&] { return !desktop_->is_minimised(*window); }));
    const auto [close_x, close_y] = centre(app::MainWindowFrame::close_rect_for(at.width));
    desktop_->click(close_x, close_y);
    // The window's own close: here the end of its run, and of the program.
    EXPECT_TRUE(wait_until([&] { return !helper_running(); }));
}

}  // namespace
