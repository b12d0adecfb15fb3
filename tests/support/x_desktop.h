#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "scoped_env.h"

namespace test_support {

// A desktop of the test's own: an Xvfb server (1280 x 1024) on a free display with a window
// manager (openbox, which keeps the window list and honours the close, activate and move
// requests of other programs), a tray on request (trayer), and a pointer driven by xdotool.
// DISPLAY points at it while the object lives. Tests skip only when one of these programs is
// not installed; a server that is there but does not come up is a failure.
class XDesktop {
  public:
    // Why the desktop cannot exist on this machine; empty when it can.
    static std::string missing();

    XDesktop();
    ~XDesktop();
    XDesktop(const XDesktop&) = delete;
    XDesktop& operator=(const XDesktop&) = delete;

    // Starts the server and the window manager, each with a bounded wait. False (with why())
    // when either does not come up.
    bool start();
    const std::string& why() const { return why_; }
    const std::string& display() const { return display_; }

    struct Geometry {
        int x = 0;  // the window's top-left corner on the screen, frame included
        int y = 0;
        int width = 0;  // the window's own size
        int height = 0;
        int outer_width = 0;  // the size with the window manager's frame round it
        int outer_height = 0;
    };
    std::optional<Geometry> geometry(std::uint32_t window) const;
    // The window that has the focus by the window manager's word.
    std::uint32_t active_window() const;
    // Asks the window manager to minimise the window, as the caption's minimise box would.
    void minimise(std::uint32_t window) const;
    bool is_minimised(std::uint32_t window) const;
    // Mapped and viewable: false for a hidden or a minimised window.
    bool is_shown(std::uint32_t window) const;
    // Kept above the other windows by the window manager.
    bool is_kept_above(std::uint32_t window) const;

    // Starts a tray (a notification area) along the bottom edge; true once programs can put
    // their icons into it.
    bool start_tray();
    // Ends the tray, as a panel that crashes: the icons in it go with it.
    void stop_tray();

    // Runs xdotool with these arguments on this desktop; its output, or nothing when it failed.
    std::optional<std::string> xdotool(const std::vector<std::string>& args) const;
    // A click of a mouse button at a point of the screen.
    void click(int x, int y, int button = 1) const;
    // A press of the left button, a move and the release, with the pauses of a hand.
    void drag(int x, int y, int to_x, int to_y) const;

  private:
    pid_t server_ = -1;
    pid_t window_manager_ = -1;
    pid_t tray_ = -1;
    std::string display_;
    std::string why_;
    std::optional<ScopedEnv> display_env_;
};

// Makes and starts a desktop in `desktop`. Why this machine cannot have one; empty when it is up,
// and also when it should have come up and did not (a failure of the test says so).
std::string start_desktop_into(std::optional<XDesktop>& desktop);

// Runs until done() holds or timeout_ms of real time pass; returns done().
bool wait_until(const std::function<bool()>& done, int timeout_ms = 10000);

// The stand-in layout designer built with the tests (see stand_in_designer.cpp).
std::string stand_in_designer_program();

}  // namespace test_support

// In the body of a test whose fixture has `std::string start_desktop()` (empty when its desktop
// is up, else why this machine cannot have one): skips the test when the desktop cannot exist
// here, and ends it when the desktop should have come up and did not (a failure).
#define START_DESKTOP_OR_SKIP()                                      \
    do {                                                             \
        if (const std::string why = start_desktop(); !why.empty()) { \
            GTEST_SKIP() << why;                                     \
        }                                                            \
        if (HasFailure()) {                                          \
            return;                                                  \
        }                                                            \
    } while (0)
