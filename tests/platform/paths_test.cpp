#include "platform/paths.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "scoped_env.h"

namespace {

using test_support::ScopedEnv;

TEST(Paths, FoldersFollowTheEnvironment) {
    ScopedEnv home("HOME", "/home/op");
    {
        ScopedEnv data("XDG_DATA_HOME", nullptr);
        ScopedEnv drive("VELQUORIN_SYSTEM_DRIVE", nullptr);
        ScopedEnv config("XDG_CONFIG_HOME", nullptr);
        EXPECT_EQ(platform::local_app_data(), "/home/op/.local/share");
        EXPECT_EQ(platform::config_home(), "/home/op/.config");
        EXPECT_EQ(platform::system_drive(), "/home/op/.local/share/velquorin/drive_c");
    }
    {
        ScopedEnv data("XDG_DATA_HOME", "/data");
        ScopedEnv drive("VELQUORIN_SYSTEM_DRIVE", "/mnt/c");
        ScopedEnv config("XDG_CONFIG_HOME", "/cfg");
        EXPECT_EQ(platform::local_app_data(), "/data");
        EXPECT_EQ(platform::config_home(), "/cfg");
        EXPECT_EQ(platform::system_drive(), "/mnt/c");
    }
    {
        // A relative XDG value is ignored, as the XDG rules say.
        ScopedEnv data("XDG_DATA_HOME", "relative/share");
        EXPECT_EQ(platform::local_app_data(), "/home/op/.local/share");
    }
}

TEST(Paths, ProgramFolderHoldsTheRunningExecutable) {
    const auto folder = platform::program_folder();
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    EXPECT_TRUE(folder.is_absolute());
}

}  // namespace
