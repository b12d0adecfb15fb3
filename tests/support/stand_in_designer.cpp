// A stand-in for the outside layout designer: opens one top-level window with the designer's
// title and waits. Environment:
//   VELQUORIN_STAND_IN_TITLE     the window title (default "NorvaxelRIP v9.0")
//   VELQUORIN_STAND_IN_STUBBORN  "1": ignores the window's close request and SIGTERM, as a hung
//                                designer would
//   VELQUORIN_STAND_IN_RECORD    a file to which it appends "started", one "arg <value>" line
//                                per argument, and "close-request" for each close request
#include <signal.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace {

void record(const std::string& line) {
    if (const char* file = std::getenv("VELQUORIN_STAND_IN_RECORD"); file != nullptr) {
        std::ofstream(file, std::ios::app) << line << "\n" << std::flush;
    }
}

xcb_atom_t atom(xcb_connection_t* connection, const char* name) {
    auto* reply = xcb_intern_atom_reply(
        connection,
        xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(std::strlen(name)), name),
        nullptr);
    const xcb_atom_t value = reply != nullptr ? reply->atom : XCB_NONE;
    std::free(reply);
    return value;
}

void set_text(xcb_connection_t* c, xcb_window_t w, xcb_atom_t property, xcb_atom_t type,
              const std::string& text) {
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, property, type, 8,
                        static_cast<std::uint32_t>(text.size()), text.data());
}

}  // namespace

int main(int argc, char** argv) {
    const char* stubborn_env = std::getenv("VELQUORIN_STAND_IN_STUBBORN");
    const bool stubborn = stubborn_env != nullptr && std::string(stubborn_env) == "1";
    if (stubborn) {
        signal(SIGTERM, SIG_IGN);
    }
    std::string started = "started";
    for (int i = 0; i < argc; ++i) {
        started += std::string("\narg ") + argv[i];
    }
    record(started);

    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c) != 0) {
        return 3;
    }
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_window_t window = xcb_generate_id(c);
    const std::uint32_t values[] = {screen->white_pixel, XCB_EVENT_MASK_STRUCTURE_NOTIFY};
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, screen->root, 10, 10, 400, 300, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                      XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK, values);

    const char* title_env = std::getenv("VELQUORIN_STAND_IN_TITLE");
    const std::string title = title_env != nullptr ? title_env : "NorvaxelRIP v9.0";
    set_text(c, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, title);
    set_text(c, window, atom(c, "_NET_WM_NAME"), atom(c, "UTF8_STRING"), title);
    const xcb_atom_t protocols = atom(c, "WM_PROTOCOLS");
    const xcb_atom_t delete_window = atom(c, "WM_DELETE_WINDOW");
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, protocols, XCB_ATOM_ATOM, 32, 1,
                        &delete_window);
    const std::uint32_t pid = static_cast<std::uint32_t>(getpid());
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, atom(c, "_NET_WM_PID"), XCB_ATOM_CARDINAL,
                        32, 1, &pid);
    xcb_map_window(c, window);
    xcb_flush(c);

    while (xcb_generic_event_t* event = xcb_wait_for_event(c)) {
        const bool close_request =
            (event->response_type & 0x7f) == XCB_CLIENT_MESSAGE &&
            reinterpret_cast<xcb_client_message_event_t*>(event)->data.data32[0] == delete_window;
        std::free(event);
        if (close_request) {
            record("close-request");
            if (!stubborn) {
                break;
            }
        }
    }
    xcb_disconnect(c);
    return 0;
}
