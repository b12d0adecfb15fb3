#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "scoped_env.h"

namespace test_support {

// A desktop of the test's own: an Xvfb server on a free display with a window manager (openbox,
// which keeps the window list and honours the close, activate and move requests of other
// programs). DISPLAY points at it while the object lives. Tests skip only when Xvfb or the
// window manager is not installed; a server that is there but does not come up is a failure.
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
    };
    std::optional<Geometry> geometry(std::uint32_t window) const;
    // The window that has the focus by the window manager's word.
    std::uint32_t active_window() const;
    // Asks the window manager to minimise the window, as the caption's minimise box would.
    void minimise(std::uint32_t window) const;
    bool is_minimised(std::uint32_t window) const;

  private:
    pid_t server_ = -1;
    pid_t window_manager_ = -1;
    std::string display_;
    std::string why_;
    std::optional<ScopedEnv> display_env_;
};

// Runs until done() holds or timeout_ms of real time pass; returns done().
bool wait_until(const std::function<bool()>& done, int timeout_ms = 10000);

// The stand-in layout designer built with the tests (see stand_in_designer.cpp).
std::string stand_in_designer_program();

}  // namespace test_support
