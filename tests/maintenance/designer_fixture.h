#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "maintenance/layout_designer.h"
#include "scoped_env.h"
#include "temp_dir.h"
#include "test_processes.h"
#include "x_desktop.h"

namespace test_support {

// A system drive of the test's own, with the stand-in designer installed as lytw.exe on demand
// and a record of what every copy of it was asked; the copies started from there that still run
// are ended when the test ends. Designers of that name elsewhere on the machine are never
// counted or signalled.
class DesignerFixture : public ::testing::Test {
  protected:
    void TearDown() override { end_processes_under(drive_.path()); }

    void install_stand_in() {
        std::filesystem::create_directories(maintenance::designer_path().parent_path());
        std::filesystem::copy_file(stand_in_designer_program(), maintenance::designer_path());
    }
    // Starts the X desktop; why this machine cannot have one (empty when it is up, or when it
    // should have come up and a failure says it did not).
    std::string start_desktop() { return start_desktop_into(desktop_); }
    // The copies of the designer installed on this test's drive that run.
    std::vector<platform::RunningProcess> designers() const {
        return processes_under(drive_.path());
    }
    // Waits for exactly one running designer with its window up; its process.
    std::optional<platform::RunningProcess> one_designer_with_window() const {
        std::optional<platform::RunningProcess> found;
        wait_until([&] {
            const auto running = designers();
            if (running.size() == 1 && maintenance::find_designer_window()) {
                found = running[0];
            }
            return found.has_value();
        });
        return found;
    }
    // Waits until the process has a top-level window up; false when none came.
    static bool window_comes_up(pid_t pid) {
        return wait_until([&] {
            const auto windows = platform::top_level_windows();
            return std::any_of(windows.begin(), windows.end(),
                               [&](const platform::TopWindow& w) { return w.pid == pid; });
        });
    }
    std::string record() const { return read_file(record_); }

    TempDir drive_;
    ScopedEnv drive_env_{"VELQUORIN_SYSTEM_DRIVE", drive_.path().c_str()};
    std::filesystem::path record_ = drive_ / "designer-record";
    ScopedEnv record_env_{"VELQUORIN_STAND_IN_RECORD", record_.c_str()};
    ScopedEnv polite_{"VELQUORIN_STAND_IN_STUBBORN", nullptr};
    std::optional<XDesktop> desktop_;
};

}  // namespace test_support
