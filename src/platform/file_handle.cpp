#include "platform/file_handle.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <utility>

namespace platform {

namespace {

std::function<void(const std::filesystem::path&)> g_between_look_and_open;

}  // namespace

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
    // The name is resolved once, into a descriptor that opens nothing: a device's own open is
    // never run and a pipe never waited on. What it stands for is looked at on the descriptor,
    // and the file is then opened through it, never by the name again, so a link swapped to a
    // device in between changes nothing.
    const FileHandle looked(
        open_close_on_exec(path.c_str(), O_PATH | O_NOCTTY | (follow ? 0 : O_NOFOLLOW)));
    struct stat named {};
    if (!looked.is_open() || ::fstat(looked.get(), &named) != 0 || !S_ISREG(named.st_mode)) {
        return FileHandle();
    }
    if (g_between_look_and_open) {
        g_between_look_and_open(path);
    }
    // Non-blocking all the same: reads of a regular file are not affected.
    const std::string through = "/proc/self/fd/" + std::to_string(looked.get());
    FileHandle file(open_close_on_exec(through.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY));
    struct stat opened {};
    if (!file.is_open() || ::fstat(file.get(), &opened) != 0 || !S_ISREG(opened.st_mode) ||
        opened.st_dev != named.st_dev || opened.st_ino != named.st_ino) {
        return FileHandle();
    }
    return file;
}

namespace file_handle_detail {

void set_between_look_and_open(std::function<void(const std::filesystem::path&)> hook) {
    g_between_look_and_open = std::move(hook);
}

}  // namespace file_handle_detail

}  // namespace platform
