#pragma once

#include <filesystem>

#include "config/program_globals.h"
#include "engine/step_settings.h"
#include "engine/virtual_print_settings.h"
#include "platform/clock.h"
#include "temp_dir.h"

namespace test_support {

// The folders the collector works on, as start-up makes them, in a folder of their own: the
// settings root with the nine hot folders and the eight layouts' settings files, and the spool
// folder. The program's pauses run 50 times faster while it lasts.
class CollectorFolders {
  public:
    CollectorFolders() : previous_scale_(platform::time_scale()) {
        platform::set_time_scale(50);
        g_settings_root = (dir_ / "settings").string();
        g_spool_folder = (dir_ / "IMAGESPOOL").string();
        std::filesystem::create_directories(g_settings_root);
        std::filesystem::create_directories(g_spool_folder);
        engine::create_virtual_hot_folders();
        engine::prepare_virtual_print_settings();
    }
    ~CollectorFolders() {
        g_settings_root.clear();
        g_spool_folder.clear();
        platform::set_time_scale(previous_scale_);
    }
    CollectorFolders(const CollectorFolders&) = delete;
    CollectorFolders& operator=(const CollectorFolders&) = delete;

    // The folder that holds them, for a test's own files beside them.
    const TempDir& dir() const { return dir_; }

  private:
    TempDir dir_;
    double previous_scale_;
};

}  // namespace test_support
