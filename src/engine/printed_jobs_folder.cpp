#include "engine/printed_jobs_folder.h"

#include <ctime>

#include "platform/files.h"

namespace engine {

std::string local_date_text() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[16] = {};
    std::strftime(text, sizeof text, "%Y-%m-%d", &local);
    return text;
}

std::optional<std::filesystem::path> new_dated_folder(const std::filesystem::path& parent) {
    const std::string date = local_date_text();
    for (int n = 0;; ++n) {
        const std::filesystem::path folder = parent / (date + "-" + std::to_string(n));
        if (!platform::is_directory(folder)) {
            if (!platform::create_folder(folder)) {
                return std::nullopt;
            }
            return folder;
        }
    }
}

bool put_into_new_dated_folder(
    const std::filesystem::path& parent, const std::filesystem::path& file,
    const std::function<bool(const std::filesystem::path&, const std::filesystem::path&)>& put) {
    const std::optional<std::filesystem::path> folder = new_dated_folder(parent);
    if (!folder) {
        return false;
    }
    if (put(file, *folder / file.filename())) {
        return true;
    }
    platform::remove_empty_folder(*folder);
    return false;
}

}  // namespace engine
