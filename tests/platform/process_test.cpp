#include "platform/process.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "scoped_env.h"
#include "temp_dir.h"
#include "test_processes.h"
#include "x_desktop.h"

namespace {

namespace fs = std::filesystem;
using test_support::ScopedEnv;
using test_support::TempDir;
using test_support::wait_until;

// A copy of sleep under a name no other test uses, so that a search by name finds only ours.
class Processes : public ::testing::Test {
  protected:
    void SetUp() override {
        name_ = "velq-" + dir_.path().filename().native().substr(15);
        sleeper_ = dir_ / name_;
        fs::copy_file("/bin/sleep", sleeper_);
    }
    void TearDown() override {
        if (auto left = platform::find_processes(name_)) {
            platform::terminate_processes(*left, 0, 5000);
        }
    }
    std::vector<platform::RunningProcess> find(const std::string& name) {
        auto found = platform::find_processes(name);
        EXPECT_TRUE(found.has_value());
        return found.value_or(std::vector<platform::RunningProcess>{});
    }

    TempDir dir_;
    std::string name_;
    fs::path sleeper_;
};

TEST_F(Processes, StartPassesTheArgumentVectorAsItStands) {
    ScopedEnv no_display("DISPLAY", nullptr);  // the stand-in records its arguments and ends
    const fs::path folder = dir_ / "Norvaxel RIP v9.0" / "D T P";
    fs::create_directories(folder);
    const fs::path program = folder / "lytw.exe";
    fs::copy_file(test_support::stand_in_designer_program(), program);
    const fs::path record = dir_ / "record";
    ScopedEnv record_env("VELQUORIN_STAND_IN_RECORD", record.c_str());

    const std::vector<std::string> argv = {program.native(), "two words", "\"quoted\" 'single'",
                                           "$HOME `id` $(id); rm -rf ~ | & >out", ""};
    const auto started = platform::start_process(program, argv);
    ASSERT_TRUE(started.started()) << started.error;
    std::string expected = "started\n";
    for (const auto& arg : argv) {
        expected += "arg " + arg + "\n";
    }
    EXPECT_TRUE(wait_until([&] { return test_support::read_file(record) == expected; }))
        << test_support::read_file(record);
    EXPECT_FALSE(fs::exists(dir_ / "out"));

    // Without an argument vector the program's path is its argv[0].
    fs::remove(record);
    ASSERT_TRUE(platform::start_process(program).started());
    EXPECT_TRUE(wait_until([&] {
        return test_support::read_file(record) == "started\narg " + program.native() + "\n";
    }));
}

TEST_F(Processes, AFailedStartIsReturned) {
    test_support::write_file(dir_ / "text", "echo this must never run\n");
    fs::permissions(dir_ / "text", fs::perms::owner_all);
    test_support::write_file(dir_ / "not-executable", "");
    const struct {
        fs::path program;
        int error;
    } cases[] = {
        {dir_ / "missing", ENOENT},
        {dir_ / "not-executable", EACCES},
        // No shell takes over a file the system cannot run.
        {dir_ / "text", ENOEXEC},
        {dir_.path(), EACCES},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.program);
        const auto result = platform::start_process(c.program);
        EXPECT_FALSE(result.started());
        EXPECT_EQ(result.error, c.error);
    }
}

TEST_F(Processes, FoundByTheExactNameOfTheirExecutable) {
    const auto direct = platform::start_process(sleeper_, {"anything", "30"});
    ASSERT_TRUE(direct.started());
    // A Windows program run through a loader: the loader is the executable, argv[0] names the
    // program by its Windows path.
    const fs::path loader = dir_ / "loader";
    fs::copy_file("/bin/sleep", loader);
    const std::string windows_name = name_ + "-designer.exe";
    const auto loaded =
        platform::start_process(loader, {"C:\\NorvaxelRIP v9.0\\DTP\\" + windows_name, "30"});
    ASSERT_TRUE(loaded.started());

    ASSERT_TRUE(
        wait_until([&] { return find(name_).size() == 1 && find(windows_name).size() == 1; }));
    EXPECT_EQ(find(name_)[0].pid, direct.pid);
    EXPECT_EQ(find(windows_name)[0].pid, loaded.pid);
    // Exact and case-sensitive; a longer name than the kernel's 15-character command name.
    EXPECT_GT(windows_name.size(), 15u);
    EXPECT_TRUE(find(name_.substr(0, name_.size() - 1)).empty());
    EXPECT_TRUE(find(windows_name.substr(0, 15)).empty());
    EXPECT_TRUE(find("VELQ" + name_.substr(4)).empty());

    // Ended processes are not listed, whether or not they were reaped yet.
    EXPECT_TRUE(platform::terminate_processes(find(name_), 5000, 5000));
    EXPECT_TRUE(find(name_).empty());
    EXPECT_TRUE(platform::terminate_processes(find(windows_name), 5000, 5000));
    EXPECT_TRUE(find(windows_name).empty());
}

TEST_F(Processes, OneThatIgnoresTerminationIsKilledAfterItsWait) {
    platform::set_time_scale(20);
    const std::string script = "trap '' TERM; exec '" + sleeper_.native() + "' 30";
    ASSERT_TRUE(platform::start_process("/bin/sh", {"sh", "-c", script}).started());
    ASSERT_TRUE(wait_until([&] { return find(name_).size() == 1; }));
    const auto stubborn = find(name_);

    EXPECT_FALSE(platform::wait_for_exit(stubborn, 200));
    const std::uint32_t start = platform::tick_count();
    EXPECT_TRUE(platform::terminate_processes(stubborn, 2000, 2000));
    const std::uint32_t spent = platform::tick_count() - start;
    EXPECT_GE(spent, 2000u);  // the polite wait ran out
    EXPECT_LT(spent, 4000u);
    EXPECT_TRUE(find(name_).empty());
    platform::set_time_scale(1);
}

TEST_F(Processes, OnlyThisUsersWhenAsked) {
    const auto other = test_support::other_user();
    if (!other) {
        GTEST_SKIP() << "only root can start a process under another account";
    }
    // The other user must reach the program.
    fs::permissions(dir_.path(),
                    fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec);
    const auto theirs = test_support::start_as(*other, sleeper_, {"30"});
    ASSERT_TRUE(theirs.started());
    const auto ours = platform::start_process(sleeper_, {name_, "30"});
    ASSERT_TRUE(ours.started());
    ASSERT_TRUE(wait_until([&] { return find(name_).size() == 2; }));
    const auto own = platform::find_processes(name_, platform::ProcessOwner::ThisUser);
    ASSERT_TRUE(own);
    ASSERT_EQ(own->size(), 1u);
    EXPECT_EQ((*own)[0].pid, ours.pid);
}

TEST_F(Processes, AReusedPidIsNeverSignalled) {
    ASSERT_TRUE(platform::start_process(sleeper_, {name_, "30"}).started());
    ASSERT_TRUE(wait_until([&] { return find(name_).size() == 1; }));
    auto other = find(name_)[0];
    // The same pid with another start time is another process: the one searched for has ended,
    // and the one now holding the pid is left alone.
    ++other.start_time;
    EXPECT_TRUE(platform::terminate_processes({other}, 0, 0));
    EXPECT_TRUE(platform::wait_for_exit({other}, 0));
    EXPECT_EQ(find(name_).size(), 1u);
}

TEST(ProcessWindows, NothingIsFoundWithoutADisplay) {
    ScopedEnv no_display("DISPLAY", nullptr);
    EXPECT_FALSE(platform::x_display_reachable());
    EXPECT_TRUE(platform::top_level_windows().empty());
    EXPECT_FALSE(platform::show_window_normal(1));
    EXPECT_FALSE(platform::place_window(1, 0, 0, 100, 100));
    EXPECT_FALSE(platform::close_window(1));
    ScopedEnv dead_display("DISPLAY", ":999");
    EXPECT_FALSE(platform::x_display_reachable());
    EXPECT_TRUE(platform::top_level_windows().empty());
    EXPECT_FALSE(platform::close_window(1));
}

TEST(ProcessWindows, FoundByTitleShownPlacedAndClosed) {
    if (const auto missing = test_support::XDesktop::missing(); !missing.empty()) {
        GTEST_SKIP() << missing;
    }
    test_support::XDesktop desktop;
    ASSERT_TRUE(desktop.start()) << desktop.why();
    TempDir dir;
    const fs::path record = dir / "record";
    ScopedEnv record_env("VELQUORIN_STAND_IN_RECORD", record.c_str());
    const auto started = platform::start_process(test_support::stand_in_designer_program());
    ASSERT_TRUE(started.started());

    EXPECT_TRUE(platform::x_display_reachable());
    platform::WindowId window = 0;
    ASSERT_TRUE(wait_until([&] {
        for (const auto& w : platform::top_level_windows()) {
            if (w.title == "NorvaxelRIP v9.0") {
                window = w.id;
                // The window says which process it belongs to.
                EXPECT_EQ(w.pid, started.pid);
            }
        }
        return window != 0;
    }));

    desktop.minimise(window);
    ASSERT_TRUE(wait_until([&] { return desktop.is_minimised(window); }));
    EXPECT_TRUE(platform::show_window_normal(window));
    EXPECT_TRUE(wait_until(
        [&] { return !desktop.is_minimised(window) && desktop.active_window() == window; }));

    EXPECT_TRUE(platform::place_window(window, 250, 80, 900, 600));
    EXPECT_TRUE(wait_until([&] {
        const auto g = desktop.geometry(window);
        return g && g->x == 250 && g->y == 80 && g->width == 900 && g->height == 600;
    }));

    EXPECT_TRUE(platform::close_window(window));
    const platform::RunningProcess process{started.pid, 0};
    EXPECT_TRUE(wait_until([&] { return ::kill(process.pid, 0) != 0; }));
    EXPECT_NE(test_support::read_file(record).find("close-request\n"), std::string::npos);
    EXPECT_TRUE(wait_until([] { return platform::top_level_windows().empty(); }));
    EXPECT_FALSE(platform::close_window(window));
}

}  // namespace
