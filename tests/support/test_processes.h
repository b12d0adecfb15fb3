#pragma once

#include <sys/types.h>

#include <sys/resource.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/process.h"

// The processes a test starts, told apart from every other program on the machine: a test
// finds and ends only copies whose executable it put into a folder of its own, so that an
// operator's own program of the same name is never signalled.
namespace test_support {

// The running processes of that executable name whose executable lies under folder.
std::vector<platform::RunningProcess> processes_under(const std::filesystem::path& folder,
                                                      std::string_view name = "lytw.exe");

// Ends them with SIGKILL and waits up to 5 s for them to go.
void end_processes_under(const std::filesystem::path& folder, std::string_view name = "lytw.exe");

// An existing unprivileged account to start a process under, for a test that runs as root.
struct OtherUser {
    uid_t uid = 0;
    gid_t gid = 0;
};
// "nobody"; nothing when this test does not run as root (no other user's process can be
// started then) or the account is missing.
std::optional<OtherUser> other_user();

// Starts program with these arguments after its path as that user, through setpriv: the process
// it makes is the program itself, with the pid returned.
platform::StartResult start_as(const OtherUser& user, const std::filesystem::path& program,
                               const std::vector<std::string>& args = {});

// Runs `work` in a child that the kernel ends (SIGXFSZ), as a crash or a full disk would cut it
// off, once it has written `limit` bytes into any one file. The signal that ended the child;
// 0 when it ended by itself, -1 when it could not be started.
int killed_past_file_size(rlim_t limit, const std::function<void()>& work);

}  // namespace test_support
