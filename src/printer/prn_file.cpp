#include "printer/prn_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>

#include "platform/file_handle.h"

namespace {

std::atomic<std::int64_t> g_fail_reads_from{-1};

// A print file whose reads fail from a given byte on (tests only).
struct FailingFile {
    int fd;
    std::int64_t position;
    std::int64_t fail_from;
};

ssize_t failing_read(void* cookie, char* buffer, std::size_t size) {
    auto* file = static_cast<FailingFile*>(cookie);
    if (file->position >= file->fail_from) {
        errno = EIO;
        return -1;
    }
    size = std::min<std::size_t>(size, static_cast<std::size_t>(file->fail_from - file->position));
    const ssize_t got = ::pread(file->fd, buffer, size, file->position);
    if (got > 0) {
        file->position += got;
    }
    return got;
}

int failing_seek(void* cookie, off64_t* offset, int whence) {
    auto* file = static_cast<FailingFile*>(cookie);
    struct stat info {};
    const std::int64_t base = whence == SEEK_SET              ? 0
                              : whence == SEEK_CUR            ? file->position
                              : ::fstat(file->fd, &info) == 0 ? info.st_size
                                                              : -1;
    if (base < 0 || base + *offset < 0) {
        errno = EINVAL;
        return -1;
    }
    file->position = base + *offset;
    *offset = file->position;
    return 0;
}

int failing_close(void* cookie) {
    auto* file = static_cast<FailingFile*>(cookie);
    const int result = ::close(file->fd);
    delete file;
    return result;
}

std::FILE* open_failing(platform::FileHandle& fd, std::int64_t fail_from) {
    auto* file = new FailingFile{fd.get(), 0, fail_from};
    std::FILE* stream =
        ::fopencookie(file, "rb", {failing_read, nullptr, failing_seek, failing_close});
    if (stream == nullptr) {
        delete file;
        return nullptr;
    }
    fd.release();
    return stream;
}

}  // namespace

namespace prn_file_detail {
void fail_reads_from(std::int64_t offset) {
    g_fail_reads_from = offset;
}
}  // namespace prn_file_detail

PrnFile g_prn_file;

PrnFile::~PrnFile() {
    close();
}

bool PrnFile::open(const std::filesystem::path& path) {
    std::lock_guard lock(mutex_);
    if (file_ != nullptr) {
        std::fclose(file_);
    }
    // Opened as every print file is: never waiting on a pipe or a device put at its name, and
    // closed in every program the workstation starts.
    file_ = nullptr;
    platform::FileHandle fd = platform::open_regular_file(path);
    if (!fd.is_open()) {
        return false;
    }
    if (const std::int64_t fail_from = g_fail_reads_from; fail_from >= 0) {
        file_ = open_failing(fd, fail_from);
        return file_ != nullptr;
    }
    file_ = ::fdopen(fd.get(), "rb");
    if (file_ != nullptr) {
        fd.release();
    }
    return file_ != nullptr;
}

void PrnFile::close() {
    std::lock_guard lock(mutex_);
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
    }
}

bool PrnFile::is_open() const {
    std::lock_guard lock(mutex_);
    return file_ != nullptr;
}

std::FILE* PrnFile::stream() const {
    std::lock_guard lock(mutex_);
    return file_;
}
