#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "platform/ui/dialog.h"

namespace platform::ui {
class ListCtrl;
}

// The printed-jobs history: every print file the job printer filed under g_printed_folder,
// with its time. The operator deletes one or all of them, or reverts one into a new dated
// folder of the job folder, where it becomes a new job. The folder tree is the whole history;
// the dialog lists it once when it opens.

inline constexpr int IDD_PRINTED_LIST = 211;
inline constexpr int IDC_PRINTED_JOBS_LIST = 1021;
inline constexpr int IDC_PRINTED_DELETE = 1000;
inline constexpr int IDC_PRINTED_REVERT = 1007;
inline constexpr int IDC_PRINTED_DELETE_ALL = 1008;

// A folder of the tree whose last write is younger than this is left in place by the listing,
// even when empty: the job printer may have just made it and not yet moved its file in.
inline constexpr int kFreshFolderSeconds = 60;

class printedlist : public platform::ui::Dialog {
  public:
    // The list's columns: the archived print file's full path, and its last-write time.
    enum Column { job_title = 0, printed_time = 1 };

    printedlist();

    // Appends a row for every print file under `folder`, at any depth, cleaning as it goes:
    // empty sub-folders are removed (unless fresh), previews kept, every other entry deleted
    // (a file only once nothing writes it: a copy being filed is left to finish).
    // It opens no file and follows no link, so a pipe that bears a print file's name cannot
    // hold it and a link cannot lead it out of the tree.
    void ListPrintedFolder(const std::string& folder);
    // Empties `folder` (never following a link out of it), which itself stays. Returns the
    // entries that could not be deleted.
    std::vector<std::string> DeleteFolderTree(const std::string& folder);

    void OnBnClickedDelete();
    void OnBnClickedRevertToJob();
    void OnBnClickedDeleteAll();

    platform::ui::ListCtrl& list() const { return *list_; }

  protected:
    void on_init_dialog() override;

  private:
    void append_row(const std::string& path, const std::string& time);

    platform::ui::ListCtrl* list_ = nullptr;
    // The wall-clock second at which the current listing began.
    long long listing_started_ = 0;
};

// The file part of "Revert to JOB": the print file copied under its own name into a new dated
// folder of g_job_folder. The name holds nothing until the whole file is on the disk (a hidden
// temporary file in that folder, flushed, then put at the name without replacing anything), so
// a revert cut off at any moment leaves no cut-short print file for the next start to take as a
// job. False when it did not hold; no dated folder is then left behind.
bool revert_printed_job(const std::filesystem::path& path);

// What the main window's "Printed list" button does: runs the history modally in the grey of
// the program's dialogs, placed over `parent` when one is given; the result is not used.
void open_printed_list(platform::ui::Dialog* parent);
