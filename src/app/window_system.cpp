#include "app/window_system.h"

#include <QApplication>
#include <QMessageLogContext>
#include <QString>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string_view>
#include <vector>

#include "platform/process.h"

namespace app {
namespace {

std::string env_text(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

// The platform asked for by the argument or the environment; empty when none is.
std::string platform_asked_for(int argc, char** argv) {
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0) {
            return argv[i + 1];
        }
    }
    return env_text("QT_QPA_PLATFORM");
}

// True when every platform of a list such as "xcb" or "xcb:option=1;xcb" is X.
bool only_x(const std::string& platforms) {
    std::istringstream entries(platforms);
    bool any = false;
    for (std::string entry; std::getline(entries, entry, ';');) {
        if (entry.substr(0, entry.find(':')) != "xcb") {
            return false;
        }
        any = true;
    }
    return any;
}

// What the X display setting says: missing, or the display that cannot be reached.
std::string display_words() {
    const std::string display = env_text("DISPLAY");
    return display.empty() ? std::string("no X display (DISPLAY is not set)")
                           : "the X display " + display + " cannot be reached";
}

constexpr std::string_view kHowToRun =
    "; start it on the desktop, or with QT_QPA_PLATFORM=offscreen to run it without a window";

// One message of the toolkit's, held back while the window system is opened.
struct HeldMessage {
    QtMsgType type;
    std::string file;
    int line;
    std::string function;
    std::string category;
    QString text;
};
std::vector<HeldMessage>* g_held = nullptr;

void hold_message(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtFatalMsg) {
        // The toolkit would abort right after this message; the program ends here instead,
        // with its one line, before anything of its own has been made.
        std::fprintf(stderr, "%s\n", no_window_system_line().c_str());
        std::fflush(nullptr);
        std::_Exit(kNoWindowSystemStatus);
    }
    const auto text_of = [](const char* s) {
        return s != nullptr ? std::string(s) : std::string();
    };
    g_held->push_back(HeldMessage{type, text_of(context.file), context.line,
                                  text_of(context.function), text_of(context.category), text});
}

}  // namespace

std::string missing_display_line(int argc, char** argv) {
    const std::string asked = platform_asked_for(argc, argv);
    if (!asked.empty()) {
        if (!only_x(asked)) {
            return {};
        }
    } else if (!env_text("WAYLAND_DISPLAY").empty() || env_text("XDG_SESSION_TYPE") == "wayland") {
        // The toolkit tries the session's own window system first.
        return {};
    }
    if (platform::x_display_reachable()) {
        return {};
    }
    return "velquorin: cannot show the window: " + display_words() + std::string(kHowToRun);
}

std::string no_window_system_line() {
    std::string asked;
    for (const char* name : {"QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "XDG_SESSION_TYPE"}) {
        if (const std::string value = env_text(name); !value.empty()) {
            asked += ", " + std::string(name) + "=" + value;
        }
    }
    return "velquorin: cannot show the window: no window system it can use can be reached (" +
           display_words() + asked + ")" + std::string(kHowToRun);
}

QApplication* open_application(int& argc, char** argv) {
    std::vector<HeldMessage> held;
    g_held = &held;
    const QtMessageHandler previous = qInstallMessageHandler(hold_message);
    auto* application = new QApplication(argc, argv);
    qInstallMessageHandler(previous);
    g_held = nullptr;
    for (const HeldMessage& m : held) {
        if (previous != nullptr) {
            const QMessageLogContext context(m.file.empty() ? nullptr : m.file.c_str(), m.line,
                                             m.function.empty() ? nullptr : m.function.c_str(),
                                             m.category.empty() ? nullptr : m.category.c_str());
            previous(m.type, context, m.text);
        } else {
            std::fprintf(stderr, "%s\n", m.text.toLocal8Bit().constData());
        }
    }
    return application;
}

}  // namespace app
