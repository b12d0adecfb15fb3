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
