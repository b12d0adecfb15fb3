#include "workstation_fixture.h"

#include "config/program_globals.h"
#include "jobs/hot_folder_watch.h"

namespace test_support {
namespace {

void reset_startup_globals() {
    g_settings_root.clear();
    g_settings_dir.clear();
    g_job_folder.clear();
    g_spool_folder.clear();
    g_printed_folder.clear();
    g_print_job_set = 1;
    g_rotary_mode = 0;
    // A fresh process has no job-folder watch yet: a port left by an earlier start-up would
    // make the next one show "mh IOCP error".
    hot_folder_watch_detail::reset();
}

}  // namespace

Workstation::Workstation()
    : root_(dir_.path()),
      data_home_("XDG_DATA_HOME", (root_ / "data").c_str()),
      drive_("VELQUORIN_SYSTEM_DRIVE", (root_ / "drive_c").c_str()) {
    for (const auto& folder :
         {system_drive(), settings_root(), printed_folder(), spool_folder(), job_folder()}) {
        std::filesystem::create_directories(folder);
    }
    write_file(hotfpath(), spool_folder().string() + "\r\n" + job_folder().string() + "\r\n");
    write_settings("1", "0");
    reset_startup_globals();
}

Workstation::~Workstation() {
    reset_startup_globals();
}

void Workstation::write_settings(const std::string& print_job_set,
                                 const std::string& print_media) const {
    write_file(settings_file(),
               "[overall situation]\r\n"
               "file print finish set=1\r\n"
               "print cancel file set=1\r\n"
               "feather set=2\r\n"
               "UV set=2\r\n"
               "Print_job_set=" +
                   print_job_set +
                   "\r\n"
                   "Channle 1=0\r\nChannle 2=1\r\nChannle 3=2\r\nChannle 4=3\r\n"
                   "Channle 5=4\r\nChannle 6=5\r\nChannle 7=6\r\nChannle 8=7\r\n"
                   "Print_direction_set=2\r\n"
                   "print_media=" +
                   print_media +
                   "\r\n"
                   "rotary_range=0\r\n"
                   "rotary_dimeter=\r\n"
                   "step_adjust=2\r\n");
}

}  // namespace test_support
