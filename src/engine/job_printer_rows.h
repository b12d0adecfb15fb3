#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "engine/job_options.h"

// The job printer's work on the two lists and on the print file once it is printed. Every read
// and write goes to the job's own rows, found by its exact path in the same call on the
// user-interface thread: the synchroniser deletes rows when a job's file goes, the operator
// removes and reorders printing rows, and row 0 or an index taken in an earlier call may then
// be another job's. A row that is gone is read as empty and written nowhere.
namespace engine {

// The options the job printer takes from its printing row before it reads the settings file.
struct PrintRowOptions {
    std::string emboss;     // "3D Embossed"
    std::string direction;  // "PD"
};
// Read in one call; nothing when the job has no printing row.
std::optional<PrintRowOptions> read_print_row_options(const std::string& path);

std::string printing_cell(const std::string& path, int column);
void set_printing_cell(const std::string& path, int column, std::string_view text);
void delete_printing_row(const std::string& path);
void set_job_state(const std::string& path, std::string_view state);

// The printer is not ready: the printing row reads "Tabel/Media Out", the job row "Ready to
// print" unless it reads "Wait".
void show_media_out(const std::string& path);

// The moment the job commits to printing: in one call, both rows read "Printing" when the job
// still has its printing row and that row is the first. False when the row is gone (the
// operator took the job out of printing) or stands behind others (taken out and sent to
// printing again): nothing is changed and the job must not print now.
bool commit_job_rows(const std::string& path);

// The copies left on the job's printing row, read and counted down (or the row deleted after
// the last copy or a stop) in one call; 0 when the row is gone, which counts as the last copy.
int count_down_copies(const std::string& path, bool was_stopped);

// The job row and the print file after a print: a stopped job goes back to "Wait" or goes with
// its file, as "print cancel file set" says; between copies the row reads "Ready to print" and
// the file may be copied into the printed-jobs history; after the last copy the file is moved
// into the history (or deleted) and the row goes. A file that cannot be moved or deleted keeps
// its row, reading "Wait", and the operator is told which file it is: without its row it would
// be printed again at the next start. A job without a job row leaves its file where it is.
void file_printed_job(const std::string& path, bool was_stopped, int copies,
                      const JobSettings& settings);

}  // namespace engine
