#include "app/auto_boot.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "message_box_recorder.h"
#include "platform/autostart.h"
#include "scoped_env.h"
#include "temp_dir.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using test_support::ScopedEnv;
using test_support::TempDir;
using Texts = std::vector<std::string>;

// Runs a copy of the helper at program: change() is done to the copy's file while it runs,
// then it toggles "Auto boot". Its exit status; its standard error goes to error_output.
int toggle_from_copy(const fs::path& program, const std::function<void()>& change,
                     const fs::path& error_output) {
    fs::copy_file(VELQUORIN_AUTO_BOOT_HELPER, program, fs::copy_options::overwrite_existing);
    int input[2];
    if (::pipe2(input, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "pipe";
        return -1;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input[0], STDIN_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, error_output.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::string path = program.native();
    char* argv[] = {path.data(), nullptr};
    pid_t pid = -1;
    const int error = ::posix_spawn(&pid, path.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(input[0]);
    if (error != 0) {
        ::close(input[1]);
        ADD_FAILURE() << "cannot start " << path;
        return -1;
    }
    change();
    const char go = 1;
    EXPECT_EQ(::write(input[1], &go, 1), 1);
    ::close(input[1]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// The entry starts the program where it is installed: after an upgrade in place that is the new
// file at the same path, never the kernel's name of the replaced one; with the program's file
// deleted, or at a path the session would refuse to start, no entry is written and that is said.
TEST(AutoBoot, TheEntryNamesTheInstalledProgramAndNoneIsWrittenThatStartsNothing) {
    TempDir dir;
    ScopedEnv config("XDG_CONFIG_HOME", (dir / "config").c_str());
    const fs::path said = dir / "stderr";
    // A "%" in the program's path the desktop's launcher refuses: the check mark would show on
    // while the program never starts at login.
    fs::create_directory(dir / "100% sure");
    const struct {
        const char* name;
        fs::path program;
        std::function<void(const fs::path&)> change;
        bool written;
    } cases[] = {
        {"deleted", dir / "velquorin", [](const fs::path& p) { fs::remove(p); }, false},
        {"replaced in place", dir / "velquorin",
         [](const fs::path& p) {
             fs::remove(p);
             fs::copy_file("/bin/true", p);
         },
         true},
        {"a percent sign in its path", dir / "100% sure" / "velquorin", [](const fs::path&) {},
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path& program = c.program;
        platform::remove_autostart_entry(app::kAutoBootName);
        EXPECT_EQ(toggle_from_copy(
                      program, [&] { c.change(program); }, said),
                  c.written ? 0 : 1);
        const std::string text = test_support::read_file(said);
        EXPECT_EQ(text.find(app::kAutoBootKeyError) != std::string::npos, !c.written) << text;
        const std::string entry =
            test_support::read_file(platform::autostart_entry_path(app::kAutoBootName));
        EXPECT_EQ(entry.find("\nExec=\"" + program.native() + "\"\n") != std::string::npos,
                  c.written)
            << entry;
    }
}

// An entry that cannot be written, or cannot be removed, is said; the check mark stays true to
// what is there.
TEST(AutoBoot, AnEntryThatCannotBeChangedIsSaid) {
    TempDir dir;
    const fs::path config = dir / "config";
    ScopedEnv config_env("XDG_CONFIG_HOME", config.c_str());
    const struct {
        const char* name;
        std::function<void()> block;
        bool on;
    } cases[] = {
        // No folder can be made for the entry.
        {"a file where the folder goes", [&] { test_support::write_file(config, ""); }, false},
        // Something that is not a file stands at the entry's name.
        {"a folder at the entry's name",
         [&] {
             const fs::path entry = platform::autostart_entry_path(app::kAutoBootName);
             fs::create_directories(entry);
             test_support::write_file(entry / "kept", "");
         },
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(config);
        c.block();
        test_support::MessageBoxRecorder said;
        app::toggle_auto_boot();
        EXPECT_EQ(said.texts(), Texts{std::string(app::kAutoBootKeyError)});
        EXPECT_EQ(app::auto_boot_on(), c.on);
    }
}

}  // namespace
