#pragma once

#include <array>
#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "engine/main_window_access.h"
#include "platform/ui/bitmap.h"
#include "platform/ui/dialog.h"
#include "platform/ui/geometry.h"
#include "platform/ui/list_ctrl.h"
#include "platform/ui/tray_icon.h"

class MyListCtrl;
class cprocess;
class ascadd;
class printingset;
struct JobButtons;
class Monitoring_thread;

namespace platform::ui {
class Picture;
}
namespace app {
class WorkstationLock;
}

// The one main window. Its start-up decides whether the program runs at all: it settles the
// settings root and the folders, and on any problem shows one box and ends, so that nothing
// else starts. Otherwise it lays itself out over the whole work area, sets up both job lists,
// adds the tray icon, takes the two standing choices from the settings file, starts the
// job-folder watch and the six worker threads, and then runs until the tray menu's "Exit".
// The workers reach it through the main-window access it registers before they start.
class CvelquorinDlg : public platform::ui::Dialog, public engine::MainWindowAccess {
  public:
    static constexpr int IDD_VELQUORIN_DIALOG = 102;
    static constexpr int kWorkerCount = 6;

    CvelquorinDlg();
    ~CvelquorinDlg() override;

    // The base initialisation, the window's icon, then InitWorkstation. Runs at the start of
    // the modal run.
    bool OnInitDialog();
    // The whole start-up in its fixed order; ends the dialog itself when a check fails.
    void InitWorkstation();

    // The colours of a static: the two list titles on the window's grey; nothing (the
    // defaults) for every other control.
    struct ControlColours {
        platform::ui::Rgb text;
        platform::ui::Rgb background;
    };
    std::optional<ControlColours> OnCtlColor(int control_id) const;

    // A later start of the program asks for the window: shows it normally and in front, also
    // when it is hidden to the tray. Any thread; the window does it on its own thread.
    void request_show();

    MyListCtrl& job_queue_list() const { return *job_queue_; }
    cprocess& printing_list() const { return *printing_; }
    platform::ui::Picture& connection_picture() const { return *connection_picture_; }
    // The dialogs the commands open, kept with the window.
    ascadd& after_print_chooser() const { return *after_print_chooser_; }
    printingset& print_settings_dialog() const { return *print_settings_; }
    // True while the tray icon is in the desktop's tray (never where the desktop has none, nor
    // while a tray that went away has not come back).
    bool tray_icon_added() const { return tray_icon_.added(); }
    // The worker of a role by its place in the start order; null before the workers start.
    Monitoring_thread* worker(int index) const;

    // What the workers use: the two lists, the connection picture, the buttons, the label.
    platform::ui::ListCtrl* list(int id) override;
    void show_bitmap(int picture_id, int bitmap) override;
    void enable_button(int id, bool enabled) override;
    void set_control_text(int id, std::string_view text) override;

    // The operator's commands. Each runs to its end on the user-interface thread, except the
    // import, whose copying runs on a worker of its own.
    void OnBnClickedImport();
    void OnBnClickedSave();
    void OnBnClickedPrint();
    void OnBnClickedDelete();
    void OnBnClickedRemove();
    void OnBnClickedAfterPrintCommand();
    void OnJobMoveUp();
    void OnJobMoveDown();
    void OnJobSet();
    void OnBnClickedPreview();
    void OnJobPrintTimeEstimate();
    void OnJobInkCost();
    // The import's wait dialog, run in a nested modal loop until the worker closes it or its
    // Cancel stops the import.
    void OnShowWaitDialog();
    void OnCloseWaitDialog();
    // The import worker: the target folder, the file dialog, the copies.
    static void ImportThreadProc(CvelquorinDlg* window);
    // True from an Import click until its worker has ended.
    bool import_running() const { return import_running_; }

    // "New job": a running designer goes over the whole screen; a freshly started one too from
    // the button, and into a 900 x 600 window at (250, 80) from the tray menu.
    void OnBnClickedNewJob();
    void OnTrayNewJob();

    // Esc, the close box and the caption's close: the window hides (minimises where the desktop
    // has no tray, or its tray has gone); the program runs on.
    void OnBnClickedClose();
    // The tray icon: its left button shows or hides the window, its right button opens the
    // tray menu (a TrayMouse value).
    void OnTrayNotify(std::intptr_t mouse);
    // The tray menu at the pointer: About, Import..., New Job..., Setting, Auto boot, Exit.
    void OnTrayMenu();
    // "Auto boot": adds the program to the desktop session's autostart, or takes it out.
    void OnAutoBoot();
    // The check mark of "Auto boot": whether the autostart entry exists.
    bool OnUpdateAutoBoot() const;
    void OnAbout();
    // Shows the window normally and in front, also out of the minimised state; never on top.
    void bring_back();
    // Visible: shown normally or minimised, not hidden to the tray.
    bool shown_to_operator() const;

    // The lists' notifications.
    void OnLvnItemchangedJobQueue(const platform::ui::ItemChange& change);
    void OnLvnItemchangedPrinting(const platform::ui::ItemChange& change);
    void OnNMClickPrinting();
    void OnNMRClickJobQueue();

  protected:
    void on_init_dialog() override { OnInitDialog(); }
    // Enter does not end the program.
    void on_ok() override {}
    // Esc and the close box hide the window; only the tray menu's "Exit" ends the run.
    void on_cancel() override;

  private:
    void create_controls();
    void lay_out();
    void start_workers();
    void connect_commands();
    void connect_tray_commands();
    void start_or_raise_designer(const platform::ui::Rect& place_after_start);
    // The five job buttons as the selected job's state gives them; a state without an entry
    // ("Printing") leaves them as they are.
    void set_job_buttons(std::string_view state);
    void enable_job_buttons(const JobButtons& buttons);
    // A cell of the job queue changed: a new state of the selected row sets its buttons again.
    void OnJobQueueTextChanged(int item, int sub_item);
    void move_job(int step);
    // The first selected job row and its path; without one, the box the command shows then
    // (a caption for the boxes that have one) and nothing.
    struct SelectedJob {
        int row;
        std::string path;
    };
    std::optional<SelectedJob> selected_job(std::string_view none_text,
                                            std::string_view none_caption = {});
    // The selected job whose print file exists, for Preview and the estimates; the operator is
    // told when there is none or the file is gone.
    std::optional<SelectedJob> selected_job_file();
    // Waits, serving the workers' calls, until the import worker has ended.
    void end_import();

    // Ends a worker's role and the worker with it (only when the window itself goes, which
    // the program never does while it runs).
    struct WorkerDeleter {
        void operator()(Monitoring_thread* worker) const;
    };
    // Kept for the life of the window; the roles never end while the program runs.
    std::array<std::unique_ptr<Monitoring_thread, WorkerDeleter>, kWorkerCount> workers_;
    platform::ui::Bitmap icon_;
    platform::ui::TrayIcon tray_icon_;
    MyListCtrl* job_queue_ = nullptr;
    cprocess* printing_ = nullptr;
    platform::ui::Picture* connection_picture_ = nullptr;
    platform::ui::Picture* separator_ = nullptr;
    // The texts of the two list titles.
    std::string printing_label_text_;
    std::string job_queue_label_text_;
    std::unique_ptr<ascadd> after_print_chooser_;
    std::unique_ptr<printingset> print_settings_;
    // One import at a time: set by the click, cleared by its worker as its last step.
    std::atomic<bool> import_running_{false};
    std::thread import_thread_;
    // The settings root and the job folder, held from the start-up checks to the end.
    std::unique_ptr<app::WorkstationLock> workstation_lock_;
};
