#include "app/workstation_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace app {

WorkstationLock::Taken WorkstationLock::take(const std::vector<std::filesystem::path>& folders) {
    std::unique_ptr<WorkstationLock> lock(new WorkstationLock);
    for (const auto& folder : folders) {
        const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) {
            std::fprintf(stderr, "velquorin: cannot open %s to lock it: %s\n", folder.c_str(),
                         std::strerror(errno));
            continue;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            lock->fds_.push_back(fd);
            continue;
        }
        const int error = errno;
        ::close(fd);
        if (error == EWOULDBLOCK) {
            return Taken{nullptr, folder};
        }
        std::fprintf(stderr, "velquorin: cannot lock %s: %s\n", folder.c_str(),
                     std::strerror(error));
    }
    return Taken{std::move(lock), {}};
}

WorkstationLock::~WorkstationLock() {
    for (const int fd : fds_) {
        ::close(fd);
    }
}

std::string folder_in_use_text(const std::filesystem::path& folder) {
    return "The folder " + folder.string() +
           " is in use by another workstation program already running on it; this one ends "
           "without changing anything.";
}

}  // namespace app
