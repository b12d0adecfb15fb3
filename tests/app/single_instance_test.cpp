#include "app/single_instance.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <set>
#include <string>
#include <thread>

#include "platform/clock.h"
#include "platform/thread.h"
#include "scoped_env.h"
#include "temp_dir.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using test_support::TempDir;

constexpr int kPatienceMs = 10000;  // only reached when something is wrong

// One start of the workstation stand-in (single_instance_helper.cpp) as its own process, with
// a pipe on its standard input (closing it ends a first instance) and on its standard output.
class Start {
  public:
    explicit Start(const fs::path& folder) {
        int in[2];
        int out[2];
        if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) {
            ADD_FAILURE() << "pipe: " << std::strerror(errno);
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        std::string program = VELQUORIN_SINGLE_INSTANCE_HELPER;
        std::string argument = folder.string();
        char* argv[] = {program.data(), argument.data(), nullptr};
        if (::posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv, environ) != 0) {
            ADD_FAILURE() << "cannot start " << program;
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        ::close(in[0]);
        ::close(out[1]);
        input_ = in[1];
        output_ = out[0];
    }
    ~Start() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        close_input();
        if (output_ >= 0) {
            ::close(output_);
        }
    }
    Start(const Start&) = delete;
    Start& operator=(const Start&) = delete;

    // The next line the process writes; empty at its end or when it says nothing in time.
    std::string next_line() {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(kPatienceMs);
        for (;;) {
            if (const auto end = buffer_.find('\n'); end != std::string::npos) {
                std::string line = buffer_.substr(0, end);
                buffer_.erase(0, end + 1);
                return line;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd wait{output_, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&wait, 1, static_cast<int>(left.count())) <= 0) {
                return {};
            }
            char bytes[256];
            const ssize_t got = ::read(output_, bytes, sizeof bytes);
            if (got <= 0) {
                return {};
            }
            buffer_.append(bytes, static_cast<std::size_t>(got));
        }
    }

    void close_input() {
        if (input_ >= 0) {
            ::close(input_);
            input_ = -1;
        }
    }

    // The exit code; -1 when it did not end in time or was killed.
    int exit_code() {
        for (int waited = 0; waited < kPatienceMs; waited += 5) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return -1;
    }

    // Ends the process the way a crash does: no destructor, no clean-up.
    void crash() {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

  private:
    pid_t pid_ = -1;
    int input_ = -1;
    int output_ = -1;
    std::string buffer_;
};

std::set<std::string> names_in(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

const std::string kLockName(app::kInstanceName);
const std::string kSocketName = kLockName + std::string(app::kSocketSuffix);

TEST(SingleInstance, LaterStartsShowTheRunningOneAndEnd) {
    TempDir dir;
    Start first(dir.path());
    ASSERT_EQ(first.next_line(), "first serving");
    for (int start = 0; start < 2; ++start) {
        Start later(dir.path());
        EXPECT_EQ(later.next_line(), "second");
        EXPECT_EQ(later.exit_code(), 2);
        EXPECT_EQ(first.next_line(), "shown");
    }
    // The later starts created nothing and left the running instance's name alone.
    EXPECT_EQ(names_in(dir.path()), (std::set<std::string>{kLockName, kSocketName}));

    first.close_input();
    EXPECT_EQ(first.exit_code(), 0);
    EXPECT_FALSE(fs::exists(dir / kSocketName));
    Start next(dir.path());
    EXPECT_EQ(next.next_line(), "first serving");
}

TEST(SingleInstance, WhatACrashLeavesDoesNotStopTheNextStart) {
    TempDir dir;
    {
        Start crashed(dir.path());
        ASSERT_EQ(crashed.next_line(), "first serving");
        crashed.crash();
    }
    ASSERT_TRUE(fs::exists(dir / kLockName));
    ASSERT_TRUE(fs::exists(dir / kSocketName));  // stale: nobody listens on it

    Start next(dir.path());
    ASSERT_EQ(next.next_line(), "first serving");
    Start later(dir.path());
    EXPECT_EQ(later.next_line(), "second");
    EXPECT_EQ(later.exit_code(), 2);
    EXPECT_EQ(next.next_line(), "shown");
}

TEST(SingleInstance, AHolderThatDoesNotListenYetIsWaitedForAWhile) {
    TempDir dir;
    // Another start holding the name but not listening yet.
    const int holder = ::open((dir / kLockName).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
    {
        test_support::ScopedEnv fast("VELQUORIN_TIME_SCALE", "50");
        Start later(dir.path());
        EXPECT_EQ(later.next_line(), "second");  // after the connect time-out
        EXPECT_EQ(later.exit_code(), 2);
    }
    // A holder that ends while a start waits for it leaves the name to that start.
    Start waiting(dir.path());
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ::close(holder);
    EXPECT_EQ(waiting.next_line(), "first serving");
}

TEST(SingleInstance, WithoutASafePlaceForTheNameEveryStartRunsAsFirst) {
    TempDir dir;
    const fs::path shared = dir / "shared";
    fs::create_directory(shared);
    ::chmod(shared.c_str(), 0755);  // others may enter: not a place for the name
    for (const std::optional<fs::path>& folder :
         {std::optional<fs::path>(shared), std::optional<fs::path>(dir / "missing"),
          std::optional<fs::path>()}) {
        const auto one = app::SingleInstance::claim(folder);
        const auto two = app::SingleInstance::claim(folder);
        ASSERT_TRUE(one && two);
        EXPECT_FALSE(one->serving());
        EXPECT_FALSE(two->serving());
    }
    EXPECT_TRUE(fs::is_empty(shared));
}

TEST(SingleInstance, ARequestBeforeTheWindowIsReadyIsKept) {
    TempDir dir;
    const auto first = app::SingleInstance::claim(dir.path());
    ASSERT_TRUE(first && first->serving());
    {
        Start later(dir.path());
        ASSERT_EQ(later.next_line(), "second");
        ASSERT_EQ(later.exit_code(), 2);
    }
    // Time for the listener to take the request while no window has registered.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    int shown = 0;
    std::thread::id shown_on;
    first->set_show_handler([&] {
        ++shown;
        shown_on = std::this_thread::get_id();
    });
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(shown_on, std::this_thread::get_id());
}

int connect_to(const fs::path& socket_path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socket_path.c_str(), sizeof address.sun_path - 1);
    EXPECT_EQ(::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    return fd;
}

TEST(SingleInstance, SilentOrStrangeCallersDoNotStopTheListener) {
    platform::set_time_scale(50);
    TempDir dir;
    {
        const auto first = app::SingleInstance::claim(dir.path());
        ASSERT_TRUE(first && first->serving());
        std::atomic<int> shown{0};
        platform::Event shown_event;
        first->set_show_handler([&] {
            ++shown;
            shown_event.set();
        });
        const int silent = connect_to(dir / kSocketName);
        const int strange = connect_to(dir / kSocketName);
        const int endless = connect_to(dir / kSocketName);
        const std::string hello = "hello\nshow\n";
        const std::string flood(200, 's');
        ::send(strange, hello.data(), hello.size(), MSG_NOSIGNAL);
        ::send(endless, flood.data(), flood.size(), MSG_NOSIGNAL);

        EXPECT_EQ(app::SingleInstance::claim(dir.path()), nullptr);
        EXPECT_TRUE(shown_event.wait(kPatienceMs * 50));
        ::close(silent);
        ::close(strange);
        ::close(endless);
        EXPECT_EQ(shown.load(), 1);
    }
    platform::set_time_scale(1);
}

TEST(SingleInstance, NameLivesInTheUsersRuntimeFolder) {
    TempDir runtime;  // made for this user alone
    {
        test_support::ScopedEnv env("XDG_RUNTIME_DIR", runtime.path().c_str());
        EXPECT_EQ(app::instance_folder(), runtime.path());
    }
    ::chmod(runtime.path().c_str(), 0755);
    test_support::ScopedEnv env("XDG_RUNTIME_DIR", runtime.path().c_str());
    const auto fallback = app::instance_folder();
    EXPECT_NE(fallback, runtime.path());
    if (fallback) {
        EXPECT_EQ(fallback->parent_path(), "/tmp");
    }
}

}  // namespace
