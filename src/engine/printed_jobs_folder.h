#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace engine {

// A new dated folder under `parent`: the local date as "%Y-%m-%d", "-" and the first n (0, 1,
// 2, ...) whose folder is not an existing directory; the folder is created. The job printer
// files each printed copy in one under g_printed_folder, and the history's Revert puts a job
// back in one under g_job_folder; the file keeps its name inside it. Nothing when the folder
// could not be created (the parent missing, a file of that name in the way).
std::optional<std::filesystem::path> new_dated_folder(const std::filesystem::path& parent);

// Puts `file` under its own name into a new dated folder under `parent` by `put` (from, to),
// which says whether it held. False when no folder could be made or `put` failed; no empty
// dated folder is then left behind.
bool put_into_new_dated_folder(
    const std::filesystem::path& parent, const std::filesystem::path& file,
    const std::function<bool(const std::filesystem::path&, const std::filesystem::path&)>& put);

// The local date as "%Y-%m-%d".
std::string local_date_text();

}  // namespace engine
