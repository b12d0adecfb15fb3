#pragma once

#include <filesystem>
#include <functional>

// Open descriptors of the program's own files, and the one way a print file (or any file the
// program only reads) is opened. Every descriptor is close-on-exec, so a program the
// workstation starts, the layout designer say, never holds a job's file open for its life.
namespace platform {

// An open descriptor, closed when the handle goes.
class FileHandle {
  public:
    FileHandle() = default;
    explicit FileHandle(int fd) : fd_(fd) {}
    ~FileHandle();
    FileHandle(FileHandle&& other) noexcept : fd_(other.release()) {}
    FileHandle& operator=(FileHandle&& other) noexcept;
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    int get() const { return fd_; }
    bool is_open() const { return fd_ >= 0; }
    // Gives the descriptor up without closing it.
    int release();
    // Closes now; false when the close reported an error (a write that did not land).
    bool close();

  private:
    int fd_ = -1;
};

// Whether a link at a name is followed to what it leads to, or the name is taken as it is.
enum class Links { Followed, NotFollowed };

// Opens a file for reading. Only a regular file is accepted, checked on the open descriptor,
// and nothing waits: a pipe, a device, a folder or a socket at the name (or where a followed
// link leads) gives a closed handle at once, as a missing or unreadable file does, whoever put
// it there and whenever. A device is never opened at all. With Links::NotFollowed a link at the
// name is refused too.
FileHandle open_regular_file(const std::filesystem::path& path, Links links = Links::Followed);

// ::open with O_CLOEXEC, tried again when a signal cuts it short.
int open_close_on_exec(const char* path, int flags, unsigned mode = 0);

namespace file_handle_detail {
// Tests: called by open_regular_file once the name has been looked at and before the file is
// opened for reading, to change what the name leads to at that moment. Set while nothing else
// opens files; an empty function removes it.
void set_between_look_and_open(std::function<void(const std::filesystem::path&)> hook);
}  // namespace file_handle_detail

}  // namespace platform
