#include "fifo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>

namespace test_support {

void make_fifo(const std::filesystem::path& path) {
    if (::mkfifo(path.c_str(), 0600) != 0) {
        throw std::runtime_error("cannot make a pipe at " + path.string());
    }
}

bool ends_without_waiting_on(const std::vector<std::filesystem::path>& fifos,
                             const std::function<void()>& work) {
    std::atomic<bool> done{false};
    std::thread runner([&] {
        work();
        done = true;
    });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!done && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const bool ended = done;
    while (!done) {
        // A writer's open releases a reader waiting in its open; its close ends the reader's
        // read with the end of the file.
        for (const std::filesystem::path& fifo : fifos) {
            const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (fd >= 0) {
                ::close(fd);
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    runner.join();
    return ended;
}

}  // namespace test_support
