#pragma once

#include <string>
#include <string_view>

// Import copies print files the operator chooses into a new dated folder of the job folder,
// where the job-folder watch finds them; the copying runs on a worker of its own while the
// wait dialog shows.

// Today's local date as "%Y-%m-%d".
std::string import_date_text();

// The first folder job_folder/<date>-<n> (n formatted "%2d", so a blank before a single digit)
// whose name nothing in the job folder holds yet. A cancelled import keeps its folder, so its
// number is used up.
std::string import_folder(std::string_view job_folder, std::string_view date);

// Copies one chosen print file into the import's folder under its own name, replacing a file
// of that name. The file shows at its name only once it is whole: a copy cut off (Esc then
// Exit, a crash, a full disk) leaves no cut-short print file that the next start takes for a
// job. False when it could not be copied.
bool import_print_file(const std::string& source, const std::string& folder);
