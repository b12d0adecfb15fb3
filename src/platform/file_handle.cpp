#include "platform/file_handle.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace platform {

FileHandle::~FileHandle() {
    close();
}

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = other.release();
    }
    return *this;
}

int FileHandle::release() {
    return std::exchange(fd_, -1);
}

bool FileHandle::close() {
    const int fd = release();
    return fd < 0 || ::close(fd) == 0;
}

int open_close_on_exec(const char* path, int flags, unsigned mode) {
    int fd;
    do {
        fd = ::open(path, flags | O_CLOEXEC, static_cast<mode_t>(mode));
    } while (fd < 0 && errno == EINTR);
    return fd;
}

FileHandle open_regular_file(const std::filesystem::path& path, Links links) {
    const bool follow = links == Links::Followed;
    // Looked at before the open, so that a device is never opened at all (opening one can
    // have effects of its own).
    struct stat named {};
    const int looked = follow ? ::stat(path.c_str(), &named) : ::lstat(path.c_str(), &named);
    if (looked != 0 || !S_ISREG(named.st_mode)) {
        return FileHandle();
    }
    // Non-blocking, so that a pipe put at the name in between cannot hold the open up waiting
    // for a writer; reads of a regular file are not affected.
    FileHandle file(open_close_on_exec(
        path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | (follow ? 0 : O_NOFOLLOW)));
    struct stat opened {};
    if (!file.is_open() || ::fstat(file.get(), &opened) != 0 || !S_ISREG(opened.st_mode)) {
        return FileHandle();
    }
    return file;
}

}  // namespace platform
