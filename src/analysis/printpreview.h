#pragma once

#include <array>
#include <atomic>
#include <string>
#include <string_view>
#include <thread>

#include "platform/thread.h"
#include "platform/ui/dialog.h"

// The job shown by the preview dialog: bitmap path, print-file path, print mode, output size,
// date modified, resolution, direction, state. Slots 0 and 1 follow the job stepped to; the
// others keep what the dialog was opened with. Read and written on the user-interface thread
// only.
extern std::array<std::string, 8> g_preview_info;

// The bitmap beside a print file: the folder part as it is, the file name less its last four
// characters, then ".bmp" in the letter case of the print file's extension, letter for letter
// ("a.prn" gives "a.bmp", "a.PRN" "a.BMP", "a.Prn" "a.Bmp"), so that two jobs whose names
// differ only in that case never share one bitmap.
std::string preview_bitmap_path(std::string_view prn_path);

// Whether the bitmap at bmp_path shows the print file: it is there and not older than the
// print file. A bitmap older than its print file was made of an earlier file of that name (a
// job printed and filed leaves its bitmap behind, and a new job of the same name comes in), and
// counts as missing: it is built again.
bool preview_bitmap_current(const std::string& prn_path, const std::string& bmp_path);

// The preview dialog: one job of the job queue as a picture with its texts, stepping through
// the queue, Regenerate Preview and "Add to printing list". A watcher thread keeps the state
// buttons in step with the printing list while the dialog is open; it ends, and is waited
// for, when the dialog closes.
class printpreview : public platform::ui::Dialog {
  public:
    static constexpr int IDD_JOB_PREVIEW = 259;
    static constexpr int IDC_PREVIEW_PICTURE = 1053;
    static constexpr int IDC_PREVIEW_TITLE = 1056;
    static constexpr int IDC_PREVIEW_MODE = 1057;
    static constexpr int IDC_PREVIEW_RESOLUTION = 1058;
    static constexpr int IDC_PREVIEW_DATE = 1059;
    static constexpr int IDC_PREVIEW_DIRECTION = 1060;
    static constexpr int IDC_PREVIOUS_JOB = 1035;
    static constexpr int IDC_NEXT_JOB = 1011;
    static constexpr int IDC_REGENERATE_PREVIEW = 1000;
    static constexpr int IDC_ADD_TO_QUEUE = 1014;
    static constexpr int IDC_STATE_WAITING = 1015;
    static constexpr int IDC_STATE_PRINTING = 1016;
    // The watcher looks at the printing list this often (program time).
    static constexpr std::uint32_t kWatchPeriodMs = 2000;

    printpreview();
    ~printpreview() override;

    static void SetPreviewInfo(const std::string& bmp_path, const std::string& prn_path,
                               const std::string& print_mode, const std::string& output_size,
                               const std::string& date_modified, const std::string& resolution,
                               const std::string& direction, const std::string& state);

    bool OnInitDialog();
    void OnBnClickedRegeneratePreview();
    void OnBnClickedPrevious();
    void OnBnClickedNext();
    void OnBnClickedAddToQueue();
    void OnBnClickedCancel();

    // The watcher: every kWatchPeriodMs until its dialog's stop event, the state buttons from
    // the printing-list row of the job shown.
    static int WatchQueueThreadProc(printpreview* dialog);

  protected:
    void on_init_dialog() override { OnInitDialog(); }
    void on_cancel() override { OnBnClickedCancel(); }

  private:
    void step(int direction);
    void load_preview_picture(const std::string& bmp_path);
    // The buttons by a stored job-row state.
    void show_state_buttons(std::string_view state);
    // The buttons by the printing list: the job's row there, and whether it reads "Printing".
    void show_queue_buttons(bool queued, bool printing);
    void set_texts(const std::string& path, const std::string& mode, const std::string& resolution,
                   const std::string& date, const std::string& direction);
    void stop_watcher();

    platform::Event watch_stop_;
    std::atomic<bool> watcher_ended_{true};
    std::thread watcher_;
};
