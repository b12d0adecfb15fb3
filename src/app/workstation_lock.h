#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

// One workstation per set of folders. The single-instance name lives in the desktop's runtime
// folder, so a start under another user or another runtime folder passes it; two programs on
// the same job folder and settings root would then both scan, print and collect. Each of those
// folders is therefore locked itself (flock on the folder, so nothing is written into it and a
// link to it is the same folder), for the life of the process; the kernel drops the locks of a
// program that crashed.
namespace app {

class WorkstationLock {
  public:
    // Locks every folder, in order. A folder another program holds ends the attempt: nothing is
    // held and `folder_in_use` names that folder. A folder that cannot be locked at all (one
    // that cannot be opened, or a file system without locks) is said on standard error and
    // left unlocked: the start-up checks have already found the folders there.
    struct Taken {
        std::unique_ptr<WorkstationLock> lock;
        std::filesystem::path folder_in_use;
    };
    static Taken take(const std::vector<std::filesystem::path>& folders);

    ~WorkstationLock();
    WorkstationLock(const WorkstationLock&) = delete;
    WorkstationLock& operator=(const WorkstationLock&) = delete;

  private:
    WorkstationLock() = default;
    std::vector<int> fds_;
};

// The box of a second program on folders in use, naming the folder.
std::string folder_in_use_text(const std::filesystem::path& folder);

}  // namespace app
