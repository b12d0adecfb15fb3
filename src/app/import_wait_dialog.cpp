#include "app/import_wait_dialog.h"

#include "app/app_globals.h"
#include "platform/ui/controls.h"

namespace {

namespace ui = platform::ui;

constexpr int kIdStatic = -1;

}  // namespace

mynewdlg2* g_wait_dialog = nullptr;

mynewdlg2::mynewdlg2() : Dialog("", ui::Size{300, 120}) {
    add<ui::Static>(kIdStatic, ui::Rect::from_size(20, 16, 260, 20), "Loading, please wait");
    add<ui::ProgressBar>(IDC_WAIT_PROGRESS, ui::Rect::from_size(20, 44, 260, 18));
    add<ui::Button>(IDC_WAIT_CANCEL, ui::Rect::from_size(110, 76, 80, 26), "Cancel");
    on_command(IDC_WAIT_CANCEL, [this] { OnBnClickedCancel(); });
}

bool mynewdlg2::OnInitDialog() {
    ended_before_close_ = false;
    if (close_pending_) {
        // The import copied its files before its wait opened: nothing is left to wait for.
        close_pending_ = false;
        end_dialog(ui::kIdCancel);
        return false;
    }
    auto* bar = control<ui::ProgressBar>(IDC_WAIT_PROGRESS);
    bar->set_range(0, 100);
    bar->set_pos(0);
    set_timer(ID_TIMER_WAIT_PROGRESS, 200);
    // The focus is not moved.
    return false;
}

void mynewdlg2::OnTimer(std::uint32_t id) {
    if (id != ID_TIMER_WAIT_PROGRESS) {
        return;
    }
    g_wait_progress += 1;
    control<ui::ProgressBar>(IDC_WAIT_PROGRESS)->set_pos(g_wait_progress);
    // No pause here: the user-interface thread serves the workers' calls on the job lists, and
    // a pause of its own on every step would hold up the print thread with them.
    if (g_wait_progress == 100) {
        g_wait_progress = 1;
    }
}

void mynewdlg2::OnBnClickedCancel() {
    g_import_abort = 1;
    kill_timer(ID_TIMER_WAIT_PROGRESS);
    end_before_close(ui::kIdCancel);
}

void mynewdlg2::on_cancel() {
    end_before_close(ui::kIdCancel);
}

void mynewdlg2::on_ok() {
    end_before_close(ui::kIdOk);
}

void mynewdlg2::end_before_close(int code) {
    ended_before_close_ = true;
    end_dialog(code);
}

void mynewdlg2::OnClose() {
    ui::ui_call([&] {
        if (in_modal_run()) {
            end_dialog(ui::kIdCancel);
        } else if (ended_before_close_) {
            // The late close of a wait the operator ended (Cancel after the last copy): it
            // must not end the next import's wait.
            ended_before_close_ = false;
        } else {
            close_pending_ = true;
        }
    });
}
