#include "jobs/job_intake.h"

#include <algorithm>
#include <cctype>

platform::RecursiveLock g_job_list_lock;
std::deque<HotFolderChange> g_hot_folder_changes;
HotFolderChange g_hot_folder_change;
std::deque<std::string> g_pending_job_paths;
std::atomic<std::int32_t> g_pending_job_count{0};
std::string g_deleted_job_path;

namespace {

// Mirrors the size of g_hot_folder_changes for the lock-free emptiness test.
std::atomic<std::size_t> g_change_count{0};

bool has_extension(std::string_view name, std::string_view lower_extension) {
    const std::string_view tail = name.size() >= lower_extension.size()
                                      ? name.substr(name.size() - lower_extension.size())
                                      : name;
    return std::equal(
        tail.begin(), tail.end(), lower_extension.begin(), lower_extension.end(),
        [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
}

void lower_pending_count() {
    std::int32_t count = g_pending_job_count.load();
    while (count > 0 && !g_pending_job_count.compare_exchange_weak(count, count - 1)) {
    }
}

}  // namespace

std::string job_file_path(std::string_view folder, std::string_view name) {
    std::string path(folder);
    if (!path.ends_with('/')) {
        path += '/';
    }
    path.append(name);
    return path;
}

bool has_prn_extension(std::string_view name) {
    return has_extension(name, ".prn");
}

bool has_bmp_extension(std::string_view name) {
    return has_extension(name, ".bmp");
}

bool has_pdf_extension(std::string_view name) {
    return has_extension(name, ".pdf");
}

void append_hot_folder_change(std::string_view path, std::string_view code) {
    std::lock_guard lock(g_job_list_lock);
    g_hot_folder_change.path.append(path);
    g_hot_folder_change.code.append(code);
    g_hot_folder_changes.push_back(g_hot_folder_change);
    g_change_count = g_hot_folder_changes.size();
    g_hot_folder_change = HotFolderChange{};
}

std::optional<HotFolderChange> take_hot_folder_change() {
    std::lock_guard lock(g_job_list_lock);
    if (g_hot_folder_changes.empty()) {
        return std::nullopt;
    }
    HotFolderChange change = std::move(g_hot_folder_changes.front());
    g_hot_folder_changes.pop_front();
    g_change_count = g_hot_folder_changes.size();
    return change;
}

bool hot_folder_changes_waiting() {
    return g_change_count.load() != 0;
}

void append_pending_job(const std::string& path) {
    std::lock_guard lock(g_job_list_lock);
    g_pending_job_paths.push_back(path);
    ++g_pending_job_count;
}

bool remove_pending_job(const std::string& path) {
    std::lock_guard lock(g_job_list_lock);
    const auto it = std::find(g_pending_job_paths.begin(), g_pending_job_paths.end(), path);
    if (it == g_pending_job_paths.end()) {
        return false;
    }
    g_pending_job_paths.erase(it);
    lower_pending_count();
    return true;
}

void pop_pending_job() {
    std::lock_guard lock(g_job_list_lock);
    if (g_pending_job_paths.empty()) {
        return;
    }
    g_pending_job_paths.pop_front();
    lower_pending_count();
}
