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
    std::vector<std::filesystem::path> fifos;  // the pipes, to hand to a PipeReleaser
};
UnreadableNames make_unreadable_names(const std::filesystem::path& folder,
                                      const std::string& extension);

// While it lives, and once a few seconds have passed, a writer and a reader come and go on each
// pipe again and again: whatever waits to open, read or write one is let go, so that a test
// fails instead of hanging. released() tells whether anything had to be let go that way.
class PipeReleaser {
  public:
    explicit PipeReleaser(std::vector<std::filesystem::path> fifos);
    ~PipeReleaser();
    PipeReleaser(const PipeReleaser&) = delete;
    PipeReleaser& operator=(const PipeReleaser&) = delete;

    bool released() const { return released_; }

  private:
    std::vector<std::filesystem::path> fifos_;
    std::atomic<bool> done_{false};
    std::atomic<bool> released_{false};
    std::thread thread_;
};

// Runs work on a thread of its own and tells whether it ended by itself within a few seconds,
// without being let go from one of the pipes (see PipeReleaser).
bool ends_without_waiting_on(const std::vector<std::filesystem::path>& fifos,
                             const std::function<void()>& work);

}  // namespace test_support
