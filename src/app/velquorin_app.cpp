#include "app/velquorin_app.h"

#include <QApplication>

#include <cstdio>
#include <memory>
#include <string>

#include "analysis/print_time_role.h"
#include "app/import_wait_dialog.h"
#include "app/single_instance.h"
#include "app/velquorin_dlg.h"
#include "app/window_system.h"
#include "jobs/job_intake_roles.h"

CvelquorinApp theApp;

bool CvelquorinApp::InitInstance(int& argc, char** argv) {
    // Before anything is made: without a window system the toolkit would abort the program.
    if (const std::string line = app::missing_display_line(argc, argv); !line.empty()) {
        std::fprintf(stderr, "%s\n", line.c_str());
        exit_status_ = app::kNoWindowSystemStatus;
        return false;
    }
    // The framework and the main window stay until the process ends: the worker threads run
    // to the end and may still be calling into the window, so nothing of it is taken down.
    // Made before the instance name is claimed, so that a window system the toolkit cannot
    // open after all ends the program with nothing of its own made.
    QApplication* application = app::open_application(argc, argv);
    (void)application;
    QApplication::setApplicationName("velquorin");
    // The main window hides to the tray; only the end of its run ends the program.
    QApplication::setQuitOnLastWindowClosed(false);

    // A later start only asks the running instance for its window and ends. When the name
    // cannot be claimed at all this is a first instance.
    const std::unique_ptr<app::SingleInstance> instance = app::SingleInstance::claim();
    if (!instance) {
        return false;
    }

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
