// The main window's own frame on a real desktop: the window manager moves the frameless window
// when the caption band is dragged (not when it is maximised), and the caption's own buttons
// minimise and close it. The pointer is driven through the X server's test extension.

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
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

bool xdotool_installed() {
    return access("/usr/bin/xdotool", X_OK) == 0;
}

// Runs xdotool with these arguments and waits for it; true when it succeeded.
bool xdotool(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    std::string program = "/usr/bin/xdotool";
    argv.push_back(program.data());
    std::vector<std::string> copies = args;
    for (std::string& arg : copies) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

// A press of the left button at one point of the screen, a move to another, and the release,
// with the pauses of a hand.
void drag(int x, int y, int to_x, int to_y) {
    EXPECT_TRUE(xdotool({"mousemove", std::to_string(x), std::to_string(y)}));
    EXPECT_TRUE(xdotool({"mousedown", "1"}));
    usleep(200'000);
    EXPECT_TRUE(
        xdotool({"mousemove", std::to_string((x + to_x) / 2), std::to_string((y + to_y) / 2)}));
    usleep(100'000);
    EXPECT_TRUE(xdotool({"mousemove", std::to_string(to_x), std::to_string(to_y)}));
    usleep(200'000);
    EXPECT_TRUE(xdotool({"mouseup", "1"}));
}

void click(int x, int y) {
    EXPECT_TRUE(xdotool({"mousemove", std::to_string(x), std::to_string(y)}));
    usleep(100'000);
    EXPECT_TRUE(xdotool({"click", "1"}));
}

class MainWindowFrameDesktop : public ::testing::Test {
  protected:
    void SetUp() override {
        if (auto missing = XDesktop::missing(); !missing.empty()) {
            GTEST_SKIP() << missing;
        }
        if (!xdotool_installed()) {
            GTEST_SKIP() << "xdotool is not installed";
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
    drag(before.x + 150, before.y + 20, before.x + 250, before.y + 100);
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
    drag(before.x + 150, before.y + 20, before.x + 250, before.y + 100);
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
    click(minimise_x, minimise_y);
    EXPECT_TRUE(wait_until([&] { return desktop_->is_minimised(*window); }));
    EXPECT_TRUE(helper_running());

    ASSERT_TRUE(platform::show_window_normal(*window));
    ASSERT_TRUE(wait_until([&] { return !desktop_->is_minimised(*window); }));
    const auto [close_x, close_y] = centre(app::MainWindowFrame::close_rect_for(at.width));
    click(close_x, close_y);
    // The window's own close: here the end of its run, and of the program.
    EXPECT_TRUE(wait_until([&] { return !helper_running(); }));
}

}  // namespace
