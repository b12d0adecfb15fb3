#include "platform/process.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
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

// A program file is found running by the file itself, whatever path led to it: directly, and
// inside a loader of the Windows compatibility layer that names it by a drive of its own prefix.
// Another copy of it, and any process that merely takes its name or path as argument 0, is not.
TEST_F(Processes, FoundByTheProgramFileTheyRun) {
    fs::create_directories(dir_ / "other");
    const fs::path other_copy = dir_ / "other" / name_;
    fs::copy_file("/bin/sleep", other_copy);
    const fs::path link = dir_ / "link";
    fs::create_symlink(sleeper_, link);
    const fs::path wine = dir_ / "wine64-preloader";
    fs::copy_file("/bin/sleep", wine);
    const fs::path not_wine = dir_ / "loader";
    fs::copy_file("/bin/sleep", not_wine);
    // A prefix whose drive Z: is the root, as the layer sets one up, and whose C: is this
    // test's folder; and a home whose default prefix maps Z: the same way.
    const fs::path prefix = dir_ / "prefix";
    fs::create_directories(prefix / "dosdevices");
    fs::create_directory_symlink("/", prefix / "dosdevices" / "z:");
    fs::create_directory_symlink(dir_.path(), prefix / "dosdevices" / "c:");
    const fs::path home = dir_ / "home";
    fs::create_directories(home / ".wine" / "dosdevices");
    fs::create_directory_symlink("/", home / ".wine" / "dosdevices" / "z:");
    const auto windows_path = [](const fs::path& path) {
        std::string text = "Z:" + path.native();
        std::replace(text.begin(), text.end(), '/', '\\');
        return text;
    };

    const struct {
        const char* name;
        fs::path program;
        std::string argv0;
        const char* wine_prefix;
        const char* home;
        bool found;
    } cases[] = {
        {"directly", sleeper_, "anything", nullptr, nullptr, true},
        {"another copy", other_copy, "anything", nullptr, nullptr, false},
        {"another copy named as the program", other_copy, sleeper_.native(), nullptr, nullptr,
         false},
        {"through the layer, drive Z:", wine, windows_path(sleeper_), prefix.c_str(), nullptr,
         true},
        {"through the layer, drive C:", wine, "c:\\" + name_, prefix.c_str(), nullptr, true},
        {"through the layer, the default prefix", wine, windows_path(sleeper_), nullptr,
         home.c_str(), true},
        {"through the layer, its own path", wine, sleeper_.native(), prefix.c_str(), nullptr, true},
        {"through the layer, another copy", wine, windows_path(other_copy), prefix.c_str(), nullptr,
         false},
        {"through the layer, a drive it does not have", wine, "D:\\" + name_, prefix.c_str(),
         nullptr, false},
        {"a loader that is not the layer's", not_wine, windows_path(sleeper_), prefix.c_str(),
         nullptr, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        platform::StartResult started;
        {
            ScopedEnv wine_prefix("WINEPREFIX", c.wine_prefix);
            ScopedEnv home_env("HOME", c.home != nullptr ? c.home : std::getenv("HOME"));
            started = platform::start_process(c.program, {c.argv0, "30"});
        }
        ASSERT_TRUE(started.started());
        // Up once its own argument vector and environment are there to read.
        ASSERT_TRUE(wait_until([&] {
            return test_support::read_file("/proc/" + std::to_string(started.pid) + "/cmdline")
                .starts_with(c.argv0);
        }));
        for (const fs::path& asked : {sleeper_, link}) {
            const auto found =
                platform::find_processes_running(asked, platform::ProcessOwner::AnyUser);
            ASSERT_TRUE(found);
            EXPECT_EQ(std::any_of(found->begin(), found->end(),
                                  [&](const auto& p) { return p.pid == started.pid; }),
                      c.found)
                << asked;
        }
        ::kill(started.pid, SIGKILL);
        ASSERT_TRUE(wait_until([&] {
            const auto left =
                platform::find_processes_running(c.program, platform::ProcessOwner::AnyUser);
            return left && std::none_of(left->begin(), left->end(),
                                        [&](const auto& p) { return p.pid == started.pid; });
        }));
    }
    // A program that is not there runs nowhere.
    const auto missing =
        platform::find_processes_running(dir_ / "missing", platform::ProcessOwner::AnyUser);
    ASSERT_TRUE(missing);
    EXPECT_TRUE(missing->empty());
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
    // The same by the program file: the other user runs this very file.
    const auto running =
        platform::find_processes_running(sleeper_, platform::ProcessOwner::ThisUser);
    ASSERT_TRUE(running);
    ASSERT_EQ(running->size(), 1u);
    EXPECT_EQ((*running)[0].pid, ours.pid);
    const auto anyone = platform::find_processes_running(sleeper_, platform::ProcessOwner::AnyUser);
    ASSERT_TRUE(anyone);
    EXPECT_EQ(anyone->size(), 2u);
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

    // The rectangle is the outer one: the window manager's frame goes inside it, the window
    // itself takes what the frame leaves.
    EXPECT_TRUE(platform::place_window(window, 250, 80, 900, 600));
    EXPECT_TRUE(wait_until([&] {
        const auto g = desktop.geometry(window);
        return g && g->x == 250 && g->y == 80 && g->outer_width == 900 && g->outer_height == 600;
    })) << desktop.geometry(window).value_or(test_support::XDesktop::Geometry{}).outer_width
        << " x "
        << desktop.geometry(window).value_or(test_support::XDesktop::Geometry{}).outer_height;
    const auto framed = desktop.geometry(window);
    ASSERT_TRUE(framed);
    // openbox frames its windows: the window itself is smaller than the rectangle.
    EXPECT_LT(framed->width, 900);
    EXPECT_LT(framed->height, 600);

    EXPECT_TRUE(platform::close_window(window));
    const platform::RunningProcess process{started.pid, 0};
    EXPECT_TRUE(wait_until([&] { return ::kill(process.pid, 0) != 0; }));
    EXPECT_NE(test_support::read_file(record).find("close-request\n"), std::string::npos);
    EXPECT_TRUE(wait_until([] { return platform::top_level_windows().empty(); }));
    EXPECT_FALSE(platform::close_window(window));
}

}  // namespace
