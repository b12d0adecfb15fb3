#pragma once

#include <filesystem>
#include <string>
#include <string_view>

// What the main window settles before it lays itself out: the settings root, the folders named
// in "hotfpath.ini" on the system drive, and whether they and the two configuration files are
// there. Any problem is shown to the operator in one box listing all of them, and the main
// window then ends at once, so that the program ends with no list, tray icon, watch or worker
// thread started.
namespace app {

// The operator's texts of the checks, as the operator knows them.
inline constexpr std::string_view kHotfpathNotFound =
    "hotfpath config file not found, please reinstall the programe with administrator!";
inline constexpr std::string_view kHotfpathConfigError =
    "hotfpath file config error, please reinstall the programe with administrator!";
inline constexpr std::string_view kJobFolderError = "<Output folder error>";
// A job folder that must not be scanned: the root, the home folder, one that is or holds the
// system drive, the settings root, the spool folder or the instance folder, or one inside the
// settings root. The line names the folder between these two texts.
inline constexpr std::string_view kJobFolderNotAllowedStart = "<Output folder error: ";
inline constexpr std::string_view kJobFolderNotAllowedEnd =
    " is or holds the home, system drive, settings, spool or instance folder, or lies in the "
    "settings folder>";
inline constexpr std::string_view kSpoolFolderError = "<IMAGESPOOL folder error>";
// A spool folder inside the virtual printers' hot folders, where the collector would take its
// own output again: named between these two texts.
inline constexpr std::string_view kSpoolFolderNotAllowedStart = "<IMAGESPOOL folder error: ";
inline constexpr std::string_view kSpoolFolderNotAllowedEnd =
    " lies in the virtual printers' hot folders>";
inline constexpr std::string_view kPrintedFolderError = "<RIPCM folder error>";
inline constexpr std::string_view kSettingFileError = "<Setting file error>";
inline constexpr std::string_view kHotfpathGoneError =
    "<hotfpath config file not found, please reinstall the programe with administrator!>";

// The line of a job folder that must not be scanned, naming it.
std::string job_folder_not_allowed(std::string_view job_folder);
// The line of a spool folder inside the hot folders, naming it.
std::string spool_folder_not_allowed(std::string_view spool_folder);

// The end code of the main window when a check failed.
inline constexpr int kStartupFailedEndCode = 0;

// "C:\hotfpath.ini": line 1 the spool folder, line 2 the job folder. Comes with the
// installation; the program never writes it.
std::filesystem::path hotfpath_file();

// Sets g_settings_root (the local application-data folder, a separator and the model folder of
// g_printer_model, no trailing separator) and g_settings_dir (the root and a separator).
void set_settings_root();

struct StartupCheckResult {
    // The box's text exactly as shown; empty when everything is in place.
    std::string message;
    bool can_start() const { return message.empty(); }
};

// Sets the settings root, reads "hotfpath.ini" into g_spool_folder and g_job_folder, sets
// g_printed_folder, and checks, in the operator's order, the file, its two lines, the job
// folder (there, and not one whose scan would delete the operator's or the program's files),
// the spool folder (there, and not inside the hot folders the collector empties) and the
// printed-jobs folder and, only when those are all there, "all_setting.ini" and "hotfpath.ini"
// again. A non-empty message has been shown in one box (OK) when this returns;
// the caller then ends the main window with kStartupFailedEndCode and starts nothing else.
StartupCheckResult check_workstation();

}  // namespace app
