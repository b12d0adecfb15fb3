#pragma once

#include <cstdint>

#include "platform/ui/dialog.h"

// The wait dialog of an import: "Loading, please wait" over an endless bar, with a Cancel that
// stops the import between two files. The main window runs the one wait dialog, g_wait_dialog,
// modally when the import worker has its files (WM_SHOW_WAIT_DIALOG) and closes it through
// OnClose() when the worker has copied them all (WM_CLOSE_WAIT_DIALOG); the worker and the
// dialog meet only in g_import_abort.

// The wait bar's timer.
inline constexpr std::uint32_t ID_TIMER_WAIT_PROGRESS = 1;

class mynewdlg2 : public platform::ui::Dialog {
  public:
    static constexpr int IDD = 103;
    static constexpr int IDC_WAIT_CANCEL = 1000;
    static constexpr int IDC_WAIT_PROGRESS = 1019;

    mynewdlg2();

    // The bar from 0 and its timer; ends at once when its import's close came first.
    bool OnInitDialog();
    // One step of the endless bar.
    void OnTimer(std::uint32_t id);
    // Cancel (button 1000): the import stops before its next file.
    void OnBnClickedCancel();
    // The main window's close at the end of an import: ends the wait as cancelled, leaving
    // g_import_abort as it is. Callable from any thread.
    void OnClose();

  protected:
    void on_init_dialog() override { OnInitDialog(); }
    void on_timer(std::uint32_t id) override { OnTimer(id); }
    // Esc and Enter: the wait ends and the import goes on.
    void on_cancel() override;
    void on_ok() override;

  private:
    void end_before_close(int code);

    // The close of the import came before its wait opened: the wait ends as it opens.
    bool close_pending_ = false;
    // The operator ended the last wait before its import's close came; that close, should the
    // import still send it, finds no wait to end.
    bool ended_before_close_ = false;
};

// The one wait dialog, reused for every import. Built by the program's start after the
// user-interface framework and before the main window, and kept for the life of the process.
extern mynewdlg2* g_wait_dialog;
