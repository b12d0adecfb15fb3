#pragma once

#include <atomic>
#include <filesystem>
#include <functional>
#include <thread>
#include <vector>

namespace test_support {

// Makes a named pipe at path.
void make_fifo(const std::filesystem::path& path);

// Runs work on a thread of its own and tells whether it ended by itself within a few seconds.
// When it did not (it waits to open or read one of the pipes), a writer comes and goes on each
// pipe until it ends, so that the test fails instead of hanging.
bool ends_without_waiting_on(const std::vector<std::filesystem::path>& fifos,
                             const std::function<void()>& work);

// For work that must run on the test's own thread (a window's modal run): from a few seconds
// after it is made until it goes, a writer comes and goes on each pipe, so that a reader waiting
// on one is let go and the test fails instead of hanging. released() tells whether it had to.
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
