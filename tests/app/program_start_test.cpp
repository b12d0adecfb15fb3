// The velquorin program itself, started twice on one installed workstation: the later start
// hands over to the running one and ends at once.

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "app/single_instance.h"
#include "scoped_env.h"
#include "workstation_fixture.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr auto kPatience = std::chrono::seconds(30);  // only reached when something is wrong

pid_t start_program() {
    std::string program = VELQUORIN_PROGRAM;
    char* argv[] = {program.data(), nullptr};
    pid_t pid = -1;
    if (::posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, environ) != 0) {
        ADD_FAILURE() << "cannot start " << program;
        return -1;
    }
    return pid;
}

// The exit status once the process has ended; -1 when it runs on past the patience.
int wait_for_end(pid_t pid) {
    const auto deadline = Clock::now() + kPatience;
    while (Clock::now() < deadline) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
}

bool running(pid_t pid) {
    int status = 0;
    return ::waitpid(pid, &status, WNOHANG) == 0;
}

TEST(ProgramStart, ALaterStartHandsOverToTheRunningProgramAndEnds) {
    test_support::Workstation station;
    const fs::path runtime = station.system_drive().parent_path() / "run";
    fs::create_directory(runtime);
    ::chmod(runtime.c_str(), 0700);
    test_support::ScopedEnv runtime_dir("XDG_RUNTIME_DIR", runtime.c_str());
    test_support::ScopedEnv printer("VELQUORIN_PRINTER", "sim");
    test_support::ScopedEnv scale("VELQUORIN_TIME_SCALE", "50");
    test_support::ScopedEnv platform("QT_QPA_PLATFORM", "offscreen");

    const pid_t first = start_program();
    ASSERT_GT(first, 0);
    // Running once it listens and its start-up has made the output folder.
    const fs::path socket =
        runtime / (std::string(app::kInstanceName) + std::string(app::kSocketSuffix));
    const auto deadline = Clock::now() + kPatience;
    while (Clock::now() < deadline && running(first) &&
           !(fs::exists(socket) && fs::exists(station.system_drive() / "MTOutput"))) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_TRUE(running(first)) << "the first start ended";
    ASSERT_TRUE(fs::exists(socket));

    const pid_t second = start_program();
    ASSERT_GT(second, 0);
    EXPECT_EQ(wait_for_end(second), 0);
    EXPECT_TRUE(running(first));

    ::kill(first, SIGKILL);
    ::waitpid(first, nullptr, 0);
}

}  // namespace
