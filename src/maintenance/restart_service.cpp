#include "maintenance/restart_service.h"

#include "maintenance/layout_designer.h"
#include "platform/files.h"
#include "platform/ui/message_box.h"

namespace ui = platform::ui;

int g_restart_progress = 0;

namespace {

// Posted by the restart thread when the new copy's start is known.
constexpr std::uint32_t kRestartDoneMessage = 0x0401;

}  // namespace

restart_service::restart_service()
    : SecondsProgressDialog("Restart Service", "Restarting the service now , please wait......",
                            IDC_RESTART_PROGRESS, ID_TIMER_RESTART_PROGRESS, g_restart_progress,
                            9000) {
    on_message(kRestartDoneMessage, [this](std::uintptr_t, std::intptr_t) -> std::intptr_t {
        work_done_ = true;
        if (count_done_) {
            end_dialog(0);
        }
        return 0;
    });
}

restart_service::~restart_service() {
    if (worker_.joinable()) {
        worker_.join();
    }
}

void restart_service::on_init_dialog() {
    SecondsProgressDialog::on_init_dialog();
    if (!worker_.joinable()) {
        // The old copy goes first and the new one starts only when it is gone or its waits ran
        // out, so two designers never fight over their files.
        worker_ = std::thread([this] {
            old_copy_ = close_running_rip(maintenance::kDesignerProcessName);
            started_ = maintenance::start_designer().started();
            post(kRestartDoneMessage);
        });
    }
}

void restart_service::on_count_done() {
    // Ten seconds are up; a close that still runs its bounded waits is let finish first.
    count_done_ = true;
    if (work_done_) {
        end_dialog(0);
    }
}

void restart_service::on_ok() {
    if (work_done_) {
        end_dialog(ui::kIdOk);
    }
}

void restart_service::on_cancel() {
    if (work_done_) {
        end_dialog(ui::kIdCancel);
    }
}

namespace maintenance {

void restart_layout_program() {
    if (!platform::exists(designer_path())) {
        ui::message_box(kDesignerMissingText, {}, ui::Buttons::Ok);
        return;
    }
    restart_service dialog;
    dialog.set_background(ui::kDialogGrey);
    const int code = dialog.do_modal();
    if (dialog.old_copy() == RipCloseResult::NoDisplay) {
        ui::message_box(kNoDisplayLeftRunningText, {}, ui::Buttons::Ok);
    }
    // "Service started" only for a copy that did start; a failed start is said, not hidden.
    ui::message_box(code == 0 && dialog.started() ? kServiceStartedText : kServiceFailedText, {},
                    ui::Buttons::Ok);
}

}  // namespace maintenance
