#include "fifo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>

namespace test_support {

void make_fifo(const std::filesystem::path& path) {
    if (::mkfifo(path.c_str(), 0600) != 0) {
        throw std::runtime_error("cannot make a pipe at " + path.string());
    }
}

bool ends_without_waiting_on(const std::vector<std::filesystem::path>& fifos,
                             const std::function<void()>& work) {
    FifoGuard guard(fifos);
    std::thread runner(work);
    runner.join();
    return !guard.released();
}

FifoGuard::FifoGuard(std::vector<std::filesystem::path> fifos) : fifos_(std::move(fifos)) {
    releaser_ = std::thread([this] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!stop_ && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        while (!stop_) {
            for (const std::filesystem::path& fifo : fifos_) {
                const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
                if (fd >= 0) {
                    released_ = true;
                    ::close(fd);
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
}

FifoGuard::~FifoGuard() {
    stop_ = true;
    releaser_.join();
}

}  // namespace test_support
