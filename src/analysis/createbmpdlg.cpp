#include "analysis/createbmpdlg.h"

#include "analysis/preview_builder.h"
#include "platform/ui/controls.h"
#include "platform/ui/message_box.h"
#include "platform/ui/ui_thread.h"

std::string g_preview_bmp_path;
std::string g_preview_prn_path;

namespace {
using platform::ui::Rect;
}  // namespace

createbmpdlg::createbmpdlg() : Dialog("Creat Preview Picture", {320, 110}) {
    add<platform::ui::Static>(-1, Rect::from_size(16, 14, 288, 20),
                              "Generating preview data, please wait");
    progress_ =
        &add<platform::ui::ProgressBar>(IDC_PREVIEW_PROGRESS, Rect::from_size(16, 40, 288, 18));
    add<platform::ui::Button>(platform::ui::kIdCancel, Rect::from_size(224, 72, 80, 26), "Cancel");
    on_message(WM_BUILD_PREVIEW, [this](std::uintptr_t, std::intptr_t) {
        OnBuildPreview();
        return std::intptr_t{0};
    });
}

void createbmpdlg::SetPaths(const std::string& bmp_path, const std::string& prn_path) {
    g_preview_bmp_path = bmp_path;
    g_preview_prn_path = prn_path;
}

bool createbmpdlg::OnInitDialog() {
    post(WM_BUILD_PREVIEW, 0, 0);
    return true;
}

void createbmpdlg::OnBuildPreview() {
    // The bar is set from the build's thread; each call is carried out by the window.
    PreviewProgress progress;
    progress.begin = [this](std::uint32_t rows) {
        progress_->show(true);
        progress_->set_range(0, static_cast<int>(rows));
        progress_->set_pos(0);
    };
    progress.row = [this](std::uint32_t row) { progress_->set_pos(static_cast<int>(row)); };
    // The largest job takes seconds to read: meanwhile the window paints this dialog and its
    // bar, and serves the workers' calls (the print thread's progress among them).
    PreviewResult result;
    platform::ui::run_on_helper_thread(
        [&] { result = write_preview_bitmap(g_preview_prn_path, g_preview_bmp_path, progress); });
    if (result.failure != PreviewFailure::None) {
        platform::ui::message_box(result.message);
    }
    end_dialog(kEndCode);
}
