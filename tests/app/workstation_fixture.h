#pragma once

#include <filesystem>
#include <string>

#include "scoped_env.h"
#include "temp_dir.h"

namespace test_support {

// A workstation as installed, in a temporary folder: a system drive with "hotfpath.ini" naming
// a spool and a job folder, and a settings root (under a local application-data folder) with
// the printed-jobs folder and an "all_setting.ini". Each test removes or changes what it needs.
// Also resets the start-up globals, so each test sees them as a fresh process does.
class Workstation {
  public:
    Workstation();
    ~Workstation();
    Workstation(const Workstation&) = delete;
    Workstation& operator=(const Workstation&) = delete;

    std::filesystem::path system_drive() const { return root_ / "drive_c"; }
    std::filesystem::path hotfpath() const { return system_drive() / "hotfpath.ini"; }
    std::filesystem::path settings_root() const { return root_ / "data" / "NorvaxelQ800X"; }
    std::filesystem::path settings_file() const { return settings_root() / "all_setting.ini"; }
    std::filesystem::path printed_folder() const { return settings_root() / "RIPCM"; }
    std::filesystem::path spool_folder() const { return root_ / "IMAGESPOOL"; }
    std::filesystem::path job_folder() const { return root_ / "Output"; }

    // An "all_setting.ini" as installed, with the two start-up entries given.
    void write_settings(const std::string& print_job_set, const std::string& print_media) const;

  private:
    TempDir dir_;
    std::filesystem::path root_;
    ScopedEnv data_home_;
    ScopedEnv drive_;
};

}  // namespace test_support
