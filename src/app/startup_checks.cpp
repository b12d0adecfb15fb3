#include "app/startup_checks.h"

#include <fstream>

#include "platform/files.h"
#include "platform/paths.h"
#include "platform/ui/message_box.h"
#include "settings/all_settings.h"
#include "settings/program_globals.h"

namespace app {
namespace {

constexpr std::string_view kHotfpathName = "hotfpath.ini";
constexpr std::string_view kPrintedFolderName = "RIPCM";

struct HotfpathLines {
    std::string spool_folder;
    std::string job_folder;
};

// One line without its line end; the installed file ends its lines with CR LF, which a
// text-mode read turns into a plain line end. Nothing else is trimmed.
bool read_line(std::istream& in, std::string& line) {
    if (!std::getline(in, line)) {
        line.clear();
        return false;
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return true;
}

// Empty when the file does not open. A folder of that name does not open as a file.
std::optional<HotfpathLines> read_hotfpath(const std::filesystem::path& file) {
    if (platform::is_directory(file)) {
        return std::nullopt;
    }
    std::ifstream in(file, std::ios::binary);
    if (!in.is_open()) {
        return std::nullopt;
    }
    HotfpathLines lines;
    // A missing line leaves its folder empty.
    if (read_line(in, lines.spool_folder)) {
        read_line(in, lines.job_folder);
    }
    return lines;
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
    if (!platform::exists(g_job_folder)) {
        append_line(kJobFolderError);
    }
    if (!platform::exists(g_spool_folder)) {
        append_line(kSpoolFolderError);
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

std::string_view model_folder(std::string_view printer_model) {
    if (printer_model == "Orvel") {
        return "Orvel";
    }
    if (printer_model == "Q800X") {
        return "NorvaxelQ800X";
    }
    if (printer_model == "Vexa4") {
        return "NorvaxelVexa4";
    }
    return "NorvaxelQ400Ltx";
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
    g_settings_root = data + "/" + std::string(model_folder(g_printer_model));
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
