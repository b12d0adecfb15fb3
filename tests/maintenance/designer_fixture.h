#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "maintenance/layout_designer.h"
#include "scoped_env.h"
#include "temp_dir.h"
#include "x_desktop.h"

namespace test_support {

// A system drive of the test's own, with the stand-in designer installed as lytw.exe on demand
// and a record of what every copy of it was asked; every designer still running is ended when
// the test ends.
class DesignerFixture : public ::testing::Test {
  protected:
    void TearDown() override {
        if (auto left = platform::find_processes(maintenance::kDesignerProcessName)) {
            platform::terminate_processes(*left, 0, 5000);
        }
    }

    void install_stand_in() {
        std::filesystem::create_directories(maintenance::designer_path().parent_path());
        std::filesystem::copy_file(stand_in_designer_program(), maintenance::designer_path());
    }
    // Starts the X desktop; false (with the test marked skipped or failed) when there is none.
    bool start_desktop() {
        if (const auto missing = XDesktop::missing(); !missing.empty()) {
            skip_reason_ = missing;
            return false;
        }
        desktop_.emplace();
        const bool up = desktop_->start();
        EXPECT_TRUE(up) << desktop_->why();
        return up;
    }
    std::vector<platform::RunningProcess> designers() const {
        return platform::find_processes(maintenance::kDesignerProcessName)
            .value_or(std::vector<platform::RunningProcess>{});
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
    std::string record() const { return read_file(record_); }

    TempDir drive_;
    ScopedEnv drive_env_{"VELQUORIN_SYSTEM_DRIVE", drive_.path().c_str()};
    std::filesystem::path record_ = drive_ / "designer-record";
    ScopedEnv record_env_{"VELQUORIN_STAND_IN_RECORD", record_.c_str()};
    ScopedEnv polite_{"VELQUORIN_STAND_IN_STUBBORN", nullptr};
    std::optional<XDesktop> desktop_;
    std::string skip_reason_;
};

}  // namespace test_support

// Skips the test when this machine cannot have an X desktop; fails it when one should come up
// and does not.
#define START_DESKTOP_OR_SKIP()               \
    do {                                      \
        if (!start_desktop()) {               \
            if (!skip_reason_.empty()) {      \
                GTEST_SKIP() << skip_reason_; \
            }                                 \
            return;                           \
        }                                     \
    } while (0)
