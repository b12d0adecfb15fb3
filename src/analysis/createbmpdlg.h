#pragma once

#include <cstdint>
#include <string>

#include "platform/ui/dialog.h"

namespace platform::ui {
class ProgressBar;
}

// The output bitmap path and the print file of the next build, set by createbmpdlg::SetPaths.
extern std::string g_preview_bmp_path;
extern std::string g_preview_prn_path;

// The modal progress dialog that builds a job's preview bitmap. The caller stores the paths,
// runs it modally and, whatever happened, gets the end code 8 and loads whatever bitmap file
// is there. The build is started by a message the dialog posts to itself when it opens, and
// runs on a helper thread while the window shows the dialog and its progress and serves the
// workers' calls; no other command can start meanwhile.
class createbmpdlg : public platform::ui::Dialog {
  public:
    static constexpr int IDD_CREATE_PREVIEW = 261;
    static constexpr int IDC_PREVIEW_PROGRESS = 1019;
    static constexpr std::uint32_t WM_BUILD_PREVIEW = 0x481;  // WM_USER + 0x81
    static constexpr int kEndCode = 8;

    createbmpdlg();

    // Output bitmap path, input print-file path; called right before the dialog is opened.
    static void SetPaths(const std::string& bmp_path, const std::string& prn_path);

    bool OnInitDialog();
    // The whole build; ends the dialog with 8 on every path, after a box when it failed.
    void OnBuildPreview();

  protected:
    void on_init_dialog() override { OnInitDialog(); }
    // The build ends the dialog itself, always with 8; Esc, Cancel and Return do not cut it
    // short.
    void on_ok() override {}
    void on_cancel() override {}

  private:
    platform::ui::ProgressBar* progress_ = nullptr;
};
