#pragma once

#include <filesystem>
#include <string>

namespace engine {

// A new folder of the printed-jobs history for one printed copy: under g_printed_folder, the
// local date as "%Y-%m-%d", "-" and the first n (0, 1, 2, ...) whose folder is not an existing
// directory; the folder is created. The file keeps its name inside it.
std::filesystem::path new_printed_jobs_folder();

// The local date as "%Y-%m-%d".
std::string local_date_text();

}  // namespace engine
