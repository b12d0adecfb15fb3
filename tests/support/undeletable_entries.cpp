#include "undeletable_entries.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace test_support {
namespace {

bool set_immutable(const std::filesystem::path& folder, bool on) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    int flags = 0;
    bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (done) {
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        done = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return done;
}

}  // namespace

UndeletableEntries::UndeletableEntries(std::filesystem::path folder) : folder_(std::move(folder)) {
    if (::geteuid() != 0) {
        ok_ = ::chmod(folder_.c_str(), 0555) == 0;
        return;
    }
    immutable_ = set_immutable(folder_, true);
    ok_ = immutable_;
}

UndeletableEntries::~UndeletableEntries() {
    if (immutable_) {
        set_immutable(folder_, false);
    } else if (ok_) {
        ::chmod(folder_.c_str(), 0755);
    }
}

}  // namespace test_support
