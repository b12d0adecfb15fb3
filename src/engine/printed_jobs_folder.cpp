#include "engine/printed_jobs_folder.h"

#include <ctime>

#include "platform/files.h"
#include "settings/program_globals.h"

namespace engine {

std::string local_date_text() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[16] = {};
    std::strftime(text, sizeof text, "%Y-%m-%d", &local);
    return text;
}

std::filesystem::path new_printed_jobs_folder() {
    const std::string date = local_date_text();
    for (int n = 0;; ++n) {
        const std::filesystem::path folder =
            std::filesystem::path(g_printed_folder) / (date + "-" + std::to_string(n));
        if (!platform::is_directory(folder)) {
            // The result is not looked at: a copy or move into a folder that is missing fails
            // and leaves the print file where it is.
            platform::create_folder(folder);
            return folder;
        }
    }
}

}  // namespace engine
