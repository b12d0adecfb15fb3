// The window half of platform/process.h: top-level windows through the window manager's hints
// over X. Each call opens its own connection and closes it again, so the calls may come from
// any thread and a desktop that went away between two calls costs nothing but "not found".

#include <xcb/xcb.h>
#include <xcb/xcb_ewmh.h>

#include <cstdlib>
#include <memory>

#include "platform/process.h"

namespace platform {
namespace {

// Requests that come from a pager or task bar (the operator's own wish, relayed) are honoured by
// window managers even when focus-stealing prevention would refuse an application's request.
constexpr auto kSource = XCB_EWMH_CLIENT_SOURCE_TYPE_OTHER;

class Desktop {
  public:
    Desktop() {
        if (const char* display = std::getenv("DISPLAY"); display == nullptr || *display == 0) {
            return;
        }
        connection_ = xcb_connect(nullptr, &screen_);
        if (xcb_connection_has_error(connection_) != 0) {
            return;
        }
        xcb_intern_atom_cookie_t* cookies = xcb_ewmh_init_atoms(connection_, &ewmh_);
        if (xcb_ewmh_init_atoms_replies(&ewmh_, cookies, nullptr) == 0) {
            return;
        }
        ewmh_ready_ = true;
    }
    ~Desktop() {
        if (ewmh_ready_) {
            xcb_ewmh_connection_wipe(&ewmh_);
        }
        if (connection_ != nullptr) {
            xcb_disconnect(connection_);
        }
    }
    Desktop(const Desktop&) = delete;
    Desktop& operator=(const Desktop&) = delete;

    bool ready() const { return ewmh_ready_; }
    xcb_ewmh_connection_t* ewmh() { return &ewmh_; }
    xcb_connection_t* connection() { return connection_; }
    int screen() const { return screen_; }

    // True when the window still exists on this display.
    bool has_window(WindowId window) {
        auto* reply = xcb_get_window_attributes_reply(
            connection_, xcb_get_window_attributes(connection_, window), nullptr);
        std::free(reply);
        return reply != nullptr;
    }

    // Waits for one round trip, so every request sent before has reached the server (and the
    // window manager's messages are on their way) before the connection closes.
    void sync() {
        std::free(
            xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
    }

    // The widths of the frame that the window manager put round the window; none where it
    // put none or says nothing.
    xcb_ewmh_get_extents_reply_t frame_extents(WindowId window) {
        xcb_ewmh_get_extents_reply_t extents{};
        if (xcb_ewmh_get_frame_extents_reply(&ewmh_, xcb_ewmh_get_frame_extents(&ewmh_, window),
                                             &extents, nullptr) == 0) {
            return xcb_ewmh_get_extents_reply_t{};
        }
        return extents;
    }

    pid_t pid(WindowId window) {
        std::uint32_t pid = 0;
        if (xcb_ewmh_get_wm_pid_reply(&ewmh_, xcb_ewmh_get_wm_pid(&ewmh_, window), &pid, nullptr) ==
            0) {
            return 0;
        }
        return static_cast<pid_t>(pid);
    }

    std::string title(WindowId window) {
        xcb_ewmh_get_utf8_strings_reply_t name;
        if (xcb_ewmh_get_wm_name_reply(&ewmh_, xcb_ewmh_get_wm_name(&ewmh_, window), &name,
                                       nullptr) != 0) {
            std::string text(name.strings, name.strings_len);
            xcb_ewmh_get_utf8_strings_reply_wipe(&name);
            return text;
        }
        // A program that sets only the older title property.
        auto* reply =
            xcb_get_property_reply(connection_,
                                   xcb_get_property(connection_, 0, window, XCB_ATOM_WM_NAME,
                                                    XCB_GET_PROPERTY_TYPE_ANY, 0, 1024),
                                   nullptr);
        std::string text;
        if (reply != nullptr && reply->format == 8) {
            text.assign(static_cast<const char*>(xcb_get_property_value(reply)),
                        static_cast<std::size_t>(xcb_get_property_value_length(reply)));
        }
        std::free(reply);
        return text;
    }

  private:
    xcb_connection_t* connection_ = nullptr;
    int screen_ = 0;
    xcb_ewmh_connection_t ewmh_{};
    bool ewmh_ready_ = false;
};

}  // namespace

bool x_display_reachable() {
    return Desktop().ready();
}

std::vector<TopWindow> top_level_windows() {
    Desktop desktop;
    std::vector<TopWindow> windows;
    if (!desktop.ready()) {
        return windows;
    }
    // The window manager's list of the windows it manages; a desktop without a window manager
    // keeps none, and then nothing is found.
    xcb_ewmh_get_windows_reply_t clients;
    if (xcb_ewmh_get_client_list_reply(desktop.ewmh(),
                                       xcb_ewmh_get_client_list(desktop.ewmh(), desktop.screen()),
                                       &clients, nullptr) == 0) {
        return windows;
    }
    for (std::uint32_t i = 0; i < clients.windows_len; ++i) {
        const WindowId id = clients.windows[i];
        windows.push_back(TopWindow{id, desktop.title(id), desktop.pid(id)});
    }
    xcb_ewmh_get_windows_reply_wipe(&clients);
    return windows;
}

bool show_window_normal(WindowId window) {
    Desktop desktop;
    if (!desktop.ready() || !desktop.has_window(window)) {
        return false;
    }
    xcb_ewmh_connection_t* ewmh = desktop.ewmh();
    xcb_ewmh_request_change_wm_state(ewmh, desktop.screen(), window, XCB_EWMH_WM_STATE_REMOVE,
                                     ewmh->_NET_WM_STATE_MAXIMIZED_VERT,
                                     ewmh->_NET_WM_STATE_MAXIMIZED_HORZ, kSource);
    xcb_ewmh_request_change_wm_state(ewmh, desktop.screen(), window, XCB_EWMH_WM_STATE_REMOVE,
                                     ewmh->_NET_WM_STATE_FULLSCREEN, XCB_NONE, kSource);
    // Activation also brings a minimised window back.
    xcb_ewmh_request_change_active_window(ewmh, desktop.screen(), window, kSource, XCB_CURRENT_TIME,
                                          XCB_NONE);
    desktop.sync();
    return true;
}

bool place_window(WindowId window, int x, int y, int width, int height) {
    Desktop desktop;
    if (!desktop.ready() || !desktop.has_window(window) || width <= 0 || height <= 0) {
        return false;
    }
    // The rectangle is the window's outer one, frame included, as on a desktop whose windows
    // are placed and sized by their outer edges: the window itself gets what the frame leaves.
    // North-west gravity: (x, y) is where the frame's top-left corner goes.
    const xcb_ewmh_get_extents_reply_t frame = desktop.frame_extents(window);
    width -= static_cast<int>(frame.left + frame.right);
    height -= static_cast<int>(frame.top + frame.bottom);
    if (width <= 0 || height <= 0) {
        return false;
    }
    const auto flags = static_cast<xcb_ewmh_moveresize_window_opt_flags_t>(
        XCB_EWMH_MOVERESIZE_WINDOW_X | XCB_EWMH_MOVERESIZE_WINDOW_Y |
        XCB_EWMH_MOVERESIZE_WINDOW_WIDTH | XCB_EWMH_MOVERESIZE_WINDOW_HEIGHT);
    xcb_ewmh_request_moveresize_window(
        desktop.ewmh(), desktop.screen(), window, XCB_GRAVITY_NORTH_WEST, kSource, flags,
        static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y),
        static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height));
    desktop.sync();
    return true;
}

bool close_window(WindowId window) {
    Desktop desktop;
    if (!desktop.ready() || !desktop.has_window(window)) {
        return false;
    }
    xcb_ewmh_request_close_window(desktop.ewmh(), desktop.screen(), window, XCB_CURRENT_TIME,
                                  kSource);
    desktop.sync();
    return true;
}

}  // namespace platform
