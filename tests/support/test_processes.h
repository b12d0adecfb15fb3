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
#include "temp_dir.h"

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
// CI's second account (VELQUORIN_TEST_OTHER_ACCOUNT) when it names one, else "nobody";
// nothing when this test does not run as root (no other user's process can be started then)
// or the account is missing.
std::optional<OtherUser> other_user();

// Starts program with these arguments after its path as that user, through setpriv: the process
// it makes is the program itself, with the pid returned.
platform::StartResult start_as(const OtherUser& user, const std::filesystem::path& program,
                               const std::vector<std::string>& args = {});

// Runs `work` in a child that the kernel ends (SIGXFSZ), as a crash or a full disk would cut it
// off, once it has written `limit` bytes into any one file. The signal that ended the child;
// 0 when it ended by itself, -1 when it could not be started.
int killed_past_file_size(rlim_t limit, const std::function<void()>& work);

// Another account's copy of the stand-in layout designer: lytw.exe in a folder of its own
// that the account may enter, started as that account with the window title given, recording
// into a file of that folder it may write. Its processes are ended when the object goes.
class OtherUsersDesigner {
  public:
    OtherUsersDesigner(const OtherUser& user, const std::string& title);
    ~OtherUsersDesigner();
    OtherUsersDesigner(const OtherUsersDesigner&) = delete;
    OtherUsersDesigner& operator=(const OtherUsersDesigner&) = delete;

    const platform::StartResult& started() const { return started_; }
    const std::filesystem::path& folder() const { return folder_.path(); }
    // What the copy recorded (its start, and every close request it was sent).
    std::string record() const;

  private:
    TempDir folder_;
    std::filesystem::path record_;
    platform::StartResult started_;
};

}  // namespace test_support
