#include "app/startup_checks.h"

#include <optional>
#include <system_error>
#include <vector>

#include "app/single_instance.h"
#include "config/all_settings.h"
#include "config/program_globals.h"
#include "engine/step_settings.h"
#include "platform/file_handle.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/text_lines.h"
#include "platform/ui/message_box.h"

namespace app {
namespace {

constexpr std::string_view kHotfpathName = "hotfpath.ini";
constexpr std::string_view kPrintedFolderName = "RIPCM";

struct HotfpathLines {
    std::string spool_folder;
    std::string job_folder;
};

// A line longer than this names no folder (a path holds at most 4095 bytes): only its
// beginning is kept, which names none either.
constexpr std::size_t kMaxHotfpathLineBytes = 64 * 1024;

// Empty when the file does not open. Only a regular file opens: a folder or a pipe of that
// name does not, and nothing waits for a writer that never comes. Line ends are CR LF, LF or
// CR, and an editor's byte-order mark is not part of line 1; nothing else is trimmed. Read no
// further than its second line, and that within bounds, whatever the file holds.
std::optional<HotfpathLines> read_hotfpath(const std::filesystem::path& file) {
    const platform::FileHandle fd = platform::open_regular_file(file);
    if (!fd.is_open()) {
        return std::nullopt;
    }
    // A missing line leaves its folder empty.
    std::string lines[2];
    std::size_t line = 0;
    platform::TextLineReader reader(fd.get());
    std::string_view piece;
    bool ends_line = false;
    while (line < 2 && reader.next(piece, ends_line)) {
        std::string& text = lines[line];
        text.append(piece.substr(0, kMaxHotfpathLineBytes + 1 - text.size()));
        if (ends_line) {
            ++line;
        }
    }
    if (reader.failed()) {
        return std::nullopt;
    }
    return HotfpathLines{std::move(lines[0]), std::move(lines[1])};
}

// A folder named by a line: there, and named by bytes a path can hold. A NUL would end the
// name where the system reads it, so the test would see another folder than every job path
// built from the line.
bool folder_there(const std::string& folder) {
    return folder.find('\0') == std::string::npos && platform::exists(folder);
}

// The folder as the system finds it: links, "." and ".." followed.
std::filesystem::path resolved(const std::filesystem::path& folder) {
    std::error_code error;
    std::filesystem::path path = std::filesystem::weakly_canonical(folder, error);
    return error ? folder.lexically_normal() : path;
}

// Whether `folder` is `inner` or a folder above it.
bool is_or_holds(const std::filesystem::path& folder, const std::filesystem::path& inner) {
    const std::filesystem::path outer = resolved(folder);
    const std::filesystem::path path = resolved(inner);
    auto part = path.begin();
    for (const std::filesystem::path& name : outer) {
        if (name.empty()) {
            continue;  // the empty last name of a path ending in a separator
        }
        if (part == path.end() || *part != name) {
            return false;
        }
        ++part;
    }
    return true;
}

// The start-up scan deletes every file of the job folder tree that is not a print file or its
// preview. A job folder that is the root, the home folder, or holds the settings or the spool
// folder would lose the operator's files, the settings and the spooled PDFs; one that holds the
// system drive "hotfpath.ini", "MTOutput" and the designer's files; one that holds the instance
// folder (/tmp for /tmp/velquorin-<uid>) the running program's lock and socket; and one inside
// the settings root the files kept there (the virtual printers' settings and PDFs): it is
// refused.
bool job_folder_safe_to_scan(const std::string& job_folder) {
    for (const std::filesystem::path& kept :
         {std::filesystem::path("/"), platform::home_folder(), platform::system_drive(),
          std::filesystem::path(g_settings_root), std::filesystem::path(g_spool_folder),
          instance_folder_location()}) {
        if (!kept.empty() && is_or_holds(job_folder, kept)) {
            return false;
        }
    }
    return g_settings_root.empty() || !is_or_holds(g_settings_root, job_folder);
}

// The collector empties the hot folders into the spool folder: a spool folder among them would
// have it take its own output again every second and delete the settings files it wrote.
bool spool_folder_outside_hot_folders(const std::string& spool_folder) {
    return g_settings_root.empty() || !is_or_holds(std::filesystem::path(g_settings_root) /
                                                       std::string(engine::kVirtualHotFolder),
                                                   spool_folder);
}

std::string build_message() {
    set_settings_root();
    g_spool_folder.clear();
    g_job_folder.clear();
    g_printed_folder.clear();

    const std::filesystem::path hotfpath = hotfpath_file();
    const auto lines = read_hotfpath(hotfpath);
    if (!lines) {
        return std::string(kHotfpathNotFound);
    }
    g_spool_folder = lines->spool_folder;
    g_job_folder = lines->job_folder;
    // Every job path is the folder, a separator and the name: a separator the line ends with
    // would make the watcher's paths differ from the start-up scan's, and the removal of a job
    // found at start would then never find its row.
    while (g_job_folder.size() > 1 && g_job_folder.back() == '/') {
        g_job_folder.pop_back();
    }
    g_printed_folder = g_settings_dir + std::string(kPrintedFolderName);

    if (g_spool_folder.empty() || g_job_folder.empty() || g_printed_folder.empty()) {
        return std::string(kHotfpathConfigError);
    }

    std::string message;
    const auto append_line = [&message](std::string_view problem) {
        message.append(problem);
        message.push_back('\n');
    };
    if (!folder_there(g_job_folder)) {
        append_line(kJobFolderError);
    } else if (!job_folder_safe_to_scan(g_job_folder)) {
        append_line(job_folder_not_allowed(g_job_folder));
    }
    if (!folder_there(g_spool_folder)) {
        append_line(kSpoolFolderError);
    } else if (!spool_folder_outside_hot_folders(g_spool_folder)) {
        append_line(spool_folder_not_allowed(g_spool_folder));
    }
    if (!platform::exists(g_printed_folder)) {
        append_line(kPrintedFolderError);
    }
    // The configuration files are looked at only once every folder is there.
    if (message.empty()) {
        if (!platform::exists(AllSettings::path())) {
            append_line(kSettingFileError);
        }
        if (!platform::exists(hotfpath)) {
            append_line(kHotfpathGoneError);
        }
    }
    return message;
}

}  // namespace

std::string job_folder_not_allowed(std::string_view job_folder) {
    return std::string(kJobFolderNotAllowedStart) + std::string(job_folder) +
           std::string(kJobFolderNotAllowedEnd);
}

std::string spool_folder_not_allowed(std::string_view spool_folder) {
    return std::string(kSpoolFolderNotAllowedStart) + std::string(spool_folder) +
           std::string(kSpoolFolderNotAllowedEnd);
}

std::filesystem::path hotfpath_file() {
    return platform::system_drive() / std::string(kHotfpathName);
}

void set_settings_root() {
    // Linux has no short names: the long path is the root. An empty data folder leaves the
    // root as a separator and the model folder, as an unresolvable one does.
    std::string data = platform::local_app_data().string();
    while (!data.empty() && data.back() == '/') {
        data.pop_back();
    }
    g_settings_root = data + "/" + std::string(::model_folder(g_printer_model));
    g_settings_dir = g_settings_root + "/";
}

StartupCheckResult check_workstation() {
    StartupCheckResult result{build_message()};
    if (!result.can_start()) {
        platform::ui::message_box(result.message, {}, platform::ui::Buttons::Ok);
    }
    return result;
}

}  // namespace app
