// Import: one worker per click, and one at a time.

#include "app/import_command.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <ctime>
#include <filesystem>
#include <vector>

#include "app/app_globals.h"
#include "app/main_window_ids.h"
#include "app/velquorin_dlg.h"
#include "config/program_globals.h"
#include "engine/job_list_rows.h"
#include "jobs/job_intake.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/ui/file_dialog.h"
#include "platform/ui/message_box.h"

namespace {

namespace ui = platform::ui;

constexpr std::uint32_t kPauseAfterCopyMs = 200;

}  // namespace

std::string import_date_text() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d", &local);
    return text;
}

std::string import_folder(std::string_view job_folder, std::string_view date) {
    const std::string base = job_file_path(job_folder, date) + "-";
    for (int n = 0;; ++n) {
        // Any entry of the name is passed over, not only a folder: a file there would make
        // every copy of the import fail.
        const std::string folder = base + two_digit_number(n);
        if (!platform::exists(folder)) {
            return folder;
        }
    }
}

bool import_print_file(const std::string& source, const std::string& folder) {
    const std::string target =
        job_file_path(folder, std::filesystem::path(source).filename().string());
    // The copy puts its file in place without replacing anything: a file of the name (one of
    // the same name chosen from another folder) goes first, as the replacing copy would have it.
    if (platform::exists(target) && !platform::delete_file(target)) {
        return false;
    }
    return platform::copy_file_into_place(source, target);
}

void CvelquorinDlg::OnBnClickedImport() {
    // One import at a time: a second one would share the abort flag and the wait dialog.
    if (import_running_.exchange(true)) {
        return;
    }
    enable_control(IDC_IMPORT_BUTTON, false);
    // The worker before has ended all but its return.
    if (import_thread_.joinable()) {
        import_thread_.join();
    }
    import_thread_ = std::thread([this] { ImportThreadProc(this); });
}

void CvelquorinDlg::ImportThreadProc(CvelquorinDlg* window) {
    ui::FileDialogOptions options;
    options.title = "Import File";
    options.filters = {{"Postscript file(*.prn)", "*.prn"}};
    options.multiple_selection = true;
    options.overwrite_prompt = true;
    g_import_abort = 0;

    // Made before the dialog shows; it stays, empty, when the operator cancels.
    const std::string folder = import_folder(g_job_folder, import_date_text());
    std::vector<std::string> chosen;
    if (platform::create_folder(folder)) {
        chosen = ui::open_file_dialog(options);
    } else {
        ui::message_box("The import folder " + folder + " could not be created.");
    }

    bool stopped = false;
    std::string failed;
    if (!chosen.empty()) {
        window->post(WM_SHOW_WAIT_DIALOG);
        window->enable_control(IDC_IMPORT_BUTTON, false);
        for (const std::string& source : chosen) {
            if (g_import_abort != 0) {
                stopped = true;
                break;
            }
            if (!import_print_file(source, folder)) {
                failed += "\n" + source;
            }
            platform::sleep_ms(kPauseAfterCopyMs);
        }
    }
    window->enable_control(IDC_IMPORT_BUTTON, true);
    if (!chosen.empty() && !stopped) {
        window->post(WM_CLOSE_WAIT_DIALOG);
    }
    if (!failed.empty()) {
        ui::message_box("These files could not be imported:" + failed);
    }
    window->import_running_ = false;
}

void CvelquorinDlg::end_import() {
    g_import_abort = 1;
    while (import_running_) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    if (import_thread_.joinable()) {
        import_thread_.join();
    }
}
