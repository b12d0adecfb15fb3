#pragma once

#include <atomic>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace test_support {

// Makes a named pipe at path.
void make_fifo(const std::filesystem::path& path);

// Names in `folder` at which no file can be read, though each is there: a pipe, a link to a
// pipe and a device reached through a link, each named "<kind><extension>". An opener that
// waits for a writer hangs on the first two; one that reads a device reads for ever.
struct UnreadableNames {
    std::vector<std::filesystem::path> names;
    std::vector<std::filesystem::path> fifos;  // the pipes, to hand to a FifoGuard
};
UnreadableNames make_unreadable_names(const std::filesystem::path& folder,
                                      const std::string& extension);

// Runs work on a thread of its own and tells whether it ended by itself within a few seconds.
// When it did not (it waits to open, read or write one of the pipes), it is let go as a
// FifoGuard lets it go, so that the test fails instead of hanging.
bool ends_without_waiting_on(const std::vector<std::filesystem::path>& fifos,
                             const std::function<void()>& work);

// For work that must run on the test's own thread (a window's modal run): from a few seconds
// after it is made until it goes, a writer and a reader come and go on each pipe, so that
// whatever waits to open, read or write one is let go and the test fails instead of hanging.
// released() tells whether it had to.
class FifoGuard {
  public:
    explicit FifoGuard(std::vector<std::filesystem::path> fifos);
    ~FifoGuard();
    FifoGuard(const FifoGuard&) = delete;
    FifoGuard& operator=(const FifoGuard&) = delete;

    bool released() const { return released_; }

  private:
    std::vector<std::filesystem::path> fifos_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> released_{false};
    std::thread releaser_;
};

}  // namespace test_support
