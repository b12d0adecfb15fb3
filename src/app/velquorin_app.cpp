#include "app/velquorin_app.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "analysis/print_time_role.h"
#include "app/import_wait_dialog.h"
#include "app/single_instance.h"
#include "app/velquorin_dlg.h"
#include "jobs/job_intake_roles.h"
#include "platform/process.h"

CvelquorinApp theApp;

namespace {

bool env_set(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != 0;
}

// The one line said where the toolkit would find no X display to show the window on and end
// the program with an abort; empty where it will find one, or where it was told to use another
// platform (that platform then answers for itself).
std::string missing_display_line(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0) {
            return {};
        }
    }
    if (env_set("QT_QPA_PLATFORM")) {
        if (std::string_view(std::getenv("QT_QPA_PLATFORM")) != "xcb") {
            return {};
        }
    } else if (env_set("WAYLAND_DISPLAY") ||
               std::string_view(env_set("XDG_SESSION_TYPE") ? std::getenv("XDG_SESSION_TYPE")
                                                            : "") == "wayland") {
        return {};
    }
    if (platform::x_display_reachable()) {
        return {};
    }
    const std::string what =
        env_set("DISPLAY")
            ? "the X display " + std::string(std::getenv("DISPLAY")) + " cannot be reached"
            : std::string("no X display (DISPLAY is not set)");
    return "velquorin: cannot show the window: " + what +
           "; start it on the desktop, or with QT_QPA_PLATFORM=offscreen to run it without a "
           "window";
}

}  // namespace

bool CvelquorinApp::InitInstance(int& argc, char** argv) {
    // Before anything is made: without a display the toolkit would abort the program.
    if (const std::string line = missing_display_line(argc, argv); !line.empty()) {
        std::fprintf(stderr, "%s\n", line.c_str());
        exit_status_ = 1;
        return false;
    }

    // Before anything else is made: a later start only asks the running instance for its
    // window and ends. When the name cannot be claimed at all this is a first instance.
    const std::unique_ptr<app::SingleInstance> instance = app::SingleInstance::claim();
    if (!instance) {
        return false;
    }

    // The framework and the main window stay until the process ends: the worker threads run
    // to the end and may still be calling into the window, so nothing of it is taken down.
    auto* application = new QApplication(argc, argv);
    (void)application;
    QApplication::setApplicationName("velquorin");
    // The main window hides to the tray; only the end of its run ends the program.
    QApplication::setQuitOnLastWindowClosed(false);

    // The roles the main window's workers take up once it has started.
    install_job_intake_roles();
    install_analysis_roles();
    // The imports' one wait dialog, ready before the main window can start an import.
    g_wait_dialog = new mynewdlg2;
    auto* dialog = new CvelquorinDlg;
    instance->set_show_handler([dialog] { dialog->request_show(); });
    main_window_result_ = dialog->do_modal();
    // No later start reaches the window once its run has ended.
    instance->set_show_handler({});
    return false;
}
